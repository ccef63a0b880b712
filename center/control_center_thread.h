// The command center's worker: the only server of the command channel. It
// answers each hooked process's question which rule applies to a window
// (command 1) and carries out the editor's commands: configuration saved (2),
// stop (3), settings changed (4).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "extender/thread.h"
#include "foundation/channel.h"

namespace omb {

class TCCApp;

// The rule command text for a window, read from the configuration the
// command center holds; answers empty while none is loaded.
struct IRuleSource {
    virtual std::string FindWindowCommand(HWND window) = 0;

protected:
    ~IRuleSource() = default;
};

class TControlCenterThread : public TThread {
public:
    // Created suspended; the application resumes it.
    TControlCenterThread(IRuleSource* rules, TCCApp* app);
    ~TControlCenterThread() override;

    // Command 1: the data must be one 4-byte window handle.
    void HandleRequest(const std::string& data);

protected:
    void Execute() override;

private:
    IRuleSource* rules_;
    TCCApp* app_;
    TProcessesCommunication channel_;
};

}  // namespace omb
