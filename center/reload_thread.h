// The command center's reloads, away from the worker that serves the command
// channel: the new configuration is loaded aside while the old one keeps
// answering, and the windows are told with bounded waits, so neither a large
// configuration nor a hung window holds up a request.
#pragma once

#include <windows.h>

#include <atomic>

#include "extender/thread.h"
#include "foundation/handles.h"

namespace omb {

class TCCApp;

class TReloadThread : public TThread {
public:
    // Created suspended; the application resumes it.
    explicit TReloadThread(TCCApp* app);
    // The same with the event that wakes it given; without one (it could not
    // be created) the thread looks for work at short intervals.
    TReloadThread(TCCApp* app, UniqueHandle wake);
    ~TReloadThread() override;

    // Command 2: reload and tell the windows. Requests that arrive while a
    // reload runs make one more reload, which also ends the telling of the
    // windows for the superseded one.
    void RequestReload();
    // Tells the windows only (at start-up).
    void RequestNotify();
    // Asks the thread to end at the next step; Free waits for it.
    void Stop();
    // Whether the windows still being told may be left: a newer reload waits,
    // or the thread is to end.
    bool Superseded() const { return reload_.load() || Terminated(); }

protected:
    void Execute() override;

private:
    TCCApp* app_;
    UniqueHandle wake_;
    std::atomic<bool> reload_{false};
    std::atomic<bool> notify_{false};
};

}  // namespace omb
