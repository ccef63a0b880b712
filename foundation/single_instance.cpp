#include "foundation/single_instance.h"

#include <cstring>
#include <utility>
#include <vector>

#include "foundation/handles.h"

namespace omb {

namespace {

// Process id, main thread id, state.
constexpr DWORD kBlockSize = 12;
// What a block of an older program holds: the ids only.
constexpr DWORD kIdsSize = 8;
enum : DWORD { kRunning = 0, kEnding = 1, kFree = 2 };
// How long a process waits for the lock that orders registrations; past it,
// it goes on without.
constexpr DWORD kLockBoundMs = 2000;
// How often a process waiting for an ending one looks again.
constexpr DWORD kWaitSliceMs = 50;

// Registrations last until the process ends or lets them go: their blocks
// stay open here.
SRWLOCK g_keptLock = SRWLOCK_INIT;
std::vector<std::pair<std::string, UniqueHandle>>& Kept() {
    static auto* kept = new std::vector<std::pair<std::string, UniqueHandle>>;  // never freed
    return *kept;
}

void KeepUntilExit(const std::string& name, UniqueHandle block) {
    SrwExclusive guard(g_keptLock);
    Kept().emplace_back(name, std::move(block));
}

void LetGo(const std::string& name) {
    SrwExclusive guard(g_keptLock);
    auto& kept = Kept();
    for (auto it = kept.begin(); it != kept.end();) it = it->first == name ? kept.erase(it) : it + 1;
}

// The lock every reading-and-writing of the block takes, across processes:
// a takeover and a release never cross.
class BlockLock {
public:
    explicit BlockLock(const std::string& name) : mutex_(::CreateMutexA(nullptr, FALSE, name.c_str())) {
        if (!mutex_) return;
        const DWORD w = ::WaitForSingleObject(mutex_.get(), kLockBoundMs);
        held_ = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    }
    ~BlockLock() {
        if (held_) ::ReleaseMutex(mutex_.get());
    }
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;
    bool Held() const { return held_; }

private:
    UniqueHandle mutex_;
    bool held_ = false;
};

// Whether the process of that id has ended; false when it cannot be told.
bool ProcessEnded(DWORD id) {
    if (id == 0) return false;
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    return ::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

// Waits a short while for the process to end.
void WaitAWhileFor(DWORD id) {
    UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, id));
    if (!process || ::WaitForSingleObject(process.get(), kWaitSliceMs) == WAIT_FAILED) ::Sleep(kWaitSliceMs);
}

// Waits for a process that found the block the moment its creator made it:
// the creator writes its ids right after creating it.
void WaitForIds(const volatile DWORD* ids) {
    for (int i = 0; i < 50 && ids[0] == 0; ++i) ::Sleep(2);
}

}  // namespace

TSingleAppInstance::TSingleAppInstance(const std::string& blockName) : name_(blockName) {
    TakeOwnIds();
}

void TSingleAppInstance::TakeOwnIds() {
    if (ownProcess_ == 0) ownProcess_ = ::GetCurrentProcessId();
    if (ownThread_ == 0) ownThread_ = ::GetCurrentThreadId();
}

bool TSingleAppInstance::ReadIds(HANDLE mapping) {
    UniqueView view(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kBlockSize));
    const bool withState = bool(view);
    if (!view) view.reset(::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kIdsSize));
    if (!view) return false;
    const auto* ids = static_cast<const volatile DWORD*>(view.get());
    WaitForIds(ids);
    otherProcess_ = ids[0];
    otherThread_ = ids[1];
    otherState_ = withState ? ids[2] : kRunning;
    return true;
}

bool TSingleAppInstance::CheckAndRegister(DWORD waitForEndingMs) {
    TakeOwnIds();
    const ULONGLONG deadline = ::GetTickCount64() + waitForEndingMs;
    for (;;) {
        DWORD ending = 0;  // an ending process to wait for
        {
            BlockLock lock(name_ + "Lock");
            // Create or open in one step: the creator is the one that registers.
            ::SetLastError(ERROR_SUCCESS);
            UniqueHandle block(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                    kBlockSize, name_.c_str()));
            if (!block) {
                // It may exist and still be readable (made by somebody with
                // other rights); otherwise nothing can be said.
                UniqueHandle existing(::OpenFileMappingA(FILE_MAP_READ, FALSE, name_.c_str()));
                if (!existing || !ReadIds(existing.get())) return false;
                return otherProcess_ != ownProcess_ && otherState_ != kFree;
            }
            const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
            UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_WRITE, 0, 0, kBlockSize));
            if (!view) {
                // A new block closes with its handle; one that cannot be
                // taken over is only read.
                if (!existed || !ReadIds(block.get())) return false;
                return otherProcess_ != ownProcess_;
            }
            auto* ids = static_cast<volatile DWORD*>(view.get());
            if (existed) {
                WaitForIds(ids);
                otherProcess_ = ids[0];
                otherThread_ = ids[1];
                otherState_ = ids[2];
                if (otherProcess_ == ownProcess_) return false;
                // Free: let go, or left by a process that ended while
                // somebody else still held the block open (or by a creator
                // that died before it wrote its ids, seen under the lock).
                const bool free = otherState_ == kFree || (otherProcess_ == 0 && lock.Held()) ||
                                  ProcessEnded(otherProcess_);
                if (!free) {
                    if (otherState_ != kEnding || ::GetTickCount64() >= deadline) return true;
                    ending = otherProcess_;
                }
            }
            if (ending == 0) {
                ids[0] = ownProcess_;
                ids[1] = ownThread_;
                ids[2] = kRunning;
                view.reset();
                KeepUntilExit(name_, std::move(block));
                return false;
            }
        }
        // Outside the lock: the ending process takes it to let go.
        WaitAWhileFor(ending);
    }
}

void TSingleAppInstance::SetOwnState(DWORD state) {
    TakeOwnIds();
    BlockLock lock(name_ + "Lock");
    UniqueHandle block(::OpenFileMappingA(FILE_MAP_WRITE, FALSE, name_.c_str()));
    if (!block) return;
    UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (!view) return;
    auto* ids = static_cast<volatile DWORD*>(view.get());
    if (ids[0] == ownProcess_) ids[2] = state;
}

void TSingleAppInstance::MarkEnding() {
    SetOwnState(kEnding);
}

void TSingleAppInstance::Release() {
    SetOwnState(kFree);
    LetGo(name_);
}

bool TSingleAppInstance::IsOtherInstanceRunning() {
    TakeOwnIds();
    UniqueHandle block(::OpenFileMappingA(FILE_MAP_READ, FALSE, name_.c_str()));
    if (!block || !ReadIds(block.get())) return false;
    return otherProcess_ != ownProcess_ && otherState_ != kFree;
}

void TSingleAppInstance::ActivateFirstInstance() {
    if (otherThread_ == 0) return;
    struct Search {
        DWORD thread;
        HWND found;
    } search{otherThread_, nullptr};
    // Top-level windows come in the window manager's (z-) order.
    ::EnumWindows(
        [](HWND window, LPARAM param) noexcept -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            if (::GetWindowThreadProcessId(window, nullptr) != s->thread || !::IsWindowVisible(window))
                return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (!search.found) return;
    // The first instance may then take the foreground itself.
    ::AllowSetForegroundWindow(otherProcess_);
    if (::IsIconic(search.found)) {
        // Posted, not sent: a first instance that does not answer must not
        // hang the one that is starting. The window becomes the foreground
        // once it is restored: made the foreground while still minimized, it
        // opens without the keyboard focus.
        ::ShowWindowAsync(search.found, SW_RESTORE);
        for (int i = 0; i < 50 && ::IsIconic(search.found); ++i) ::Sleep(20);
    }
    ::SetForegroundWindow(search.found);
    ::PostMessageW(search.found, BroughtForwardMessage(), 0, 0);
}

UINT TSingleAppInstance::BroughtForwardMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"OmbrelInstanceBroughtForward");
    return message;
}

}  // namespace omb
