// Start-up and unload of the hook library in a process.
//
// Loading (process attach) does only what is safe under the loader lock:
// the item registry with every registration, the application object (no
// channel, no window), the process kind and the hook handle. The window
// manager's part (the registered messages) waits for the first call of the
// hook procedure, once, on whatever thread makes it.
//
// Unloading (process detach after FreeLibrary) stops the workers' further
// attempts, takes every extender off its window (each window gets its former
// procedure back) and frees what start-up made. No worker can be running by
// then: each holds a reference on the module until its last instruction. At
// process exit nothing is done: the process's windows and threads are gone.
#pragma once

#include <windows.h>

namespace omb::ea {

// The type names a rule command text may use, registered in this order after
// "OPERATION" and "WINDOWEXTENDER": CLOSEWINDOWACTION, RUNMODEACTION,
// SAVESIZEPOSACTION, STAYONTOPACTION, CLOSEQUERYACTION, MESSAGEAGENT,
// WMCREATEMESSAGETRIGGER, WMDESTROYMESSAGETRIGGER.
void RegisterExtenderClasses();

void LibraryStartup(HINSTANCE instance);
void LibraryShutdown(bool processExit);

// Registers the shared window messages on first use; true once they are.
bool LibraryReady();

}  // namespace omb::ea
