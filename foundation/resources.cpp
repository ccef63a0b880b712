#include "foundation/resources.h"

#include "foundation/handles.h"

namespace omb {

bool SaveResourceToFile(HMODULE module, LPCSTR resourceName, LPCSTR resourceType,
                        const std::string& fileName) {
    HRSRC found = ::FindResourceA(module, resourceName, resourceType);
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    const DWORD size = ::SizeofResource(module, found);
    if (!data && size > 0) return false;

    UniqueHandle file(::CreateFileA(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    bool whole = size == 0 || (::WriteFile(file.get(), data, size, &written, nullptr) && written == size);
    file.reset();
    if (!whole) ::DeleteFileA(fileName.c_str());
    return whole;
}

}  // namespace omb
