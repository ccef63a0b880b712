// Start-up language selection of both programs.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// Reads the language id that the options dialog stored (HKEY_CURRENT_USER
// "SOFTWARE\Quennet\Ombrel", value "Language"), scans the language files,
// selects that language (the built-in English one when the id is empty,
// unknown, or its file does not load) and defines the text variable
// "appname" as "Ombrel". Runs after CreateMultiLanguages and COM start-up.
void InitLanguage();

// The same with the id read from another key (tests use their own keys).
void InitLanguageFrom(HKEY root, const std::string& keyPath);

// The string value "Language" of the key, opened for reading only; empty
// when the key or the value is missing, or the value is not a string.
std::string ReadLanguageId(HKEY root, const std::string& keyPath);

}  // namespace omb
