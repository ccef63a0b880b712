#include "extender/module.h"

#include <atomic>
#include <utility>

#include "foundation/handles.h"

namespace omb::ea {

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};

// Guards the two below; never held across a call of the loader.
SRWLOCK g_holdLock = SRWLOCK_INIT;
long g_holds = 0;
HMODULE g_heldModule = nullptr;  // the reference the holds keep

// Threads inside a procedure of ours.
std::atomic<long> g_calls{0};

HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

// Gives the reference back once the threads that were inside a procedure of
// ours have left it (each leaves within a few instructions after the call
// that released the hold), then ends without returning into the module.
DWORD WINAPI ReleaseLater(void* parameter) {
    for (int i = 0; i < 200 && g_calls.load() > 0; ++i) ::Sleep(5);
    ::Sleep(20);
    ::FreeLibraryAndExitThread(static_cast<HMODULE>(parameter), 0);
    return 0;
}
}  // namespace

HMODULE ReferenceOwnModule() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&ReferenceOwnModule), &module))
        return nullptr;
    return module;
}

HINSTANCE LibraryInstance() {
    if (HINSTANCE instance = g_instance.load()) return instance;
    return OwnModule();
}

void SetLibraryInstance(HINSTANCE instance) {
    g_instance.store(instance);
}

void HoldLibrary() {
    {
        SrwExclusive lock(g_holdLock);
        ++g_holds;
        if (g_heldModule) return;
    }
    // The first hold: the reference is taken outside the lock. Two first
    // holds that meet keep one reference; the other is given back at once
    // (safe: the kept one stays while this hold counts).
    HMODULE module = ReferenceOwnModule();
    if (!module) return;
    {
        SrwExclusive lock(g_holdLock);
        if (!g_heldModule) {
            g_heldModule = module;
            return;
        }
    }
    ::FreeLibrary(module);
}

void ReleaseLibraryHold() {
    HMODULE last = nullptr;
    {
        SrwExclusive lock(g_holdLock);
        if (g_holds <= 0) return;
        if (--g_holds == 0) last = std::exchange(g_heldModule, nullptr);
    }
    if (!last) return;
    // Without a thread to give it back, the module stays: that is safe.
    if (HANDLE thread = ::CreateThread(nullptr, 0, &ReleaseLater, last, 0, nullptr)) ::CloseHandle(thread);
}

long LibraryHolds() {
    SrwExclusive lock(g_holdLock);
    return g_holds;
}

TLibraryCall::TLibraryCall() noexcept {
    ++g_calls;
}

TLibraryCall::~TLibraryCall() {
    --g_calls;
}

}  // namespace omb::ea
