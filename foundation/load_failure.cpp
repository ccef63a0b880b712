#include "foundation/load_failure.h"

#include "foundation/languages.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"

namespace omb {

bool ConfigurationThere(const std::string& fileName) {
    if (::GetFileAttributesW(ToWide(fileName).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool HeldByAnotherProgram(const TXMLLoadError& failure) {
    return failure.systemError == ERROR_SHARING_VIOLATION || failure.systemError == ERROR_LOCK_VIOLATION;
}

std::string ConfigLoadFailure(const std::string& fileName, const TXMLLoadError& failure) {
    std::string text = GetMLString("CBApp_ConfigNotLoaded", "The configuration could not be loaded:") + "\n" +
                       fileName + "\n\n" + failure.reason;
    if (failure.line > 0) {
        std::string at = GetMLString("CBApp_ConfigErrorAt", "Line %line%, position %position%.");
        at = ReplaceTextAnsi(at, "%line%", std::to_string(failure.line));
        at = ReplaceTextAnsi(at, "%position%", std::to_string(failure.position));
        text += "\n" + at;
    }
    return text;
}

std::string LoadFailureMessage(const std::string& fileName, const TXMLLoadError& failure) {
    return ConfigLoadFailure(fileName, failure) + "\n\n" +
           GetMLString("CBApp_ConfigLeftAsItIs", "The file was left as it is.");
}

}  // namespace omb
