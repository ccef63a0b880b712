// Window routines and the one place where texts cross to wide characters.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// The class name, at most 254 characters; empty when the window has none.
std::string GetWindowClassName(HWND window);
// The whole caption; empty when the window has none.
std::string GetWindowCaption(HWND window);

// Conversions through the system's ANSI code page.
std::wstring ToWide(const std::string& text);
std::string FromWide(const std::wstring& text);
std::string FromWide(const wchar_t* text, size_t length);

// Conversions through UTF-8, whatever the process's code page (texts that a
// wide call stores for other programs: registry values, INI files).
std::wstring Utf8ToWide(const std::string& text);
std::string Utf8FromWide(const wchar_t* text, size_t length);
std::string Utf8FromWide(const std::wstring& text);

// "text (code N)" for the calling thread's last error.
std::string LastErrorText(const char* what);

}  // namespace omb
