// Stores of named values in sections: the registry with INI-style calls
// (a section is a subkey, values are texts) and the platform's INI files.
// Texts are UTF-8; both stores keep every character.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "foundation/handles.h"

namespace omb::forms {

// A registry value that cannot be read or written as asked, e.g.
// "Invalid data type for 'NAME'" for a value that is not a text.
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An INI file that cannot be written: "Unable to write to FILE".
class EIniFileException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What form placement needs of a store; both stores below derive from it.
// Integers are stored as decimal text and read in the integer syntax of
// TryStrToInt (a text that is not an integer, or empty, gives the default);
// Booleans are "0" and "1", any other integer reads as true.
class TCustomIniStore {
public:
    virtual ~TCustomIniStore() = default;
    virtual std::string ReadString(const std::string& section, const std::string& ident,
                                   const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& section, const std::string& ident,
                             const std::string& value) = 0;
    virtual int ReadInteger(const std::string& section, const std::string& ident, int defaultValue);
    virtual void WriteInteger(const std::string& section, const std::string& ident, int value);
    bool ReadBool(const std::string& section, const std::string& ident, bool defaultValue);
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    virtual void EraseSection(const std::string& section) = 0;
    virtual bool ValueExists(const std::string& section, const std::string& ident) = 0;
    virtual bool SectionExists(const std::string& section) = 0;
};

// A registry key opened with INI-style calls. Sections are subkeys of the
// key (an empty section is the key itself); values are REG_SZ. A read takes
// the default when the section or value is missing; REG_SZ and REG_EXPAND_SZ
// read unchanged (nothing expanded); a value of another type fails its read
// with ERegistryException.
class TRegIniFile : public TCustomIniStore {
public:
    // Opens keyPath under HKEY_CURRENT_USER, creating it when missing (also
    // in read-only mode). Read-only: every key is opened with read access,
    // no section is ever created and writes fail with ERegistryException.
    explicit TRegIniFile(const std::string& keyPath, bool readOnly = false);
    // Opens keyPath under root; under a root other than HKEY_CURRENT_USER
    // the key is created only in write mode.
    TRegIniFile(HKEY root, const std::string& keyPath, bool readOnly = false);

    // Closes the key and opens the same path under another root, by the
    // rule of the second constructor.
    void SetRoot(HKEY root);
    HKEY Root() const { return root_; }
    const std::string& KeyPath() const { return path_; }
    bool ReadOnly() const { return readOnly_; }
    // The key could be opened (reads of a key that is not open give the
    // defaults; writes fail).
    bool IsOpen() const { return static_cast<bool>(key_); }

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) override;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
    // Deletes the section's subkey with everything under it; a missing
    // section (or the empty one, the key itself) is left alone.
    void EraseSection(const std::string& section) override;
    bool ValueExists(const std::string& section, const std::string& ident) override;
    bool SectionExists(const std::string& section) override;

private:
    void Open();
    UniqueRegKey OpenSection(const std::string& section) const;

    HKEY root_ = HKEY_CURRENT_USER;
    std::string path_;
    bool readOnly_ = false;
    UniqueRegKey key_;
};

// An INI file by full path through the platform's profile calls. A file that
// does not exist yet is created as UTF-16 at the first write, so that every
// character survives (the platform writes new files in the ANSI code page).
// The platform strips one pair of quotes around a value when it reads it and
// blanks around it: WriteString stores the text as given (the caller wraps
// what must keep its quotes, see WriteIniOrRegString).
class TIniFile : public TCustomIniStore {
public:
    // A name without a folder (the default "PROGRAM.INI") is a file of the
    // Windows folder, as for the profile calls.
    explicit TIniFile(const std::string& fileName);
    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& defaultValue) override;
    void WriteString(const std::string& section, const std::string& ident, const std::string& value) override;
    void EraseSection(const std::string& section) override;
    bool ValueExists(const std::string& section, const std::string& ident) override;
    // True when the section holds at least one value.
    bool SectionExists(const std::string& section) override;

private:
    void PrepareForWrite();

    std::string fileName_;
    std::wstring wideName_;
};

}  // namespace omb::forms
