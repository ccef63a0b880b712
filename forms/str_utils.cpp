#include "forms/str_utils.h"

#include <cstdint>

namespace omb::forms {

std::string ReplaceSubstrings(const std::string& text, const std::string& find,
                              const std::string& replacement) {
    if (find.empty()) return text;
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (;;) {
        const size_t at = text.find(find, from);
        if (at == std::string::npos) break;
        out.append(text, from, at - from);
        out += replacement;
        from = at + find.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

namespace {

// Index (from 0) of the first character of word n (from 1), or npos.
size_t WordIndex(int n, const std::string& text, const TCharSet& delimiters) {
    if (n < 1) return std::string::npos;
    int count = 0;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && delimiters.Contains(text[i])) ++i;
        if (i >= text.size()) break;
        if (++count == n) return i;
        while (i < text.size() && !delimiters.Contains(text[i])) ++i;
    }
    return std::string::npos;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

int CountWords(const std::string& text, const TCharSet& delimiters) {
    int count = 0;
    bool inWord = false;
    for (char c : text) {
        const bool delimiter = delimiters.Contains(c);
        if (!delimiter && !inWord) ++count;
        inWord = !delimiter;
    }
    return count;
}

int FindWordStart(int n, const std::string& text, const TCharSet& delimiters) {
    const size_t at = WordIndex(n, text, delimiters);
    return at == std::string::npos ? 0 : static_cast<int>(at + 1);
}

std::string GetWord(int n, const std::string& text, const TCharSet& delimiters) {
    const size_t at = WordIndex(n, text, delimiters);
    if (at == std::string::npos) return std::string();
    size_t end = at;
    while (end < text.size() && !delimiters.Contains(text[end])) ++end;
    return text.substr(at, end - at);
}

std::string StrToXorHex(const std::string& key, const std::string& text) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (!key.empty()) b ^= static_cast<unsigned char>(key[i % key.size()]);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

std::string XorHexToStr(const std::string& key, const std::string& hex) {
    std::string out;
    const size_t pairs = hex.size() / 2;
    out.reserve(pairs);
    for (size_t i = 0; i < pairs; ++i) {
        const int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        unsigned value = (hi < 0 || lo < 0) ? 32u : static_cast<unsigned>(hi * 16 + lo);
        if (!key.empty()) value ^= static_cast<unsigned char>(key[i % key.size()]);
        out += static_cast<char>(value & 0xFF);
    }
    return out;
}

bool TryStrToInt(const std::string& text, int& value) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const bool hex = i < text.size() && text[i] == '$';
    if (hex) ++i;
    if (i >= text.size()) return false;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (d < 0) return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<unsigned>(d);
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    std::int64_t result;
    if (hex) {
        // 32 bits as they are, then the sign.
        const std::int32_t bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
        result = negative ? -static_cast<std::int64_t>(bits) : bits;
        if (result > INT32_MAX) result = INT32_MIN;  // -$80000000
    } else {
        result = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
        if (result < INT32_MIN || result > INT32_MAX) return false;
    }
    value = static_cast<int>(result);
    return true;
}

}  // namespace omb::forms
