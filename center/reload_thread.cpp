#include "center/reload_thread.h"

#include "center/cc_app.h"

namespace omb {

TReloadThread::TReloadThread(TCCApp* app) : app_(app), wake_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

TReloadThread::~TReloadThread() = default;

void TReloadThread::RequestReload() {
    reload_ = true;
    ::SetEvent(wake_.get());
}

void TReloadThread::RequestNotify() {
    notify_ = true;
    ::SetEvent(wake_.get());
}

void TReloadThread::Stop() {
    Terminate();
    ::SetEvent(wake_.get());
}

void TReloadThread::Execute() {
    ComInit com;  // loading builds XML documents here
    // Loading competes for the processor with the worker, never the other
    // way round.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    while (!Terminated()) {
        ::WaitForSingleObject(wake_.get(), 1000);
        if (Terminated()) break;
        const bool reload = reload_.exchange(false);
        const bool notify = notify_.exchange(false);
        try {
            if (reload)
                app_->ReloadConfiguration();
            else if (notify)
                app_->NotifyWindows();
        } catch (...) {
            // The thread goes on whatever a reload did.
        }
    }
}

}  // namespace omb
