// tbhook.dll: the hook library. Loaded into every process with windows by the
// command center's system-wide hook; see extender/library.h for what loading
// and unloading do.
#include <windows.h>

#include "extender/library.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            omb::ea::LibraryStartup(instance);
            break;
        case DLL_PROCESS_DETACH:
            // A non-null reserved pointer: the process is ending.
            omb::ea::LibraryShutdown(reserved != nullptr);
            break;
        default:
            break;
    }
    return TRUE;
}
