// The text routines of stored values on any bytes: the XOR cipher gives every
// text back, the word routines agree with each other, and the integer syntax
// agrees with its own decimal rendering.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "forms/str_utils.h"

using namespace omb::forms;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    // First byte: how much of the rest is the key / the delimiter set.
    const size_t split = size ? std::min<size_t>(data[0] % 16, size - 1) : 0;
    const std::string key = size ? input.substr(1, split) : std::string();
    const std::string text = size ? input.substr(1 + split) : std::string();

    if (XorHexToStr(key, StrToXorHex(key, text)) != text) abort();
    (void)XorHexToStr(key, text);

    const TCharSet delimiters(key);
    const int count = CountWords(text, delimiters);
    for (int n = 0; n <= count + 1; ++n) {
        const int start = FindWordStart(n, text, delimiters);
        const std::string word = GetWord(n, text, delimiters);
        if ((n >= 1 && n <= count) != (start > 0) || (start > 0) != !word.empty()) abort();
        if (start > 0 && text.compare(size_t(start - 1), word.size(), word) != 0) abort();
    }

    int value = 0;
    if (TryStrToInt(text, value)) {
        int again = ~value;
        if (!TryStrToInt(std::to_string(value), again) || again != value) abort();
    }
    if (!key.empty()) (void)ReplaceSubstrings(text, key, key + key);
    return 0;
}
