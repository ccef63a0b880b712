// Text helpers for our 8-bit strings, which hold UTF-8.
#pragma once

#include <string>

namespace omb {

// Removes leading and trailing characters up to and including the blank
// (blanks and control characters).
std::string Trim(const std::string& s);

// Upper-cases the letters a to z only; every other byte stays.
std::string UpperCaseAZ(std::string s);

// Upper-cases with the system's locale-dependent rules: on Windows every
// letter of a UTF-8 text (through UTF-16, whatever the process's ANSI code
// page, so that the hook library in another program folds as our programs
// do); a text that is not UTF-8, and natively every text, the letters a to z
// only.
std::string AnsiUpperCase(std::string s);

// Compares with a to z folded to upper case: <0, 0 or >0 as bytes compare.
int CompareTextAZ(const std::string& a, const std::string& b);
inline bool SameTextAZ(const std::string& a, const std::string& b) { return CompareTextAZ(a, b) == 0; }

// Case-insensitive comparison with the locale-dependent upper-casing.
inline bool SameTextAnsi(const std::string& a, const std::string& b) {
    return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

// Whole decimal text as a 32-bit integer; `fallback` for anything else.
int StrToIntDef(const std::string& s, int fallback);

// Replaces every occurrence of `what` (compared with AnsiUpperCase) by `with`.
std::string ReplaceTextAnsi(const std::string& s, const std::string& what, const std::string& with);

}  // namespace omb
