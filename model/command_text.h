// Pieces of the rule command text: the one text form of a rule that crosses
// from the command center to the hook library. The text has no escape
// character, so the characters that structure it ("\", "{" and "}") are
// replaced in every value written into it; texts without them stay as they
// are.
#pragma once

#include <string>

namespace omb {

// The value with "\" as "/", "{" as "(" and "}" as ")".
std::string CommandValue(const std::string& text);

// Whether the text holds a character that structures the command text.
bool HasCommandCharacters(const std::string& text);

// "\" KEY "=" value, the value made safe.
inline std::string CommandPair(const char* key, const std::string& value) {
    return std::string("\\") + key + "=" + CommandValue(value);
}

}  // namespace omb
