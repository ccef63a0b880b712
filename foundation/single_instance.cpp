#include "foundation/single_instance.h"

#include <cstring>
#include <utility>
#include <vector>

#include "foundation/handles.h"

namespace omb {

namespace {

constexpr DWORD kBlockSize = 8;

// Registrations last until the process ends: their blocks stay open here.
void KeepUntilExit(UniqueHandle block) {
    static SRWLOCK lock = SRWLOCK_INIT;
    static std::vector<UniqueHandle>* kept = new std::vector<UniqueHandle>;  // never freed
    SrwExclusive guard(lock);
    kept->push_back(std::move(block));
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
    if (!view) return false;
    const auto* ids = static_cast<const volatile DWORD*>(view.get());
    // A block found the moment its creator made it may not hold the ids yet;
    // the creator writes them right after creating it.
    for (int i = 0; i < 50 && ids[0] == 0; ++i) ::Sleep(2);
    otherProcess_ = ids[0];
    otherThread_ = ids[1];
    return true;
}

bool TSingleAppInstance::CheckAndRegister() {
    TakeOwnIds();
    // Create or open in one step: the creator is the one that registers.
    ::SetLastError(ERROR_SUCCESS);
    UniqueHandle block(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize, name_.c_str()));
    if (!block) {
        // It may exist and still be readable (made by somebody with other
        // rights); otherwise nothing can be said.
        UniqueHandle existing(::OpenFileMappingA(FILE_MAP_READ, FALSE, name_.c_str()));
        if (!existing || !ReadIds(existing.get())) return false;
        return otherProcess_ != ownProcess_;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        if (!ReadIds(block.get())) return false;
        return otherProcess_ != ownProcess_;
    }
    UniqueView view(::MapViewOfFile(block.get(), FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (!view) return false;  // the block closes with its handle
    DWORD ids[2] = {ownProcess_, ownThread_};
    std::memcpy(view.get(), ids, sizeof(ids));
    view.reset();
    KeepUntilExit(std::move(block));
    return false;
}

bool TSingleAppInstance::IsOtherInstanceRunning() {
    TakeOwnIds();
    UniqueHandle block(::OpenFileMappingA(FILE_MAP_READ, FALSE, name_.c_str()));
    if (!block || !ReadIds(block.get())) return false;
    return otherProcess_ != ownProcess_;
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
