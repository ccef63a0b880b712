// Window routines and the one place where texts cross to wide characters.
//
// Our texts (std::string) are UTF-8, in every process: our own programs run
// with the UTF-8 active code page (resources/app.manifest), and the hook
// library, which runs in other programs with code pages of their own,
// converts explicitly. Every conversion here names its code page; none
// follows the process's ANSI code page except AnsiToWide, for the texts the
// A calls take (file names).
#pragma once

#include <windows.h>

#include <string>

namespace omb {

// A text read from the system, and whether it converted without loss. A
// text that lost characters (a caption holding an unpaired surrogate, or a
// conversion through a one-byte code page that had to use its default
// character) never decides a match.
struct WindowText {
    std::string text;
    bool exact = true;
};

// The class name, at most 254 characters; empty when the window has none.
// Read with the wide call and converted to UTF-8.
WindowText ReadWindowClassName(HWND window);
// The whole caption; empty when the window has none. Read with the wide
// call and converted to UTF-8.
WindowText ReadWindowCaption(HWND window);
// The same texts without the flag (for showing and for logs).
std::string GetWindowClassName(HWND window);
std::string GetWindowCaption(HWND window);

// UTF-8 to UTF-16 (CP_UTF8). A byte sequence that is not UTF-8 becomes
// U+FFFD; ToWideExact answers false for it instead.
std::wstring ToWide(const std::string& utf8);
bool ToWideExact(const std::string& utf8, std::wstring& wide);

// UTF-16 to UTF-8 (CP_UTF8). An unpaired surrogate becomes U+FFFD;
// FromWideExact answers false for it instead (the text it gives then holds
// the U+FFFD).
std::string FromWide(const std::wstring& wide);
std::string FromWide(const wchar_t* wide, size_t length);
bool FromWideExact(const wchar_t* wide, size_t length, std::string& utf8);

// UTF-16 to a code page (CP_UTF8, CP_ACP or any other) with no best-fit
// mapping: false when a character had no equivalent there (the conversion's
// used-default flag, or an unpaired surrogate for UTF-8).
bool ToCodePageExact(UINT codePage, const wchar_t* wide, size_t length, std::string& out);

// A text as the A calls read and write it (a file name handed on to a wide
// interface): the process's ANSI code page, UTF-8 in our programs.
std::wstring AnsiToWide(const std::string& ansi);

// Conversions through UTF-8, whatever the process's code page (texts that a
// wide call stores for other programs: registry values, INI files).
std::wstring Utf8ToWide(const std::string& text);
std::string Utf8FromWide(const wchar_t* text, size_t length);
std::string Utf8FromWide(const std::wstring& text);

// The system's own words for an error code, with the code after them:
// "Access denied. (code 5)"; "(code N)" alone where the system has none.
// An HRESULT's code is given in hexadecimal ("(code 0x80070005)").
// Every message of a system error is made here.
std::string SystemErrorText(DWORD code);
// "what: " and the system's words for the calling thread's last error.
std::string LastErrorText(const char* what);

}  // namespace omb
