// The door through which the hook library enters a process: the exported
// hook procedure (a system-wide call-window-procedure hook) and the hook
// handle it passes on.
#pragma once

#include <windows.h>

#include <string>

// Exported by name (ordinal 1). Notices new top-level and tool windows
// (WM_CREATE), the command center's WM_APPLY_RULES and WM_CONFIG_CHANGED,
// and WM_DESTROY, for windows of this process only; every other message
// only goes on to the next hook. No exception leaves it.
extern "C" LRESULT CALLBACK CallProcHook(int code, WPARAM wParam, LPARAM lParam) noexcept;

namespace omb::ea {

// Class names of hidden utility windows that are never handled, each between
// two ";" (entries with "0x######## " hold those characters literally).
extern const char* const kExcludedWindowClasses;
// Whether ";" + name + ";" stands in the list (case matters); an empty name
// is excluded too.
bool IsExcludedWindowClass(const std::string& className);

// Whether a window of this process is to be handled on WM_CREATE: a style
// without WS_CHILD, or else an extended style with WS_EX_TOOLWINDOW.
bool IsNewWindowToHandle(LONG style, LONG exStyle);

// The hook handle passed to CallNextHookEx: read once from the hook-handle
// block when the library starts (0 when there is none).
HHOOK HookHandle();
void SetHookHandle(HHOOK hook);
void ReadHookHandle();
// True when the library read a hook handle at start and the command center's
// block is gone since: the hook was removed, and no answer will come.
bool HookWithdrawn();

}  // namespace omb::ea
