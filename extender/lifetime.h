// The library's own state while it lives in a process: whether it is going
// away, and which window calls may still wait for another thread.
#pragma once

#include <windows.h>

namespace omb::ea {

// Set when the library starts to unload (and by tests): workers make no
// further attempt, and nothing new is started.
bool LibraryStopping();
void SetLibraryStopping(bool value);

// Whether a call that waits for the window's thread or runs its procedure (a
// sent message, a message box, a window change) may be made now: only while
// the library is not unloading, because unloading runs under the loader
// lock, where a modal loop or a wait for another thread may never end.
bool MayWaitForWindow();

// Whether the window belongs to this process.
bool IsOwnProcessWindow(HWND window);
// Whether the calling thread is the window's own: only there a call that
// runs the window's procedure (a message box it owns, a new placement) is
// made; another thread never waits for the window's.
bool IsWindowThread(HWND window);

}  // namespace omb::ea
