#include "forms/find_window.h"

#include <exception>

#include "forms/application.h"
#include "forms/helper_window.h"
#include "foundation/handles.h"

namespace omb::forms {

namespace {

constexpr wchar_t kOutlineClass[] = L"OmbFinderOutline";

// Draws a bitmap at 0,0 leaving out the colour of its bottom-left pixel.
void DrawTransparent(HDC dc, HBITMAP bitmap) {
    if (!bitmap) return;
    BITMAP info{};
    if (!::GetObjectW(bitmap, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return;
    MemoryDC source(dc, bitmap);
    if (!source.get()) return;
    const COLORREF transparent = ::GetPixel(source.get(), 0, info.bmHeight - 1);
    ::TransparentBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source.get(), 0, 0, info.bmWidth, info.bmHeight,
                     transparent);
}

HBITMAP LoadBitmapResource(const wchar_t* name) {
    return static_cast<HBITMAP>(
        ::LoadImageW(::GetModuleHandleW(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace

HWND TopLevelWindowOf(HWND window) {
    while (window && (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) {
        HWND parent = ::GetParent(window);
        if (!parent) break;
        window = parent;
    }
    return window;
}

// ---------------------------------------------------------------- outline

LRESULT CALLBACK TWindowOutline::WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
        case WM_NCHITTEST:
            // Click-through: the window-from-point test and the mouse pass
            // to the window below.
            return HTTRANSPARENT;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_ERASEBKGND: {
            RECT rc;
            ::GetClientRect(hwnd, &rc);
            UniqueGdiObject brush(::CreateSolidBrush(kFinderOutlineColor));
            ::FillRect(reinterpret_cast<HDC>(wParam), &rc, static_cast<HBRUSH>(brush.get()));
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd, &ps);
            UniqueGdiObject brush(::CreateSolidBrush(kFinderOutlineColor));
            ::FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(brush.get()));
            ::EndPaint(hwnd, &ps);
            return 0;
        }
        default:
            break;
        }
    } catch (...) {
        Application().HandleException(std::current_exception());
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void TWindowOutline::Show(HWND window) {
    RECT r{0, 0, 0, 0};
    if (!window || !::IsWindow(window) || !::GetWindowRect(window, &r) || ::IsRectEmpty(&r)) {
        Hide();
        return;
    }
    if (!popup_) {
        popup_.reset(CreateHelperWindow({kOutlineClass, &TWindowOutline::WndProc},
                                        WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE));
        if (!popup_) return;
        placed_ = RECT{0, 0, 0, 0};
    }
    HWND h = popup_.get();
    const int width = r.right - r.left, height = r.bottom - r.top;
    bool changed = !::EqualRect(&r, &placed_);
    if (changed) {
        // The frame: the whole rectangle less the inside, so each pixel of
        // the edge is covered once.
        HRGN frame = ::CreateRectRgn(0, 0, width, height);
        UniqueGdiObject inside(::CreateRectRgn(kFinderOutlineWidth, kFinderOutlineWidth,
                                               width - kFinderOutlineWidth, height - kFinderOutlineWidth));
        if (frame && inside && width > 2 * kFinderOutlineWidth && height > 2 * kFinderOutlineWidth)
            ::CombineRgn(frame, frame, static_cast<HRGN>(inside.get()), RGN_DIFF);
        ::SetWindowPos(h, HWND_TOPMOST, r.left, r.top, width, height, SWP_NOACTIVATE);
        if (frame && !::SetWindowRgn(h, frame, TRUE)) ::DeleteObject(frame);  // the system owns it on success
        placed_ = r;
    }
    if (!::IsWindowVisible(h)) {
        ::SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        changed = true;
    }
    if (changed) ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void TWindowOutline::Hide() {
    if (popup_ && ::IsWindowVisible(popup_.get())) ::ShowWindow(popup_.get(), SW_HIDE);
}

bool TWindowOutline::Visible() const { return popup_ && ::IsWindowVisible(popup_.get()); }

// ----------------------------------------------------------------- finder

const TPropTable& TFindWindow::StaticProps() {
    static const TPropTable table{
        &TControl::StaticProps(),
        {BoolProp<TFindWindow>("SelectedChildWindow", &TFindWindow::SelectedChildWindow,
                               &TFindWindow::SetSelectedChildWindow)}};
    return table;
}

TFindWindow::TFindWindow(TComponent* owner) : TControl(owner) {
    TControl::SetBounds(0, 0, 32, 32);
    onBitmap_.reset(LoadBitmapResource(L"FINDWINDOWON"));
    offBitmap_.reset(LoadBitmapResource(L"FINDWINDOWOFF"));
    // A cursor loaded from resources is shared: it is never destroyed.
    dragCursor_ = ::LoadCursorW(::GetModuleHandleW(nullptr), L"FINDWINDOWCURSOR");
    if (!dragCursor_) dragCursor_ = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS));
}

TFindWindow::~TFindWindow() {
    EndDrag();
}

void TFindWindow::SetBounds(int left, int top, int, int) { TControl::SetBounds(left, top, 32, 32); }

void TFindWindow::SetHint(const std::string& hint) {
    TControl::SetHint(hint);
    SetText(hint);
}

void TFindWindow::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.exStyle = 0;
}

void TFindWindow::SetSelectedChildWindow(bool value) {
    if (selectedChildWindow_ == value) return;
    selectedChildWindow_ = value;
    // During a drag the outline follows the new choice at once.
    if (dragging_ && WindowHandle()) {
        POINT pt;
        ::GetCursorPos(&pt);
        ::ScreenToClient(WindowHandle(), &pt);
        MouseMoved(pt);
    }
}

void TFindWindow::Paint(HDC dc, const RECT&) {
    DrawTransparent(dc, static_cast<HBITMAP>(dragging_ ? onBitmap_.get() : offBitmap_.get()));
}

void TFindWindow::BeginDrag() {
    if (dragging_) return;
    HWND h = WindowHandle();
    dragging_ = true;
    current_ = selected_ = nullptr;
    ::SetCapture(h);
    savedCursor_ = ::SetCursor(dragCursor_);
    // Tooltips would pop up over the windows the user drags across.
    DeactivateToolTips(true);
    ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void TFindWindow::EndDrag() {
    if (!dragging_) return;
    dragging_ = false;
    // The outline goes first: a window closed meanwhile leaves nothing to
    // remove, and hiding our own popup never touches it.
    outline_.Hide();
    current_ = selected_ = nullptr;
    ::SetCursor(savedCursor_ ? savedCursor_ : ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    savedCursor_ = nullptr;
    HWND h = WindowHandle();
    if (h && ::GetCapture() == h) ::ReleaseCapture();  // its WM_CAPTURECHANGED finds the drag over
    DeactivateToolTips(false);
    if (h) ::RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void TFindWindow::HighlightWindow(HWND window) {
    if (!dragging_ || window == current_) return;
    current_ = selected_ = window;
    outline_.Show(window);
}

void TFindWindow::MouseMoved(POINT client) {
    HWND h = WindowHandle();
    if (!dragging_ || !h || ::GetCapture() != h) return;
    // The outlined window has closed: start afresh.
    if (current_ && !::IsWindow(current_)) {
        outline_.Hide();
        current_ = selected_ = nullptr;
    }
    POINT pt = client;
    ::ClientToScreen(h, &pt);
    HWND window = ::WindowFromPoint(pt);
    if (!window || window == outline_.Handle()) return;
    if (!selectedChildWindow_) window = TopLevelWindowOf(window);
    if (window == current_) {
        outline_.Show(current_);  // follows a window that moved
        return;
    }
    bool cancel = false;
    Fire(BeforeSelectWindow, this, window, cancel);
    // Refused, or replaced by nothing usable: the previous outline stays.
    if (cancel || !dragging_ || !window || !::IsWindow(window) || window == current_) return;
    HighlightWindow(window);
    Fire(AfterSelectWindow, this, selected_);
}

LRESULT TFindWindow::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDBLCLK:
        // A second press soon after the first is a double click for the
        // system; for the user it is another drag.
        message = WM_LBUTTONDOWN;
        [[fallthrough]];
    case WM_LBUTTONDOWN: {
        LRESULT r = TControl::WndProc(message, wParam, lParam);
        BeginDrag();
        return r;
    }
    case WM_MOUSEMOVE: {
        LRESULT r = TControl::WndProc(message, wParam, lParam);
        MouseMoved(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return r;
    }
    case WM_LBUTTONUP: {
        LRESULT r = TControl::WndProc(message, wParam, lParam);
        EndDrag();
        return r;
    }
    case WM_CAPTURECHANGED:
        // Another window took the mouse (a dialog, Alt+Tab, SetCapture):
        // the drag ends as at a release.
        if (reinterpret_cast<HWND>(lParam) != WindowHandle()) EndDrag();
        return 0;
    case WM_CANCELMODE:
        EndDrag();
        return DefaultProc(message, wParam, lParam);
    case WM_SETCURSOR:
        if (dragging_) {
            ::SetCursor(dragCursor_);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        EndDrag();
        break;
    default:
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

}  // namespace omb::forms
