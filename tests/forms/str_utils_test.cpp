// Text routines of the form library: words, replacement, the XOR cipher and
// the integer syntax of stored texts.
#include "forms/str_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace omb::forms;

TEST(StrUtils, ReplaceSubstrings) {
    struct Case { const char* text; const char* find; const char* with; const char* expected; };
    const std::vector<Case> cases = {
        {"a.b.c", ".", "::", "a::b::c"},
        {"aaa", "a", "aa", "aaaaaa"},        // a replacement is never searched again
        {"aaaa", "aa", "b", "bb"},           // the search goes on after the occurrence
        {"Abc abc", "abc", "x", "Abc x"},    // with case
        {"text", "", "x", "text"},           // empty find: unchanged
        {"", "a", "b", ""},
        {"xyz", "xyz", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ReplaceSubstrings(c.text, c.find, c.with), c.expected);
    }
}

TEST(StrUtils, WordsOverDelimiters) {
    const TCharSet blankComma(" ,");
    struct Case { std::string text; int count; int n; int start; std::string word; };
    const std::vector<Case> cases = {
        {"100,50", 2, 2, 5, "50"},
        {"  one, two ,three", 3, 1, 3, "one"},
        {"  one, two ,three", 3, 3, 13, "three"},
        {"one two three", 3, 5, 0, ""},       // word 5 of three words
        {"one two three", 3, 0, 0, ""},       // words count from 1
        {" , ,, ", 0, 1, 0, ""},              // delimiters alone: no words
        {"", 0, 1, 0, ""},
        {"-1,-4,1,2", 4, 2, 4, "-4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " #" + std::to_string(c.n));
        EXPECT_EQ(CountWords(c.text, blankComma), c.count);
        EXPECT_EQ(FindWordStart(c.n, c.text, blankComma), c.start);
        EXPECT_EQ(GetWord(c.n, c.text, blankComma), c.word);
    }
    // Delimiters are 8-bit characters: bytes above 127 work as any other.
    const std::string highText = "a\xA0" "b\xA0\xA0" "c";
    EXPECT_EQ(CountWords(highText, TCharSet("\xA0")), 3);
    EXPECT_EQ(GetWord(3, highText, TCharSet("\xA0")), "c");
    EXPECT_EQ(CountWords("a b", TCharSet()), 1);
}

TEST(StrUtils, XorHexCipher) {
    EXPECT_EQ(StrToXorHex("", "abc"), "616263");
    EXPECT_EQ(XorHexToStr("", "616263"), "abc");
    EXPECT_EQ(XorHexToStr("", "4A4b"), "JK");          // either case
    EXPECT_EQ(StrToXorHex("", "\xFF\x01"), "ff01");    // lower case, two digits each
    EXPECT_EQ(StrToXorHex("a", "a"), "00");
    EXPECT_EQ(XorHexToStr("", "61zz62"), "a b");       // an invalid pair gives a blank
    EXPECT_EQ(XorHexToStr("", "61626"), "ab");         // a final odd digit is ignored
    EXPECT_EQ(XorHexToStr("", "6"), "");
    // A pair that is not hexadecimal still goes through the key.
    EXPECT_EQ(XorHexToStr("\x01", "zz"), "!");
    const std::vector<std::string> keys = {"", "k", "secret key", std::string("\0\xFF", 2)};
    const std::vector<std::string> texts = {"", "abc", "Tree width 150", std::string("\0\x7F\x80\xFF", 4),
                                            "\xD0\x9F\xD1\x80\xD0\xB8"};
    for (const std::string& key : keys) {
        for (const std::string& text : texts) {
            const std::string hex = StrToXorHex(key, text);
            EXPECT_EQ(hex.size(), text.size() * 2);
            EXPECT_EQ(XorHexToStr(key, hex), text) << "key size " << key.size();
        }
    }
}

TEST(StrUtils, IntegerSyntax) {
    struct Case { const char* text; bool ok; int value; };
    const std::vector<Case> cases = {
        {"0", true, 0}, {"42", true, 42}, {"-7", true, -7}, {"+7", true, 7},
        {"$1F", true, 31}, {"$1f", true, 31}, {"-$10", true, -16}, {"$FFFFFFFF", true, -1},
        {"$7FFFFFFF", true, 2147483647}, {"2147483647", true, 2147483647},
        {"-2147483648", true, -2147483647 - 1}, {"  12", true, 12},
        {"", false, 0}, {" ", false, 0}, {"-", false, 0}, {"$", false, 0}, {"12 ", false, 0},
        {"1.5", false, 0}, {"abc", false, 0}, {"0x1F", false, 0}, {"2147483648", false, 0},
        {"$100000000", false, 0}, {"99999999999999999999", false, 0}, {"--1", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int value = 12345;
        EXPECT_EQ(TryStrToInt(c.text, value), c.ok);
        EXPECT_EQ(value, c.ok ? c.value : 12345);
    }
}

}  // namespace
