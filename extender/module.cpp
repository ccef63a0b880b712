#include "extender/module.h"

#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <utility>

#include "foundation/handles.h"

namespace omb::ea {

namespace {
std::atomic<HINSTANCE> g_instance{nullptr};

// Guards the four below; never held across a call of the loader.
SRWLOCK g_holdLock = SRWLOCK_INIT;
long g_holds = 0;
HMODULE g_heldModule = nullptr;  // the reference the holds keep
// References whose last hold went, waiting for the releasing thread (one at
// a time runs, so that two never suspend each other).
long g_pendingFrees = 0;
HMODULE g_pendingModule = nullptr;
bool g_releasing = false;

// Threads inside a procedure of ours.
std::atomic<long> g_calls{0};

HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

// Whether a thread of this process other than the calling one may execute
// an instruction of the module now. Each thread is suspended in turn while
// its registers are read: between the suspension and the resumption nothing
// is called that could wait for a lock the suspended thread may hold. A
// thread whose registers cannot be read (it cannot be opened or suspended,
// or its context cannot be read) counts as inside: the reference stays and
// the caller asks again later. One that ended meanwhile is missing from the
// next snapshot, or found ended.
bool AnotherThreadRunsIn(HMODULE module) {
    const auto base = reinterpret_cast<uintptr_t>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + uintptr_t(dos->e_lfanew));
    const uintptr_t end = base + nt->OptionalHeader.SizeOfImage;

    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return true;  // cannot tell: assume so
    const DWORD process = ::GetCurrentProcessId(), self = ::GetCurrentThreadId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != process || entry.th32ThreadID == self) continue;
        UniqueHandle thread(
            ::OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | SYNCHRONIZE, FALSE, entry.th32ThreadID));
        if (!thread) return true;
        if (::SuspendThread(thread.get()) == DWORD(-1)) {
            // A thread that has ended runs nothing; one still ending may be
            // anywhere.
            if (::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0) continue;
            return true;
        }
        alignas(16) CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        const BOOL read = ::GetThreadContext(thread.get(), &context);
        ::ResumeThread(thread.get());
        if (!read) return true;
        if (context.Rip >= base && context.Rip < end) return true;
    }
    return false;
}

// Gives back the references whose last hold went, once no thread can be in
// the module's code, then ends without returning into the module.
//
// Every way into the module's code from outside (a slot's or a timer's
// window procedure, the hook procedure) counts itself in g_calls from its
// first to its last statement (TLibraryCall); nothing can enter afresh once
// the last hold went (no window has a procedure of ours any more). So the
// count falls to zero and stays there, and there is no time-out: a thread
// that sits in a message box of ours keeps the module for as long as it
// sits there, and so does a thread whose registers cannot be read (the loop
// asks again until they can, or the thread has ended). The count alone is
// not enough: a thread that has just counted itself out still runs the few
// instructions that return from its procedure, inside the module, and may
// be preempted there for any time. So once the count is zero, each other
// thread's instruction pointer is read; the reference goes only while none
// lies inside the module. After counting itself out a procedure calls
// nothing (the count's guard is its first local, so it goes last), so a
// thread found outside the module then has left it for good.
DWORD WINAPI ReleaseLater(void*) {
    DWORD pause = 1;
    for (;;) {
        HMODULE module;
        {
            SrwExclusive lock(g_holdLock);
            module = g_pendingModule;
        }
        if (g_calls.load() > 0 || AnotherThreadRunsIn(module)) {
            ::Sleep(pause);
            if (pause < 50) pause *= 2;
            continue;
        }
        long count;
        {
            SrwExclusive lock(g_holdLock);
            count = g_pendingFrees;
            // The last of them ends this thread; later ones start a new one.
            g_pendingFrees = count > 1 ? 1 : 0;
            if (count <= 1) g_releasing = false;
        }
        if (count <= 1) ::FreeLibraryAndExitThread(module, 0);
        for (long i = 1; i < count; ++i) ::FreeLibrary(module);  // one stays: returning is safe
    }
}

// The sweeps of WatchLeftovers and the thread that runs them.
constexpr DWORD kLeftoverCheckMs = 500;
constexpr int kLeftoverSweeps = 4;  // one for each kind of leftover
// Guards the three below; never held while a sweep runs.
SRWLOCK g_watchLock = SRWLOCK_INIT;
TLeftoverSweep g_sweeps[kLeftoverSweeps] = {};
bool g_sweepGivenAgain[kLeftoverSweeps] = {};  // since the thread last took the sweeps
bool g_watching = false;

DWORD WINAPI WatchLeftoversLoop(void* module) {
    for (;;) {
        ::Sleep(kLeftoverCheckMs);
        TLeftoverSweep sweeps[kLeftoverSweeps];
        {
            SrwExclusive lock(g_watchLock);
            for (int i = 0; i < kLeftoverSweeps; ++i) {
                sweeps[i] = g_sweeps[i];
                g_sweepGivenAgain[i] = false;
            }
        }
        bool left[kLeftoverSweeps] = {};
        for (int i = 0; i < kLeftoverSweeps; ++i) left[i] = sweeps[i] && sweeps[i]();
        bool watching = false;
        {
            SrwExclusive lock(g_watchLock);
            for (int i = 0; i < kLeftoverSweeps; ++i) {
                // Given again while it ran: what it missed is looked at next time.
                if (g_sweeps[i] && !left[i] && !g_sweepGivenAgain[i]) g_sweeps[i] = nullptr;
                watching = watching || g_sweeps[i] != nullptr;
            }
            g_watching = watching;
        }
        if (!watching) ::FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
    }
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
    bool start = false;
    {
        SrwExclusive lock(g_holdLock);
        if (g_holds <= 0) return;
        if (--g_holds == 0) last = std::exchange(g_heldModule, nullptr);
        if (!last) return;
        // Every reference is one on the same module.
        g_pendingModule = last;
        ++g_pendingFrees;
        start = !g_releasing;
        g_releasing = true;
    }
    if (!start) return;
    if (UniqueHandle(::CreateThread(nullptr, 0, &ReleaseLater, nullptr, 0, nullptr))) return;
    // Without a thread the references stay (safe); the next last hold tries
    // again.
    SrwExclusive lock(g_holdLock);
    g_releasing = false;
}

long LibraryHolds() {
    SrwExclusive lock(g_holdLock);
    return g_holds;
}

void WatchLeftovers(TLeftoverSweep sweep) {
    if (!sweep) return;
    {
        SrwExclusive lock(g_watchLock);
        int index = -1;
        for (int i = 0; i < kLeftoverSweeps && index < 0; ++i)
            if (g_sweeps[i] == sweep) index = i;
        for (int i = 0; i < kLeftoverSweeps && index < 0; ++i)
            if (!g_sweeps[i]) index = i;
        if (index < 0) return;  // more kinds than places: never, there are two
        g_sweeps[index] = sweep;
        g_sweepGivenAgain[index] = true;
        if (g_watching) return;
        g_watching = true;
    }
    // The caller's leftover holds the module: the reference is safe to give
    // back here when no thread starts. The sweep stays listed; the next call
    // tries again to start the thread.
    if (HMODULE module = ReferenceOwnModule()) {
        if (UniqueHandle(::CreateThread(nullptr, 0, &WatchLeftoversLoop, module, 0, nullptr))) return;
        ::FreeLibrary(module);
    }
    SrwExclusive lock(g_watchLock);
    g_watching = false;
}

TLibraryCall::TLibraryCall() noexcept {
    ++g_calls;
}

TLibraryCall::~TLibraryCall() {
    --g_calls;
}

}  // namespace omb::ea
