// Message routing of the controls: the window procedures that find a
// control by its window (its own class's, and the one that replaces a
// system control's procedure), the handling every control shares, and the
// container's hand-over of WM_COMMAND, WM_NOTIFY and WM_CTLCOLOR* to the
// control that sent them.
#include "forms/control.h"

#include <commctrl.h>

#include "forms/application.h"
#include "forms/control_windows.h"
#include "forms/form.h"

namespace omb::forms {

void TControl::Paint(HDC, const RECT&) {}

HBRUSH TControl::CtlColor(HDC dc) {
    const COLORREF color = BackgroundColor();
    if (!backBrush_ || backBrushColor_ != color) {
        if (backBrush_) ::DeleteObject(backBrush_);
        backBrush_ = ::CreateSolidBrush(color);
        backBrushColor_ = color;
    }
    ::SetBkColor(dc, color);
    if (font_.color != CLR_INVALID) ::SetTextColor(dc, font_.color);
    return backBrush_;
}

bool TControl::HandleCommand(WORD) { return false; }

bool TControl::HandleNotify(NMHDR*, LRESULT&) { return false; }

TControl* TControl::FromHandle(HWND window) {
    for (HWND w = window; w; w = ::GetAncestor(w, GA_PARENT)) {
        if (TControl* c = ControlOfWindow(w)) return c;
        if (!(::GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD)) break;
    }
    return nullptr;
}

LRESULT TControl::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hwnd_) return 0;
    if (ownClass_) return ::DefWindowProcW(hwnd_, message, wParam, lParam);
    return ::CallWindowProcW(originalProc_ ? originalProc_ : classProc_, hwnd_, message, wParam, lParam);
}

LRESULT TControl::HandleContainerMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = false;
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            if (TControl* c = FromHandle(reinterpret_cast<HWND>(lParam)); c && c != this) {
                handled = c->HandleCommandItem(LOWORD(wParam), HIWORD(wParam));
                return 0;
            }
        } else if (HIWORD(wParam) == 0 || HIWORD(wParam) == 1) {
            handled = DispatchMenuCommand(LOWORD(wParam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        LRESULT result = 0;
        TControl* c = FromHandle(header->hwndFrom);
        if (!c) c = ToolTipOwner(header->hwndFrom);
        if (c && c != this) {
            handled = c->HandleNotify(header, result);
            return result;
        }
        break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        if (TControl* c = FromHandle(reinterpret_cast<HWND>(lParam)); c && c != this) {
            HBRUSH b = c->CtlColor(reinterpret_cast<HDC>(wParam));
            if (b) {
                handled = true;
                return reinterpret_cast<LRESULT>(b);
            }
        }
        break;
    default:
        break;
    }
    return 0;
}

LRESULT TControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    bool handled = false;
    LRESULT r = HandleContainerMessage(message, wParam, lParam, handled);
    if (handled) return r;
    switch (message) {
    case WM_CLOSE:
        // A child never closes itself: a multi-line edit posts this to its
        // parent on Esc, and the default would destroy the parent's window
        // under its object. Forms handle it themselves.
        if (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD) return 0;
        break;
    case WM_ERASEBKGND:
        if (ownClass_) {
            RECT rc;
            ::GetClientRect(hwnd_, &rc);
            ::FillRect(reinterpret_cast<HDC>(wParam), &rc, CtlColor(reinterpret_cast<HDC>(wParam)));
            return 1;
        }
        break;
    case WM_PAINT:
        if (ownClass_) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd_, &ps);
            Paint(dc, ps.rcPaint);
            ::EndPaint(hwnd_, &ps);
            return 0;
        }
        break;
    case WM_PRINTCLIENT:
        if (ownClass_) {
            RECT rc;
            ::GetClientRect(hwnd_, &rc);
            HDC dc = reinterpret_cast<HDC>(wParam);
            ::FillRect(dc, &rc, CtlColor(dc));
            Paint(dc, rc);
            return 0;
        }
        break;
    case WM_WINDOWPOSCHANGED: {
        LRESULT res = DefaultProc(message, wParam, lParam);
        auto* pos = reinterpret_cast<WINDOWPOS*>(lParam);
        if (!(pos->flags & SWP_NOSIZE) || !(pos->flags & SWP_NOMOVE)) {
            RECT r;
            ::GetWindowRect(hwnd_, &r);
            if (::GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_CHILD)
                ::MapWindowPoints(HWND_DESKTOP, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&r), 2);
            const TBounds actual{r.left, r.top, r.right - r.left, r.bottom - r.top};
            const bool iconic = ::IsIconic(hwnd_) != FALSE;
            if (actual != bounds_ && !iconic) {
                const bool sized = actual.width != bounds_.width || actual.height != bounds_.height;
                bounds_ = actual;
                if (parent_ && align_ != TAlign::alNone) parent_->RequestRealign();
                if (sized) Resize();
            } else if (!(pos->flags & SWP_NOSIZE)) {
                ArrangeNow();
            }
        }
        return res;
    }
    case WM_SETFOCUS: {
        LRESULT res = DefaultProc(message, wParam, lParam);
        DoEnter();
        return res;
    }
    case WM_KILLFOCUS: {
        LRESULT res = DefaultProc(message, wParam, lParam);
        DoExit();
        return res;
    }
    case WM_GETDLGCODE: {
        LRESULT res = DefaultProc(message, wParam, lParam);
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (wantReturn_ && msg && (msg->message == WM_KEYDOWN || msg->message == WM_CHAR) &&
            msg->wParam == VK_RETURN)
            res |= DLGC_WANTALLKEYS;
        return res;
    }
    case WM_CHAR:
        if (OnKeyPress) {
            wchar_t key = static_cast<wchar_t>(wParam);
            Fire(OnKeyPress, this, key);
            if (key == 0) return 0;
            wParam = key;
        }
        break;
    case WM_KEYDOWN:
        if (OnKeyDown) {
            WORD key = static_cast<WORD>(wParam);
            unsigned shift = (::GetKeyState(VK_SHIFT) < 0 ? ssShift : 0) |
                             (::GetKeyState(VK_CONTROL) < 0 ? ssCtrl : 0) |
                             (::GetKeyState(VK_MENU) < 0 ? ssAlt : 0);
            Fire(OnKeyDown, this, key, shift);
            if (key == 0) return 0;
            wParam = key;
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        LRESULT res = DefaultProc(message, wParam, lParam);
        const bool down = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
        const TMouseButton button = (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) ? mbLeft
                                    : (message == WM_RBUTTONDOWN || message == WM_RBUTTONUP) ? mbRight
                                                                                             : mbMiddle;
        unsigned shift = ((wParam & MK_SHIFT) ? ssShift : 0) | ((wParam & MK_CONTROL) ? ssCtrl : 0) |
                         ((wParam & MK_LBUTTON) ? ssLeft : 0) | ((wParam & MK_RBUTTON) ? ssRight : 0);
        const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
        if (down)
            Fire(OnMouseDown, this, button, shift, x, y);
        else
            Fire(OnMouseUp, this, button, shift, x, y);
        return res;
    }
    case WM_MOUSEMOVE:
        if (OnMouseMove) {
            LRESULT res = DefaultProc(message, wParam, lParam);
            Fire(OnMouseMove, this, 0u, static_cast<int>(static_cast<short>(LOWORD(lParam))),
                 static_cast<int>(static_cast<short>(HIWORD(lParam))));
            return res;
        }
        break;
    default:
        break;
    }
    return DefaultProc(message, wParam, lParam);
}

LRESULT TControl::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    return WndProc(message, wParam, lParam);
}

LRESULT CALLBACK TControl::StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    TControl* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<TControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<TControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self || self->hwnd_ != hwnd) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        RemoveToolTip(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        ForgetControlWindow(hwnd);
        self->hwnd_ = nullptr;
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    try {
        return self->Dispatch(message, wParam, lParam);
    } catch (...) {
        Application().HandleException(std::current_exception());
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK TControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    const TControlWindow known = ControlWindowOf(hwnd);
    TControl* self = known.control;
    const WNDPROC original =
        known.original ? known.original : reinterpret_cast<WNDPROC>(::GetClassLongPtrW(hwnd, GCLP_WNDPROC));
    if (message == WM_NCDESTROY) {
        RemoveToolTip(hwnd);
        ForgetControlWindow(hwnd);
        if (self && self->hwnd_ == hwnd) self->hwnd_ = nullptr;
        return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    if (!self || self->hwnd_ != hwnd) return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
    try {
        return self->Dispatch(message, wParam, lParam);
    } catch (...) {
        Application().HandleException(std::current_exception());
        return ::CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
}

}  // namespace omb::forms
