#include "extender/module.h"

#include <atomic>

namespace omb::ea {

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};

HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}
}  // namespace

HINSTANCE LibraryInstance() {
    if (HINSTANCE instance = g_instance.load()) return instance;
    return OwnModule();
}

void SetLibraryInstance(HINSTANCE instance) {
    g_instance.store(instance);
}

}  // namespace omb::ea
