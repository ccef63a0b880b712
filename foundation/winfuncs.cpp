#include "foundation/winfuncs.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "foundation/strings.h"

namespace omb {

namespace {

// The code pages whose conversions take neither flags nor the used-default
// flag (the documentation of WideCharToMultiByte lists them).
bool TakesNoFlags(UINT codePage) {
    return codePage == 42 || codePage == 50220 || codePage == 50221 || codePage == 50222 ||
           codePage == 50225 || codePage == 50227 || codePage == 50229 || codePage == 54936 ||
           codePage == 65000 || (codePage >= 57002 && codePage <= 57011);
}

std::string Convert(UINT codePage, DWORD flags, const wchar_t* wide, int length, BOOL* usedDefault) {
    const int n = ::WideCharToMultiByte(codePage, flags, wide, length, nullptr, 0, nullptr, usedDefault);
    if (n <= 0) return std::string();
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(codePage, flags, wide, length, &out[0], n, nullptr, usedDefault);
    return out;
}

std::wstring Widen(UINT codePage, DWORD flags, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(size_t(n), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), int(text.size()), &out[0], n);
    return out;
}

WindowText FromWideText(const wchar_t* wide, size_t length) {
    WindowText result;
    result.exact = FromWideExact(wide, length, result.text);
    return result;
}

}  // namespace

WindowText ReadWindowClassName(HWND window) {
    wchar_t buffer[255];
    const int n = ::GetClassNameW(window, buffer, int(sizeof(buffer) / sizeof(buffer[0])));
    return n > 0 ? FromWideText(buffer, size_t(n)) : WindowText();
}

WindowText ReadWindowCaption(HWND window) {
    // One place more than the length answered: a text that fills the buffer
    // grew after its length was asked and is read again in a larger one.
    // The answer is the window's own and is capped before it is used.
    constexpr int kRounds = 8, kLargest = 1 << 26;
    const auto lengthAnswered = [&] { return std::clamp(::GetWindowTextLengthW(window), 0, kLargest); };
    int size = lengthAnswered() + 2;
    std::vector<wchar_t> buffer;
    for (int round = 0; round < kRounds; ++round) {
        buffer.assign(size_t(size), L'\0');
        const int n = ::GetWindowTextW(window, buffer.data(), size);
        if (n <= 0) return WindowText();
        if (n < size - 1) return FromWideText(buffer.data(), size_t(n));
        if (size >= kLargest) break;
        size = std::min(std::max(lengthAnswered() + 2, size * 2), kLargest);
    }
    // Still growing: what was read, marked as not the whole text.
    WindowText part = FromWideText(buffer.data(), size_t(size - 1));
    part.exact = false;
    return part;
}

std::string GetWindowClassName(HWND window) {
    return ReadWindowClassName(window).text;
}

std::string GetWindowCaption(HWND window) {
    return ReadWindowCaption(window).text;
}

std::wstring ToWide(const std::string& utf8) {
    return Widen(CP_UTF8, 0, utf8);
}

bool ToWideExact(const std::string& utf8, std::wstring& wide) {
    wide.clear();
    if (utf8.empty()) return true;
    wide = Widen(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (!wide.empty()) return true;
    wide = Widen(CP_UTF8, 0, utf8);
    return false;
}

std::string FromWide(const wchar_t* wide, size_t length) {
    if (!wide || length == 0) return std::string();
    return Convert(CP_UTF8, 0, wide, int(length), nullptr);
}

std::string FromWide(const std::wstring& wide) {
    return FromWide(wide.data(), wide.size());
}

bool FromWideExact(const wchar_t* wide, size_t length, std::string& utf8) {
    return ToCodePageExact(CP_UTF8, wide, length, utf8);
}

bool ToCodePageExact(UINT codePage, const wchar_t* wide, size_t length, std::string& out) {
    out.clear();
    if (!wide || length == 0) return true;
    const int n = int(length);
    if (codePage == CP_UTF8) {
        out = Convert(CP_UTF8, WC_ERR_INVALID_CHARS, wide, n, nullptr);
        if (!out.empty()) return true;
        out = Convert(CP_UTF8, 0, wide, n, nullptr);  // unpaired surrogates as U+FFFD
        return false;
    }
    BOOL usedDefault = FALSE;
    const bool plain = TakesNoFlags(codePage);
    out = Convert(codePage, plain ? 0 : WC_NO_BEST_FIT_CHARS, wide, n, plain ? nullptr : &usedDefault);
    if (out.empty() || usedDefault) return false;
    // Every character must come back as it was: a page may map a character
    // it lacks to a different one without saying so.
    const std::wstring back = Widen(codePage, 0, out);
    return back.size() == length && back.compare(0, length, wide, length) == 0;
}

std::wstring AnsiToWide(const std::string& ansi) {
    return Widen(CP_ACP, 0, ansi);
}

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

std::string SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    try {
        text = n && buffer ? Trim(FromWide(buffer, n)) : std::string();
    } catch (...) {
    }
    if (buffer) ::LocalFree(buffer);
    // An HRESULT reads as one in hexadecimal.
    char number[16];
    std::snprintf(number, sizeof(number), (code & 0x80000000u) ? "0x%08lX" : "%lu", static_cast<unsigned long>(code));
    return (text.empty() ? std::string() : text + " ") + "(code " + number + ")";
}

std::string LastErrorText(const char* what) {
    const DWORD code = ::GetLastError();
    return std::string(what) + ": " + SystemErrorText(code);
}

}  // namespace omb
