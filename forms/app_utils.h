// Window-free routines of form placement: default store names, values read
// and written through either store, the screen-size suffix of placement
// values, the short-date flag and the screen cursors of the library.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "forms/stores.h"

namespace omb::forms {

// Process-wide settings, empty or off at start-up.
// Provider of the default INI file name (none: the program's name + ".INI").
extern std::function<std::string()> IniNameCallback;
// The default registry key uses the application's title when it has one.
extern bool RegistryKeyUsesTitle;
// A key level put before the program's own key (cleared at shutdown).
extern std::string RegistryKeyPrefix;
// The application's title; the application object installs its provider.
extern std::function<std::string()> ApplicationTitleProvider;

// The program's file name without folder, its extension replaced by ".INI";
// or the answer of IniNameCallback when one is set.
std::string DefaultIniFileName();
// "Software\" [RegistryKeyPrefix "\"] and the title (RegistryKeyUsesTitle
// and a title) or the program's file name without folder and extension.
std::string DefaultRegistryKey();

// Values through a registry store, an INI store or none (defaults, and
// writes that do nothing). Integers in the integer syntax of TryStrToInt; a
// text that is not an integer gives the default. Texts written to an INI
// file that the platform would change on reading are wrapped in one more
// pair of double quotes: those that begin and end with the same quote
// character, and those that begin or end with a blank.
std::string ReadIniOrRegString(TCustomIniStore* store, const std::string& section, const std::string& ident,
                               const std::string& defaultValue);
void WriteIniOrRegString(TCustomIniStore* store, const std::string& section, const std::string& ident,
                         const std::string& value);
int ReadIniOrRegInteger(TCustomIniStore* store, const std::string& section, const std::string& ident,
                        int defaultValue);
void WriteIniOrRegInteger(TCustomIniStore* store, const std::string& section, const std::string& ident,
                          int value);

// "(WIDTHxHEIGHT)" of the screen in pixels, e.g. "(1024x768)".
std::string ScreenSizeSuffix();
// The value under name + ScreenSizeSuffix(); when that is empty, the value
// under the plain name; empty when neither exists.
std::string ReadScreenValue(TCustomIniStore* store, const std::string& section, const std::string& name);
// Writes the text under name + ScreenSizeSuffix(), then under the plain name.
void WriteScreenValue(TCustomIniStore* store, const std::string& section, const std::string& name,
                      const std::string& text);

// Whether the user's short date format shows four-digit years; set once by
// InitFourDigitYearFormat at start-up.
extern bool FourDigitYearFormat;
void InitFourDigitYearFormat();
// The test behind it: the format, upper-cased, contains "YYYY".
bool DateFormatHasFourDigitYear(const std::string& shortDateFormat);

// Screen cursors of the library: kHandCursor is the resource "RX_HANDCUR",
// kDragCursor "RX_DRAGCUR" (forms/res/forms.rc, linked through the target
// forms_resources).
constexpr int kHandCursor = 14000;
constexpr int kDragCursor = 14001;
// Loads both cursors from the module's resources and keeps them under their
// numbers. Answers whether both were found.
bool RegisterScreenCursors(HINSTANCE instance);
// The cursor kept under id, or null. Cursors loaded from resources are
// shared by the system and never destroyed; the table only borrows them.
HCURSOR ScreenCursor(int id);
void SetScreenCursor(int id, HCURSOR cursor);
// Forgets every kept cursor (at shutdown).
void FreeScreenCursors();

}  // namespace omb::forms
