#include "center/reload_thread.h"

#include "center/cc_app.h"

#include <utility>

namespace omb {

namespace {
// How often a thread without its event looks for work.
constexpr DWORD kPollMs = 100;
}  // namespace

TReloadThread::TReloadThread(TCCApp* app) : TReloadThread(app, UniqueHandle(::CreateEventA(nullptr, FALSE, FALSE, nullptr))) {}

TReloadThread::TReloadThread(TCCApp* app, UniqueHandle wake) : app_(app), wake_(std::move(wake)) {}

TReloadThread::~TReloadThread() = default;

void TReloadThread::RequestReload() {
    reload_ = true;
    if (wake_) ::SetEvent(wake_.get());
}

void TReloadThread::RequestNotify() {
    notify_ = true;
    if (wake_) ::SetEvent(wake_.get());
}

void TReloadThread::Stop() {
    Terminate();
    if (wake_) ::SetEvent(wake_.get());
}

void TReloadThread::Execute() {
    ComInit com;  // loading builds XML documents here
    // Loading competes for the processor with the worker, never the other
    // way round.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    while (!Terminated()) {
        // Without its event the wait would fail at once, every time.
        if (!wake_ || ::WaitForSingleObject(wake_.get(), 1000) == WAIT_FAILED) ::Sleep(kPollMs);
        if (Terminated()) break;
        const bool reload = reload_.exchange(false);
        const bool notify = notify_.exchange(false);
        try {
            if (reload)
                app_->ReloadConfiguration();
            else if (notify)
                app_->TellWindows();
        } catch (...) {
            // The thread goes on whatever a reload did.
        }
    }
}

}  // namespace omb
