#include "foundation/init_language.h"

#include <vector>

#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/shared.h"

namespace omb {

std::string ReadLanguageId(HKEY root, const std::string& keyPath) {
    UniqueRegKey key;
    if (::RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return std::string();
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key.get(), "Language", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::string();
    // Only strings are ids; a value of any other type means no language.
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) return std::string();
    std::vector<char> buffer(size_t(size) + 1, '\0');
    if (::RegQueryValueExA(key.get(), "Language", nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                           &size) != ERROR_SUCCESS)
        return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::string id(buffer.data(), size);
    // The stored size counts the terminating zero, when there is one.
    size_t end = id.find('\0');
    if (end != std::string::npos) id.resize(end);
    return id;
}

void InitLanguageFrom(HKEY root, const std::string& keyPath) {
    const std::string id = ReadLanguageId(root, keyPath);
    // Nothing here is worth ending a program for: a language that cannot be
    // read leaves the built-in English, or, failing that, the bare keys.
    try {
        ScanLanguages();
        SelectLanguage(id);
    } catch (...) {
        try {
            SelectLanguage("");
        } catch (...) {
        }
    }
    SetMLVariable("appname", ProductName);
}

void InitLanguage() {
    InitLanguageFrom(HKEY_CURRENT_USER, kRegistryRoot);
}

}  // namespace omb
