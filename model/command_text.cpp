#include "model/command_text.h"

namespace omb {

std::string CommandValue(const std::string& text) {
    if (!HasCommandCharacters(text)) return text;
    std::string out = text;
    for (char& c : out) {
        if (c == '\\')
            c = '/';
        else if (c == '{')
            c = '(';
        else if (c == '}')
            c = ')';
    }
    return out;
}

bool HasCommandCharacters(const std::string& text) { return text.find_first_of("\\{}") != std::string::npos; }

}  // namespace omb
