#include "forms/stores.h"

#include <iterator>
#include <vector>

#include "foundation/winfuncs.h"
#include "forms/str_utils.h"

namespace omb::forms {

// --- TCustomIniStore ---------------------------------------------------------

int TCustomIniStore::ReadInteger(const std::string& section, const std::string& ident, int defaultValue) {
    int value = defaultValue;
    return TryStrToInt(ReadString(section, ident, std::string()), value) ? value : defaultValue;
}

void TCustomIniStore::WriteInteger(const std::string& section, const std::string& ident, int value) {
    WriteString(section, ident, std::to_string(value));
}

bool TCustomIniStore::ReadBool(const std::string& section, const std::string& ident, bool defaultValue) {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TCustomIniStore::WriteBool(const std::string& section, const std::string& ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

// --- TRegIniFile -------------------------------------------------------------

namespace {

std::string WithoutLeadingBackslash(const std::string& path) {
    return !path.empty() && path[0] == '\\' ? path.substr(1) : path;
}

[[noreturn]] void FailSetData(const std::string& ident) {
    throw ERegistryException("Failed to set data for '" + ident + "'");
}

}  // namespace

TRegIniFile::TRegIniFile(const std::string& keyPath, bool readOnly)
    : TRegIniFile(HKEY_CURRENT_USER, keyPath, readOnly) {}

TRegIniFile::TRegIniFile(HKEY root, const std::string& keyPath, bool readOnly)
    : root_(root), path_(WithoutLeadingBackslash(keyPath)), readOnly_(readOnly) {
    Open();
}

void TRegIniFile::SetRoot(HKEY root) {
    root_ = root;
    Open();
}

void TRegIniFile::Open() {
    key_.reset();
    const REGSAM access = readOnly_ ? KEY_READ : KEY_ALL_ACCESS;
    const std::wstring path = Utf8ToWide(path_);
    HKEY key = nullptr;
    LONG rc;
    if (root_ == HKEY_CURRENT_USER || !readOnly_)
        rc = ::RegCreateKeyExW(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key,
                               nullptr);
    else
        rc = ::RegOpenKeyExW(root_, path.c_str(), 0, access, &key);
    if (rc == ERROR_SUCCESS) key_.reset(key);
}

UniqueRegKey TRegIniFile::OpenSection(const std::string& section) const {
    UniqueRegKey sub;
    if (!key_) return sub;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(key_.get(), Utf8ToWide(section).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS)
        sub.reset(key);
    return sub;
}

std::string TRegIniFile::ReadString(const std::string& section, const std::string& ident,
                                    const std::string& defaultValue) {
    const UniqueRegKey sub = OpenSection(section);
    if (!sub) return defaultValue;
    const std::wstring name = Utf8ToWide(ident);
    DWORD type = 0, size = 0;
    LONG rc = ::RegQueryValueExW(sub.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return defaultValue;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw ERegistryException("Invalid data type for '" + ident + "'");
    std::vector<wchar_t> buffer;
    for (;;) {
        // Room for a terminator the stored data may lack.
        buffer.assign(size / sizeof(wchar_t) + 2, L'\0');
        DWORD bytes = DWORD((buffer.size() - 1) * sizeof(wchar_t));
        rc = ::RegQueryValueExW(sub.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                &bytes);
        if (rc == ERROR_MORE_DATA) {
            size = bytes;
            continue;
        }
        if (rc != ERROR_SUCCESS) return defaultValue;  // gone in between
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw ERegistryException("Invalid data type for '" + ident + "'");
        size_t length = bytes / sizeof(wchar_t);
        while (length > 0 && buffer[length - 1] == L'\0') --length;
        return Utf8FromWide(buffer.data(), length);
    }
}

void TRegIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
    if (readOnly_ || !key_) FailSetData(ident);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(key_.get(), Utf8ToWide(section).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        FailSetData(ident);
    const UniqueRegKey sub(key);
    const std::wstring text = Utf8ToWide(value);
    if (::RegSetValueExW(sub.get(), Utf8ToWide(ident).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         DWORD((text.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
        FailSetData(ident);
}

void TRegIniFile::EraseSection(const std::string& section) {
    if (readOnly_) throw ERegistryException("Failed to delete section '" + section + "'");
    if (section.empty() || !key_) return;
    const LONG rc = ::RegDeleteTreeW(key_.get(), Utf8ToWide(section).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        throw ERegistryException("Failed to delete section '" + section + "'");
}

bool TRegIniFile::ValueExists(const std::string& section, const std::string& ident) {
    const UniqueRegKey sub = OpenSection(section);
    return sub && ::RegQueryValueExW(sub.get(), Utf8ToWide(ident).c_str(), nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
}

bool TRegIniFile::SectionExists(const std::string& section) { return static_cast<bool>(OpenSection(section)); }

// --- TIniFile ----------------------------------------------------------------

namespace {

// A default that no stored value equals: tells a missing value from an
// empty one, and keeps the caller's default exactly as given (the platform
// trims blanks off a default it returns).
const wchar_t kMissing[] = L"\x01\x02\x03";

bool ReadProfile(const std::wstring& section, const std::wstring& ident, const std::wstring& file,
                 std::wstring& out) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD n = ::GetPrivateProfileStringW(section.c_str(), ident.c_str(), kMissing, buffer.data(),
                                                   DWORD(buffer.size()), file.c_str());
        if (n + 1 < buffer.size() || buffer.size() >= (1u << 24)) {
            out.assign(buffer.data(), n);
            return out != kMissing;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

namespace {
// The file the profile calls use: a name without a folder lies in the
// system's Windows folder for them, so the file made before the first
// write (with its byte-order mark) is made there too, not in the current
// folder.
std::wstring ProfilePath(const std::string& fileName) {
    std::wstring name = Utf8ToWide(fileName);
    if (name.empty() || name.find_first_of(L"\\/:") != std::wstring::npos) return name;
    wchar_t folder[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return name;
    std::wstring path(folder, n);
    if (path.back() != L'\\') path += L'\\';
    return path + name;
}
}  // namespace

TIniFile::TIniFile(const std::string& fileName) : fileName_(fileName), wideName_(ProfilePath(fileName)) {}

void TIniFile::PrepareForWrite() {
    if (::GetFileAttributesW(wideName_.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    UniqueHandle file(::CreateFileW(wideName_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;  // the write that follows reports the failure
    static const unsigned char kUtf16Mark[] = {0xFF, 0xFE};
    DWORD written = 0;
    ::WriteFile(file.get(), kUtf16Mark, sizeof(kUtf16Mark), &written, nullptr);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) {
    std::wstring value;
    return ReadProfile(Utf8ToWide(section), Utf8ToWide(ident), wideName_, value) ? Utf8FromWide(value)
                                                                                 : defaultValue;
}

void TIniFile::WriteString(const std::string& section, const std::string& ident, const std::string& value) {
    PrepareForWrite();
    if (!::WritePrivateProfileStringW(Utf8ToWide(section).c_str(), Utf8ToWide(ident).c_str(),
                                      Utf8ToWide(value).c_str(), wideName_.c_str()))
        throw EIniFileException("Unable to write to " + fileName_);
}

void TIniFile::EraseSection(const std::string& section) {
    if (::GetFileAttributesW(wideName_.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    if (!::WritePrivateProfileStringW(Utf8ToWide(section).c_str(), nullptr, nullptr, wideName_.c_str()))
        throw EIniFileException("Unable to write to " + fileName_);
}

bool TIniFile::ValueExists(const std::string& section, const std::string& ident) {
    std::wstring value;
    return ReadProfile(Utf8ToWide(section), Utf8ToWide(ident), wideName_, value);
}

bool TIniFile::SectionExists(const std::string& section) {
    // The names of the section's values, each ended by a zero.
    wchar_t names[16] = {};
    return ::GetPrivateProfileStringW(Utf8ToWide(section).c_str(), nullptr, L"", names, DWORD(std::size(names)),
                                      wideName_.c_str()) > 0;
}

}  // namespace omb::forms
