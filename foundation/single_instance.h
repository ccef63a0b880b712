// One running instance of a program per desktop. The mark is a named block
// of 8 bytes in the page file (process id at 0, main thread id at 4) that the
// registered process creates and holds open until it ends; the block goes
// with the last open handle.
#pragma once

#include <windows.h>

#include <string>

namespace omb {

class TSingleAppInstance {
public:
    // Takes the ids of the calling process and thread (the main thread).
    explicit TSingleAppInstance(const std::string& blockName);

    // True when another process holds the name; false when this process is
    // now the registered one (or the block could be neither opened nor
    // created). The test and the registration are one step: of two processes
    // that start together exactly one registers.
    bool CheckAndRegister();
    // True when the block exists and names another process; reads only.
    bool IsOtherInstanceRunning();
    // Brings the first visible top-level window of the other process's
    // recorded thread to the foreground, restoring it when minimised, and
    // posts it BroughtForwardMessage.
    void ActivateFirstInstance();
    // Posted to the window brought forward: its own thread gives the
    // keyboard focus to it again, which a window made the foreground by
    // another process may lack (Wine leaves the display's input focus where
    // it was until the window's focus changes).
    static UINT BroughtForwardMessage();

    // The ids last read from the block (0 before).
    DWORD OtherProcessId() const { return otherProcess_; }
    DWORD OtherThreadId() const { return otherThread_; }

private:
    void TakeOwnIds();
    // Reads the ids from the block; false when it cannot be mapped.
    bool ReadIds(HANDLE mapping);

    std::string name_;
    DWORD ownProcess_ = 0;
    DWORD ownThread_ = 0;
    DWORD otherProcess_ = 0;
    DWORD otherThread_ = 0;
};

}  // namespace omb
