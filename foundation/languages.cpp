#include "foundation/languages.h"

#include <memory>

#include "foundation/handles.h"
#include "foundation/resources.h"
#include "foundation/shared.h"
#include "foundation/strings.h"
#include "foundation/winfuncs.h"
#include "foundation/xml_storage.h"

namespace omb {

namespace {

std::unique_ptr<TMultiLanguages> g_languages;

// A new file of the system's temporary folder (never one that is there),
// removed when this goes out of scope, however the work on it ended.
class TemporaryFile {
public:
    explicit TemporaryFile(const wchar_t* prefix) {
        char folder[MAX_PATH + 1];
        DWORD n = ::GetTempPathA(DWORD(sizeof(folder)), folder);
        if (n == 0 || n > sizeof(folder)) return;
        try {
            std::wstring name;
            CreateNewFileIn(folder, prefix, "for the built-in language", name);
            name_ = FromWide(name);
        } catch (const EOSError&) {
        }
    }
    ~TemporaryFile() {
        if (!name_.empty()) ::DeleteFileA(name_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

}  // namespace

// ---- TLanguage, TLanguages, TMLStrings --------------------------------------

std::string TLanguage::DisplayName() const {
    return NativeName.empty() ? Name : Name + " - " + NativeName;
}

TLanguages::~TLanguages() {
    Clear();
}

TLanguage* TLanguages::Get(const Variant& key) const {
    if (key.IsInteger() && (key.AsInteger() < 0 || key.AsInteger() >= Count())) return nullptr;
    return static_cast<TLanguage*>(items_.Get(key));
}

bool TLanguages::Add(TLanguage* language) {
    std::unique_ptr<TLanguage> owned(language);
    if (!owned || owned->Id.empty() || items_.Exists(owned->Id)) return false;
    items_.Add(owned.get(), false, owned->Id);
    owned.release();
    return true;
}

void TLanguages::Clear() {
    while (Count() > 0) {
        std::unique_ptr<TLanguage> last(static_cast<TLanguage*>(items_.Get(Variant(Count() - 1))));
        items_.Delete(Variant(Count() - 1));
    }
}

bool TMLStrings::Add(const std::string& key, const std::string& text) {
    if (items_.Exists(key)) return false;
    items_.Add(text, false, key);
    return true;
}

// ---- TMultiLanguages ---------------------------------------------------------

std::string TMultiLanguages::Translate(const std::string& key, const std::string& fallback) const {
    std::string result = strings_.Exists(key) ? strings_.Get(key) : fallback;
    // Each variable is replaced once, in order of definition, and replaced
    // text is never scanned again: a value that names its own variable (or
    // an earlier one) stays as it is, so substitution always ends.
    for (size_t i = 0; i < variableNames_.size(); ++i)
        result = ReplaceTextAnsi(result, "%" + variableNames_[i] + "%", variableValues_[i]);
    return result;
}

void TMultiLanguages::SetVariable(const std::string& name, const std::string& value) {
    for (size_t i = 0; i < variableNames_.size(); ++i) {
        if (SameTextAnsi(variableNames_[i], name)) {
            variableNames_.erase(variableNames_.begin() + std::ptrdiff_t(i));
            variableValues_.erase(variableValues_.begin() + std::ptrdiff_t(i));
            break;
        }
    }
    variableNames_.push_back(name);
    variableValues_.push_back(value);
}

bool IsLanguageFileName(const std::string& fileName) {
    // The pattern "*.lng" also matches "x.lngx" (and, through short names,
    // longer extensions still): only the exact extension counts.
    size_t dot = fileName.find_last_of('.');
    size_t slash = fileName.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    return SameTextAZ(fileName.substr(dot), ".lng");
}

void TMultiLanguages::Scan(const std::string& folder) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(::FindFirstFileA((folder + "*.lng").c_str(), &found));
    if (!search) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!IsLanguageFileName(found.cFileName)) continue;
        const std::string fileName = folder + found.cFileName;
        Ref<IHierStorage> root = OpenXMLFile(fileName);
        if (!root) continue;
        std::string id = root->ReadAttribute("id", "");
        std::string name = root->ReadAttribute("name", "");
        if (id.empty() || name.empty() || languages_.Get(Variant(id))) continue;
        languages_.Add(new TLanguage(id, name, root->ReadAttribute("original_name", ""), fileName));
    } while (::FindNextFileA(search.get(), &found));
}

bool TMultiLanguages::LoadLanguageFile(const std::string& fileName) {
    strings_.Clear();
    Ref<IHierStorage> root = OpenXMLFile(fileName);
    if (!root) return false;
    Ref<IHierStorage> strings = root->GetChild("strings", 0);
    if (!strings) return false;
    const int count = strings->ChildCount("string");
    for (int i = 0; i < count; ++i) {
        Ref<IHierStorage> item = strings->GetChild("string", i);
        if (!item) continue;
        std::string key = item->ReadAttribute("name", "");
        if (!key.empty()) strings_.Add(key, item->GetText());
    }
    return true;
}

bool TMultiLanguages::LoadBuiltInLanguage(HMODULE resourceModule) {
    TemporaryFile file(L"~ln");
    if (file.Name().empty()) return false;
    if (!SaveResourceToFile(resourceModule, kDefaultLanguageResource, MAKEINTRESOURCEA(10) /* RT_RCDATA */,
                            file.Name()))
        return false;
    return LoadLanguageFile(file.Name());
}

bool TMultiLanguages::Select(const std::string& id, HMODULE resourceModule) {
    strings_.Clear();
    if (TLanguage* language = languages_.Get(Variant(id))) {
        if (LoadLanguageFile(language->FileName)) return true;
    }
    return LoadBuiltInLanguage(resourceModule);
}

// ---- The process-wide table --------------------------------------------------

void CreateMultiLanguages() {
    if (!g_languages) g_languages = std::make_unique<TMultiLanguages>();
}

void FreeMultiLanguages() {
    g_languages.reset();
}

TMultiLanguages* MultiLanguages() {
    return g_languages.get();
}

std::string GetMLString(const std::string& key, const std::string& fallback) {
    return g_languages ? g_languages->Translate(key, fallback) : fallback;
}

void SetMLVariable(const std::string& name, const std::string& value) {
    if (g_languages) g_languages->SetVariable(name, value);
}

void ScanLanguages() {
    if (g_languages) g_languages->Scan(AppPath + kLanguagesFolder + "\\");
}

bool SelectLanguage(const std::string& id) {
    return g_languages ? g_languages->Select(id, ::GetModuleHandleA(nullptr)) : false;
}

TLanguages* GetLanguages() {
    return g_languages ? &g_languages->Languages() : nullptr;
}

}  // namespace omb
