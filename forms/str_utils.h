// Text routines of the form library: substring replacement, words over a set
// of delimiter characters, the hexadecimal XOR cipher of keyed stored values
// and the integer syntax of stored texts. No platform header: also built
// natively.
#pragma once

#include <bitset>
#include <string>

namespace omb::forms {

// A set of 8-bit characters, built from the characters of a text.
class TCharSet {
public:
    TCharSet() = default;
    TCharSet(const char* chars) { Add(chars ? std::string(chars) : std::string()); }
    TCharSet(const std::string& chars) { Add(chars); }
    void Add(const std::string& chars) {
        for (char c : chars) bits_.set(static_cast<unsigned char>(c));
    }
    bool Contains(char c) const { return bits_.test(static_cast<unsigned char>(c)); }

private:
    std::bitset<256> bits_;
};

// Every occurrence of find (compared with case), from the start, replaced;
// the search goes on after each replacement, never inside it. An empty find
// leaves the text as it is.
std::string ReplaceSubstrings(const std::string& text, const std::string& find,
                              const std::string& replacement);

// A word is a maximal run of characters outside the delimiter set; words are
// numbered from 1, positions count from 1.
int CountWords(const std::string& text, const TCharSet& delimiters);
// Position of the first character of word n; 0 when there are fewer words.
int FindWordStart(int n, const std::string& text, const TCharSet& delimiters);
// Word n, or an empty text when there are fewer words.
std::string GetWord(int n, const std::string& text, const TCharSet& delimiters);

// Each byte XORed with the key's byte at the same index (the key repeating;
// an empty key leaves the byte) and written as two lower-case hex digits.
std::string StrToXorHex(const std::string& key, const std::string& text);
// The reverse: each pair of hex digits (either case) is one byte, a pair that
// is not hexadecimal gives a blank (32) before the XOR; a last odd character
// is ignored.
std::string XorHexToStr(const std::string& key, const std::string& hex);

// Integer syntax of stored texts: optional leading blanks, an optional sign,
// then decimal digits or "$" and hexadecimal digits; nothing after them.
// Decimal values must fit in 32 bits; hexadecimal ones take up to 32 bits
// and wrap ("$FFFFFFFF" is -1). Answers whether the text is such an integer;
// value is changed only then.
bool TryStrToInt(const std::string& text, int& value);

}  // namespace omb::forms
