// The module that holds the library's code: its instance, and the holds that
// keep it loaded.
//
// A rule of the library: the module's last reference is never released while
// any of its code may still run in a host: a window procedure of ours in a
// window (a bound or passing-through subclass slot, a timer's window), or a
// message being dispatched through one. Each such thing takes a hold while it
// exists; the first hold takes one reference on the module, the last one
// gives it back. Giving it back from inside the library would return into
// code that may be unmapped by then, so the last hold is given back by a
// thread of its own, once no thread is inside a procedure of ours nor on its
// way out of one (module.cpp).
#pragma once

#include <windows.h>

namespace omb::ea {

// The instance set by SetLibraryInstance (the hook library's entry sets its
// own), otherwise the module that holds this code.
HINSTANCE LibraryInstance();
void SetLibraryInstance(HINSTANCE instance);
// A counted reference on the module that holds this code (nullptr when none
// could be taken); the caller gives it back with FreeLibrary.
HMODULE ReferenceOwnModule();

// Takes a hold on the module; each is given back once with ReleaseLibraryHold.
void HoldLibrary();
void ReleaseLibraryHold();
// Holds taken and not given back.
long LibraryHolds();

// Some holds end only once a window or a thread is gone, and nothing tells
// the library when that happens: a subclass slot left passing messages
// through a window, a timer handed to a thread that ended before it took
// it. A thread of the library's own looks for them: every half second it
// runs each sweep given here, which frees what it may and answers whether
// anything is left to watch. A sweep that found nothing left is dropped,
// unless it was given again since it started; the thread holds a reference
// on the module while it runs and ends once no sweep is left. A sweep never
// throws and takes only locks of its own.
using TLeftoverSweep = bool (*)() noexcept;
void WatchLeftovers(TLeftoverSweep sweep);

// Marks a procedure of ours that runs for the system (a window procedure,
// the hook procedure) from its first to its last statement: the last hold is
// given back only while none runs, however long one runs. Declared as the
// procedure's first local, so that nothing is called after it counts out.
class TLibraryCall {
public:
    TLibraryCall() noexcept;
    ~TLibraryCall();
    TLibraryCall(const TLibraryCall&) = delete;
    TLibraryCall& operator=(const TLibraryCall&) = delete;
};

}  // namespace omb::ea
