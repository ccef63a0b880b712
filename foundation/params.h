// Parameter strings: pieces of key, delimiter and value joined by a separator,
// where a value may be a group in braces holding a parameter string of its own.
// Positions are 1-based, as everywhere in the system's string handling.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace omb {

using TOneArrayOfString = std::vector<std::string>;
using TTwoArrayOfString = std::vector<std::array<std::string, 2>>;

// Position of the brace closing the group opened at `start`; 0 when none.
// When the character at `start` is not "{", answers `start` itself.
size_t FindClosingBrace(const std::string& text, size_t start);

// Splits at separators outside the first group of each piece; drops empty
// pieces; trims only the whole text. `pieces` is replaced only when at least
// one piece was found. Answers the number of pieces.
int SplitList(const std::string& text, TOneArrayOfString& pieces, char separator);

// Splits as SplitList, then each piece at its first delimiter. A value wrapped
// in one pair of braces loses them. `pairs` gets one entry per piece (pieces
// without a delimiter leave empty entries at the end) and is left untouched
// when there is no piece. Answers the number of pieces, not of pairs.
int ParseKeyValues(const std::string& text, TTwoArrayOfString& pairs, char separator,
                   char delimiter);

// The value of the first pair whose key matches `key` without regard to case.
bool FindKeyValue(const std::string& text, const std::string& key, char separator,
                  std::string& value, char delimiter);

}  // namespace omb
