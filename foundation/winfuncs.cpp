#include "foundation/winfuncs.h"

#include <vector>

namespace omb {

std::string GetWindowClassName(HWND window) {
    char buffer[255];
    int n = ::GetClassNameA(window, buffer, int(sizeof(buffer)));
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

std::string GetWindowCaption(HWND window) {
    int length = ::GetWindowTextLengthA(window);
    if (length <= 0) return std::string();
    std::vector<char> buffer(size_t(length) + 1);
    int n = ::GetWindowTextA(window, buffer.data(), length + 1);
    return n > 0 ? std::string(buffer.data(), size_t(n)) : std::string();
}

std::wstring ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), &out[0], n);
    return out;
}

std::string FromWide(const wchar_t* text, size_t length) {
    if (!text || length == 0) return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, text, int(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::string FromWide(const std::wstring& text) { return FromWide(text.data(), text.size()); }

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(n), L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n);
    return out;
}

std::string Utf8FromWide(const wchar_t* text, size_t length) {
    if (!text || length == 0) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, int(length), &out[0], n, nullptr, nullptr);
    return out;
}

std::string Utf8FromWide(const std::wstring& text) { return Utf8FromWide(text.data(), text.size()); }

std::string LastErrorText(const char* what) {
    return std::string(what) + " (code " + std::to_string(::GetLastError()) + ")";
}

}  // namespace omb
