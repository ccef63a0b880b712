#include "forms/app_utils.h"

#include <iterator>
#include <map>
#include <vector>

#include "foundation/winfuncs.h"
#include "forms/str_utils.h"

namespace omb::forms {

std::function<std::string()> IniNameCallback;
bool RegistryKeyUsesTitle = false;
std::string RegistryKeyPrefix;
std::function<std::string()> ApplicationTitleProvider;
bool FourDigitYearFormat = false;

namespace {

// The program's file name without its folder.
std::string ProgramFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) {
            std::string path = Utf8FromWide(buffer.data(), n);
            const size_t slash = path.find_last_of("\\/:");
            return slash == std::string::npos ? path : path.substr(slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string WithoutExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Texts that the profile calls would not give back as written.
bool NeedsIniQuotes(const std::string& text) {
    if (text.empty()) return false;
    const char first = text.front(), last = text.back();
    if ((first == '"' && last == '"') || (first == '\'' && last == '\'')) return true;
    return IsBlank(first) || IsBlank(last);
}

std::map<int, HCURSOR>& Cursors() {
    static std::map<int, HCURSOR> cursors;
    return cursors;
}

}  // namespace

std::string DefaultIniFileName() {
    if (IniNameCallback) return IniNameCallback();
    return WithoutExtension(ProgramFileName()) + ".INI";
}

std::string DefaultRegistryKey() {
    std::string name;
    if (RegistryKeyUsesTitle && ApplicationTitleProvider) name = ApplicationTitleProvider();
    if (name.empty()) name = WithoutExtension(ProgramFileName());
    if (!RegistryKeyPrefix.empty()) name = RegistryKeyPrefix + "\\" + name;
    return "Software\\" + name;
}

std::string ReadIniOrRegString(TCustomIniStore* store, const std::string& section, const std::string& ident,
                               const std::string& defaultValue) {
    return store ? store->ReadString(section, ident, defaultValue) : defaultValue;
}

void WriteIniOrRegString(TCustomIniStore* store, const std::string& section, const std::string& ident,
                         const std::string& value) {
    if (!store) return;
    if (dynamic_cast<TIniFile*>(store) && NeedsIniQuotes(value))
        store->WriteString(section, ident, "\"" + value + "\"");
    else
        store->WriteString(section, ident, value);
}

int ReadIniOrRegInteger(TCustomIniStore* store, const std::string& section, const std::string& ident,
                        int defaultValue) {
    return store ? store->ReadInteger(section, ident, defaultValue) : defaultValue;
}

void WriteIniOrRegInteger(TCustomIniStore* store, const std::string& section, const std::string& ident,
                          int value) {
    if (store) store->WriteInteger(section, ident, value);
}

std::string ScreenSizeSuffix() {
    return "(" + std::to_string(::GetSystemMetrics(SM_CXSCREEN)) + "x" +
           std::to_string(::GetSystemMetrics(SM_CYSCREEN)) + ")";
}

std::string ReadScreenValue(TCustomIniStore* store, const std::string& section, const std::string& name) {
    std::string text = ReadIniOrRegString(store, section, name + ScreenSizeSuffix(), std::string());
    if (text.empty()) text = ReadIniOrRegString(store, section, name, std::string());
    return text;
}

void WriteScreenValue(TCustomIniStore* store, const std::string& section, const std::string& name,
                      const std::string& text) {
    WriteIniOrRegString(store, section, name + ScreenSizeSuffix(), text);
    WriteIniOrRegString(store, section, name, text);
}

bool DateFormatHasFourDigitYear(const std::string& shortDateFormat) {
    std::string upper = shortDateFormat;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return upper.find("YYYY") != std::string::npos;
}

void InitFourDigitYearFormat() {
    wchar_t format[128] = {};
    const int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, format, int(std::size(format)));
    FourDigitYearFormat = n > 0 && DateFormatHasFourDigitYear(Utf8FromWide(format, size_t(n - 1)));
}

bool RegisterScreenCursors(HINSTANCE instance) {
    const HCURSOR hand = ::LoadCursorW(instance, L"RX_HANDCUR");
    const HCURSOR drag = ::LoadCursorW(instance, L"RX_DRAGCUR");
    SetScreenCursor(kHandCursor, hand);
    SetScreenCursor(kDragCursor, drag);
    return hand && drag;
}

HCURSOR ScreenCursor(int id) {
    const auto found = Cursors().find(id);
    return found == Cursors().end() ? nullptr : found->second;
}

void SetScreenCursor(int id, HCURSOR cursor) {
    if (cursor)
        Cursors()[id] = cursor;
    else
        Cursors().erase(id);
}

void FreeScreenCursors() { Cursors().clear(); }

}  // namespace omb::forms
