// The windows of the controls, found by handle, and the parking window.
// Internal to the form library: the control code, its layout and its
// message routing share this table.
#pragma once

#include <windows.h>

namespace omb::forms {

class TControl;

// The controls' windows by handle, looked up here in the process: a window
// property would ask Wine's server on every message that names a child
// (every WM_CTLCOLOR* of a paint, every notification).
// A system control's window keeps the procedure it had before this
// library's (its own class's, as a rule), which handles what this library
// does not.
struct TControlWindow {
    TControl* control = nullptr;
    WNDPROC original = nullptr;
    // Being destroyed by its control: still handled by it, no longer found
    // by FromHandle.
    bool going = false;
};

void RememberControlWindow(HWND window, TControl* control);
void RememberOriginalProc(HWND window, TControl* control, WNDPROC original);
// Being destroyed by its control: still handled, no longer found.
void MarkControlWindowGoing(HWND window);
void ForgetControlWindow(HWND window);
TControlWindow ControlWindowOf(HWND window);
// The control of a window, none while its control destroys it.
TControl* ControlOfWindow(HWND window);

// A window about to be hidden or parked hands the keyboard focus to its
// top-level window (see the definition).
void HandFocusToTopLevel(HWND window);

}  // namespace omb::forms
