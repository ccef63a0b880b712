// The window classes of the form library and its helper windows, made one
// way: a class is registered on its first use (once a process), and a
// helper window (the parking window, the menus' owner, the hook list's
// message window, the finder's outline) is a window of such a class.
#pragma once

#include <windows.h>

namespace omb::forms {

struct TWindowClassSpec {
    const wchar_t* name;
    WNDPROC proc;
    UINT style = 0;
    HCURSOR cursor = nullptr;
};

// Registers the class unless this program has it already.
void RegisterWindowClassOnce(const TWindowClassSpec& spec);

// A window of the class, registered first when needed: by default a hidden
// tool window that never shows in the task bar; with HWND_MESSAGE as
// parent a message-only window. `param` reaches WM_NCCREATE. Null when the
// system refuses.
HWND CreateHelperWindow(const TWindowClassSpec& spec, DWORD exStyle = WS_EX_TOOLWINDOW, DWORD style = WS_POPUP,
                        HWND parent = nullptr, void* param = nullptr);

}  // namespace omb::forms
