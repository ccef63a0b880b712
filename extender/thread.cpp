#include "extender/thread.h"

#include <process.h>

namespace omb {

namespace {
// Dynamic initialisation runs on the thread that starts the program or loads
// the library.
std::atomic<DWORD> g_mainThreadId{::GetCurrentThreadId()};
}  // namespace

DWORD TThread::MainThreadId() {
    return g_mainThreadId.load();
}
void TThread::SetMainThreadId(DWORD id) {
    g_mainThreadId.store(id);
}

TThread::TThread() {
    unsigned id = 0;
    const uintptr_t h = ::_beginthreadex(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &id);
    if (h != 0) {
        handle_.reset(reinterpret_cast<HANDLE>(h));
        threadId_ = id;
    }
}

TThread::~TThread() {
    StopAndWait();
}

void TThread::Free(TThread* thread) {
    if (!thread) return;
    thread->StopAndWait();
    delete thread;
}

void TThread::StopAndWait() {
    if (!handle_ || finished_ || suspended_) return;
    if (::GetCurrentThreadId() == threadId_) return;  // freed by its own thread
    Terminate();
    WaitFor();
}

void TThread::Resume() {
    if (!handle_) return;
    // A thread that frees itself waits for this to finish before it does.
    ++resuming_;
    if (::ResumeThread(handle_.get()) == 1) suspended_ = false;
    --resuming_;
}

void TThread::Suspend() {
    suspended_ = true;
    if (handle_) ::SuspendThread(handle_.get());
}

DWORD TThread::WaitFor() {
    HANDLE h = handle_.get();
    if (!h) return DWORD(returnValue_.load());
    if (::GetCurrentThreadId() == MainThreadId()) {
        HANDLE handles[1] = {h};
        while (::MsgWaitForMultipleObjects(1, handles, FALSE, INFINITE, QS_SENDMESSAGE) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // delivers sent messages
        }
    } else {
        ::WaitForSingleObject(h, INFINITE);
    }
    DWORD code = 0;
    ::GetExitCodeThread(h, &code);
    return code;
}

unsigned __stdcall TThread::ThreadProc(void* parameter) noexcept {
    auto* thread = static_cast<TThread*>(parameter);
    try {
        thread->Execute();
    } catch (...) {
    }
    // Read before the object may go away.
    const bool freeIt = thread->freeOnTerminate_;
    const int32_t result = thread->returnValue_;
    HMODULE module = thread->exitModule_;
    thread->finished_ = true;
    if (freeIt) {
        while (thread->resuming_.load() > 0) ::SwitchToThread();
        try {
            delete thread;
        } catch (...) {
        }
    }
    if (module) ::FreeLibraryAndExitThread(module, static_cast<DWORD>(result));
    return static_cast<unsigned>(result);
}

}  // namespace omb
