// One running instance of a program per desktop. The mark is a named block
// of 12 bytes in the page file (process id at 0, main thread id at 4, state
// at 8) that the registered process creates and holds open until it ends or
// lets it go; the block goes with the last open handle.
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
    // that start together exactly one registers. A registration whose
    // process has ended or let it go is taken over; one whose process is
    // ending (MarkEnding) is waited for, at most `waitForEndingMs`, and
    // then taken over.
    bool CheckAndRegister(DWORD waitForEndingMs = 0);
    // True when the block exists and names another process that has not let
    // it go; reads only.
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

    // The registered process says that it is stopping: a process that starts
    // meanwhile waits for it rather than ending as a second instance.
    void MarkEnding();
    // The registered process lets its registration go before it ends.
    void Release();

    // The ids last read from the block (0 before).
    DWORD OtherProcessId() const { return otherProcess_; }
    DWORD OtherThreadId() const { return otherThread_; }

private:
    void TakeOwnIds();
    // Reads the ids and the state from the block; false when it cannot be
    // mapped.
    bool ReadIds(HANDLE mapping);
    // Writes the state into the block when this process is the registered one.
    void SetOwnState(DWORD state);

    std::string name_;
    DWORD ownProcess_ = 0;
    DWORD ownThread_ = 0;
    DWORD otherProcess_ = 0;
    DWORD otherThread_ = 0;
    DWORD otherState_ = 0;
};

}  // namespace omb
