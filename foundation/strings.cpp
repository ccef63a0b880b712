#include "foundation/strings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace omb {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string UpperCaseAZ(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

#ifdef _WIN32
namespace {
// UTF-8 to UTF-16 and back (the same conversions as winfuncs.h, which this
// pure unit cannot include); false for a text that is not UTF-8.
bool Utf16(const std::string& s, std::wstring& out) {
    out.clear();
    if (s.empty()) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(size_t(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), int(s.size()), &out[0], n);
    return true;
}
std::string Utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), &out[0], n, nullptr, nullptr);
    return out;
}
// Upper-cases in place; UTF-16 units map one to one.
void UpperWide(std::wstring& w) {
    if (!w.empty()) CharUpperBuffW(&w[0], DWORD(w.size()));
}
}  // namespace
#endif

std::string AnsiUpperCase(std::string s) {
#ifdef _WIN32
    std::wstring wide;
    if (!Utf16(s, wide)) return UpperCaseAZ(std::move(s));
    UpperWide(wide);
    return Utf8(wide);
#else
    return UpperCaseAZ(std::move(s));
#endif
}

int CompareTextAZ(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x = x - 'a' + 'A';
        if (y >= 'a' && y <= 'z') y = y - 'a' + 'A';
        if (x != y) return int(x) - int(y);
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int StrToIntDef(const std::string& s, int fallback) {
    std::string t = Trim(s);
    if (t.empty() || t.size() > 12) return fallback;
    size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i == t.size()) return fallback;
    for (size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9') return fallback;
    errno = 0;
    long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (errno || v < INT_MIN || v > INT_MAX) return fallback;
    return int(v);
}

std::string ReplaceTextAnsi(const std::string& s, const std::string& what, const std::string& with) {
    if (what.empty()) return s;
#ifdef _WIN32
    // Found in UTF-16, where upper-casing keeps every position.
    std::wstring text, wanted;
    if (Utf16(s, text) && Utf16(what, wanted)) {
        std::wstring hay = text;
        UpperWide(hay);
        UpperWide(wanted);
        std::string out;
        size_t from = 0;
        for (size_t at = hay.find(wanted); at != std::wstring::npos; at = hay.find(wanted, from)) {
            out.append(Utf8(text.substr(from, at - from))).append(with);
            from = at + wanted.size();
        }
        return out.append(Utf8(text.substr(from)));
    }
#endif
    const std::string hay = UpperCaseAZ(s), needle = UpperCaseAZ(what);
    std::string out;
    size_t from = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, from)) {
        out.append(s, from, at - from).append(with);
        from = at + what.size();
    }
    return out.append(s, from, std::string::npos);
}

}  // namespace omb
