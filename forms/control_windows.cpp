// The windows of the controls by handle (a table of the process, guarded
// by a slim lock), the hidden parking window that holds the windows of
// controls without a parent, and the focus hand-over before a window is
// hidden or parked.
#include "forms/control_windows.h"

#include <unordered_map>

#include "forms/control.h"
#include "forms/helper_window.h"
#include "foundation/handles.h"

namespace omb::forms {

namespace {
SRWLOCK g_controlWindowsLock = SRWLOCK_INIT;
std::unordered_map<HWND, TControlWindow>& ControlWindows() {
    static auto* windows = new std::unordered_map<HWND, TControlWindow>();
    return *windows;
}
}  // namespace

void RememberControlWindow(HWND window, TControl* control) {
    SrwExclusive lock(g_controlWindowsLock);
    ControlWindows()[window].control = control;
}
void RememberOriginalProc(HWND window, TControl* control, WNDPROC original) {
    SrwExclusive lock(g_controlWindowsLock);
    ControlWindows()[window] = TControlWindow{control, original};
}
void MarkControlWindowGoing(HWND window) {
    SrwExclusive lock(g_controlWindowsLock);
    auto it = ControlWindows().find(window);
    if (it != ControlWindows().end()) it->second.going = true;
}
void ForgetControlWindow(HWND window) {
    SrwExclusive lock(g_controlWindowsLock);
    ControlWindows().erase(window);
}
TControlWindow ControlWindowOf(HWND window) {
    SrwShared lock(g_controlWindowsLock);
    auto it = ControlWindows().find(window);
    return it == ControlWindows().end() ? TControlWindow{} : it->second;
}
TControl* ControlOfWindow(HWND window) {
    const TControlWindow known = ControlWindowOf(window);
    return known.going ? nullptr : known.control;
}

HWND ParkingWindow() {
    static UniqueWindow parking;
    if (!parking) parking.reset(CreateHelperWindow({L"OmbFormsParking", &::DefWindowProcW}));
    return parking.get();
}

// A window about to be hidden or parked hands the keyboard focus, when it
// or one of its children holds it, to its top-level window. The system
// does so when a shown window is hidden, but not while a container's redraw
// is off (its windows count as hidden then): the focus would stay in the
// parking window, where the keys reach neither the window's own short-cuts
// nor any visible control.
void HandFocusToTopLevel(HWND window) {
    HWND focus = ::GetFocus();
    if (!window || !focus || (focus != window && !::IsChild(window, focus))) return;
    HWND root = ::GetAncestor(window, GA_ROOT);
    if (root && root != window && root != ParkingWindow()) ::SetFocus(root);
}

}  // namespace omb::forms
