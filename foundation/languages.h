// Language tables: every text the programs show comes from the selected
// language file (or the built-in English one, the resource "DEFAULTLNG"),
// with text variables written between two "%" signs substituted on the way
// out.
//
// Language file: XML whose root element (any name; "language" in the
// built-in file) has the attributes "id" and "name" (both required) and
// "original_name" (the language's own name, optional), and whose first child
// "strings" holds "string" elements, each with its key in "name" and the text
// as its content. Language files are the "*.lng" files of the folder
// "Languages" under the program folder.
//
// One table per process: CreateMultiLanguages at start-up (after COM), then
// InitLanguage (init_language.h); FreeMultiLanguages at shut-down. The free
// routines do nothing, or answer their default, while there is no table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/collections.h"

namespace omb {

constexpr const char* kDefaultLanguageResource = "DEFAULTLNG";
constexpr const char* kLanguagesFolder = "Languages";

class TLanguage {
public:
    TLanguage(std::string id, std::string name, std::string nativeName, std::string fileName)
        : Id(std::move(id)),
          Name(std::move(name)),
          NativeName(std::move(nativeName)),
          FileName(std::move(fileName)) {}

    // The name, or the name, " - " and the native name when there is one.
    std::string DisplayName() const;

    std::string Id;
    std::string Name;
    std::string NativeName;  // "original_name"
    std::string FileName;    // full name of the language file
};

// The known languages by id (case-insensitive), in the order found. Owns them.
class TLanguages {
public:
    TLanguages() = default;
    ~TLanguages();
    TLanguages(const TLanguages&) = delete;
    TLanguages& operator=(const TLanguages&) = delete;

    int Count() const { return items_.Count(); }
    // By position or by id; nullptr for anything that names no language.
    TLanguage* Get(const Variant& key) const;
    // Takes the language; false (and frees it) when its id is known already.
    bool Add(TLanguage* language);
    void Clear();

private:
    TPointerCollection items_;
};

// Texts by key (case-insensitive); the first text of a key stays.
class TMLStrings {
public:
    int Count() const { return items_.Count(); }
    bool Exists(const std::string& key) const { return items_.Exists(key); }
    // False when the key is present already (its text is kept).
    bool Add(const std::string& key, const std::string& text);
    std::string Get(const std::string& key) const { return items_.Get(Variant(key)); }
    void Clear() { items_.Clear(); }

private:
    TStringCollection items_;
};

class TMultiLanguages {
public:
    TMLStrings& Strings() { return strings_; }
    TLanguages& Languages() { return languages_; }

    // The key's text, else the default; variables substituted in either.
    std::string Translate(const std::string& key, const std::string& fallback) const;
    // Defines a variable, or redefines it and moves it to the end.
    void SetVariable(const std::string& name, const std::string& value);
    // Adds the new ids of the "*.lng" files in the folder (ending in "\").
    void Scan(const std::string& folder);
    // Loads the language of that id, else the built-in file (the resource
    // "DEFAULTLNG" of resourceModule); true when one loaded.
    bool Select(const std::string& id, HMODULE resourceModule);
    // Replaces the texts with those of the file; false when it does not load
    // or has no "strings" element.
    bool LoadLanguageFile(const std::string& fileName);
    // The built-in file, written to a temporary file that is always removed.
    bool LoadBuiltInLanguage(HMODULE resourceModule);

private:
    TMLStrings strings_;
    TLanguages languages_;
    std::vector<std::string> variableNames_;
    std::vector<std::string> variableValues_;
};

// The process-wide table.
void CreateMultiLanguages();
void FreeMultiLanguages();
TMultiLanguages* MultiLanguages();

std::string GetMLString(const std::string& key, const std::string& fallback);
void SetMLVariable(const std::string& name, const std::string& value);
// Scans AppPath + "Languages".
void ScanLanguages();
// Falls back to the built-in file of the program's own module.
bool SelectLanguage(const std::string& id);
TLanguages* GetLanguages();

// True for a file name whose extension is exactly ".lng" (any case).
bool IsLanguageFileName(const std::string& fileName);

}  // namespace omb
