#include "foundation/params.h"

#include "foundation/strings.h"

namespace omb {

namespace {
// 1-based position of c in s at or after 1-based position `from`; 0 when none.
size_t Pos(const std::string& s, char c, size_t from = 1) {
    size_t at = s.find(c, from - 1);
    return at == std::string::npos ? 0 : at + 1;
}
}  // namespace

size_t FindClosingBrace(const std::string& text, size_t start) {
    if (start == 0 || text.size() < start) return 0;
    long depth = 0;
    for (size_t i = start; i <= text.size(); ++i) {
        char c = text[i - 1];
        if (c == '{')
            ++depth;
        else if (c == '}')
            --depth;
        if (depth == 0) return i;
    }
    return 0;
}

int SplitList(const std::string& text, TOneArrayOfString& pieces, char separator) {
    std::string rest = Trim(text);
    TOneArrayOfString found;
    for (;;) {
        size_t p = Pos(rest, separator);
        size_t b = Pos(rest, '{');
        if (b > 0 && b < p) {
            size_t e = FindClosingBrace(rest, b);
            if (e > 0) {
                p = Pos(rest, separator, e + 1);  // counted from the start of the text
            }
        }
        std::string piece;
        bool last = (p == 0);
        if (last) {
            piece.swap(rest);
        } else {
            piece = rest.substr(0, p - 1);
            rest.erase(0, p);
        }
        if (!piece.empty()) found.push_back(std::move(piece));
        if (last) break;
    }
    const int n = int(found.size());
    if (n > 0) pieces = std::move(found);
    return n;
}

int ParseKeyValues(const std::string& text, TTwoArrayOfString& pairs, char separator,
                   char delimiter) {
    TOneArrayOfString pieces;
    int n = SplitList(text, pieces, separator);
    if (n == 0) return 0;
    TTwoArrayOfString result(static_cast<size_t>(n));
    size_t next = 0;
    for (const std::string& piece : pieces) {
        size_t d = piece.find(delimiter);
        if (d == std::string::npos) continue;
        std::string value = piece.substr(d + 1);
        if (!value.empty() && value.front() == '{' && value.back() == '}')
            value = value.substr(1, value.size() - 2);  // "{" and "}" differ, so size >= 2
        result[next][0] = piece.substr(0, d);
        result[next][1] = std::move(value);
        ++next;
    }
    pairs = std::move(result);
    return n;
}

bool FindKeyValue(const std::string& text, const std::string& key, char separator,
                  std::string& value, char delimiter) {
    value.clear();
    TTwoArrayOfString pairs;
    int n = ParseKeyValues(text, pairs, separator, delimiter);
    const std::string wanted = AnsiUpperCase(key);
    for (int i = 0; i < n; ++i) {
        if (AnsiUpperCase(pairs[size_t(i)][0]) == wanted) {
            value = pairs[size_t(i)][1];
            return true;
        }
    }
    return false;
}

}  // namespace omb
