#include "forms/extra_controls.h"

#include <algorithm>

#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

// --------------------------------------------------------------- splitter

const TPropTable& TSplitter::StaticProps() {
    static const TPropTable table{&TControl::StaticProps(),
                                  {IntProp<TSplitter, int>("MinSize", &TSplitter::MinSize, &TSplitter::SetMinSize)}};
    return table;
}

TSplitter::TSplitter(TComponent* owner) : TControl(owner) {
    SetAlign(TAlign::alLeft);
    SetWidth(5);
}

void TSplitter::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.exStyle = 0;
    params.style = WS_CHILD | WS_CLIPSIBLINGS;
}

bool TSplitter::Horizontal() const { return Align() == TAlign::alLeft || Align() == TAlign::alRight; }

TControl* TSplitter::FindNeighbour() const {
    TControl* parent = Parent();
    if (!parent) return nullptr;
    TControl* best = nullptr;
    for (size_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Control(i);
        if (c == this || !c->Visible() || c->Align() != Align()) continue;
        bool touches = false;
        switch (Align()) {
        case TAlign::alLeft: touches = c->Left() + c->Width() == Left(); break;
        case TAlign::alRight: touches = c->Left() == Left() + Width(); break;
        case TAlign::alTop: touches = c->Top() + c->Height() == Top(); break;
        case TAlign::alBottom: touches = c->Top() == Top() + Height(); break;
        default: break;
        }
        if (touches) best = c;
    }
    return best;
}

void TSplitter::StartDrag() {
    TControl* n = FindNeighbour();
    TControl* parent = Parent();
    if (!n || !parent) return;
    const DWORD pos = ::GetMessagePos();
    start_ = POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    const bool horizontal = Horizontal();
    startSize_ = horizontal ? n->Width() : n->Height();
    // What the other controls on this axis take stays theirs; what is
    // left keeps MinSize for the remaining (client) area.
    int taken = 0;
    for (size_t i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Control(i);
        if (c == n || !c->Visible()) continue;
        const TAlign a = c->Align();
        if (horizontal && (a == TAlign::alLeft || a == TAlign::alRight)) taken += c->Width();
        if (!horizontal && (a == TAlign::alTop || a == TAlign::alBottom)) taken += c->Height();
    }
    const int room = horizontal ? parent->ClientWidth() : parent->ClientHeight();
    maxSize_ = std::max(minSize_, room - taken - minSize_);
    neighbour_ = n;
    ::SetCapture(WindowHandle());
}

void TSplitter::DragTo(POINT screen) {
    if (!neighbour_) return;
    int delta = Horizontal() ? screen.x - start_.x : screen.y - start_.y;
    if (Align() == TAlign::alRight || Align() == TAlign::alBottom) delta = -delta;
    const int size = std::clamp(startSize_ + delta, minSize_, maxSize_);
    TControl* n = neighbour_;
    if (Horizontal()) {
        if (n->Width() != size) n->SetWidth(size);
    } else if (n->Height() != size) {
        n->SetHeight(size);
    }
    if (Parent() && Parent()->WindowHandle()) ::UpdateWindow(Parent()->WindowHandle());
}

void TSplitter::EndDrag() {
    if (!neighbour_) return;
    neighbour_ = nullptr;
    if (::GetCapture() == WindowHandle()) ::ReleaseCapture();
    Fire(OnMoved, this);
}

LRESULT TSplitter::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(Horizontal() ? IDC_SIZEWE : IDC_SIZENS)));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        StartDrag();
        break;
    case WM_MOUSEMOVE:
        if (neighbour_) {
            const DWORD pos = ::GetMessagePos();
            DragTo(POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))});
        }
        break;
    case WM_LBUTTONUP:
        if (neighbour_) {
            const DWORD pos = ::GetMessagePos();
            DragTo(POINT{static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))});
            EndDrag();
        }
        break;
    case WM_CAPTURECHANGED:
    case WM_CANCELMODE:
        // Capture lost without a release: the size reached stays.
        EndDrag();
        break;
    default:
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

// ------------------------------------------------------------- scroll box

void TScrollBox::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.style |= WS_VSCROLL;
}

int TScrollBox::ContentHeight() const {
    int stacked = 0, lowest = 0;
    for (size_t i = 0; i < ControlCount(); ++i) {
        const TControl* c = Control(i);
        if (!c->Visible()) continue;
        switch (c->Align()) {
        case TAlign::alTop:
        case TAlign::alBottom: stacked += c->Height(); break;
        case TAlign::alNone: lowest = std::max(lowest, c->Top() + pos_ + c->Height()); break;
        default: break;
        }
    }
    return std::max(stacked, lowest);
}

RECT TScrollBox::ClientRectForChildren() {
    RECT r = TControl::ClientRectForChildren();
    const int height = std::max(static_cast<int>(r.bottom - r.top), ContentHeight());
    r.top -= pos_;
    r.bottom = r.top + height;
    return r;
}

int TScrollBox::MaxPosition() { return std::max(0, ContentHeight() - ClientHeight()); }

int TScrollBox::LineHeight() const {
    TEXTMETRICW tm{};
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, FontHandle(Font()));
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return std::max(8, static_cast<int>(tm.tmHeight + tm.tmExternalLeading));
}

void TScrollBox::ScrollTo(int position) {
    const int target = std::clamp(position, 0, MaxPosition());
    const int delta = target - pos_;
    if (delta == 0) return;
    pos_ = target;
    // Children that are not aligned keep their places in the content.
    for (size_t i = 0; i < ControlCount(); ++i) {
        TControl* c = Control(i);
        if (c->Align() == TAlign::alNone) c->SetTop(c->Top() - delta);
    }
    Realign();
    if (HWND h = WindowHandle()) {
        ::SetScrollPos(h, SB_VERT, pos_, TRUE);
        ::InvalidateRect(h, nullptr, TRUE);
    }
}

void TScrollBox::ChildrenArranged() { UpdateScrollBar(); }

void TScrollBox::UpdateScrollBar() {
    HWND h = WindowHandle();
    if (!h || updating_) return;
    updating_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{updating_};
    // Showing or hiding the bar changes the width, and with it the
    // children's heights (word-wrapped ones): settle in a few rounds.
    for (int round = 0; round < 3; ++round) {
        const int width = ClientWidth();
        const int content = ContentHeight();
        const int page = ClientHeight();
        if (pos_ > std::max(0, content - page)) {
            const int delta = std::max(0, content - page) - pos_;
            pos_ += delta;
            for (size_t i = 0; i < ControlCount(); ++i)
                if (Control(i)->Align() == TAlign::alNone) Control(i)->SetTop(Control(i)->Top() - delta);
        }
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
        si.nMin = 0;
        si.nMax = std::max(0, content - 1);
        si.nPage = static_cast<UINT>(std::max(0, page));
        si.nPos = pos_;
        ::SetScrollInfo(h, SB_VERT, &si, TRUE);
        Realign();
        if (ClientWidth() == width && ContentHeight() == content) break;
    }
}

LRESULT TScrollBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_VSCROLL: {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_ALL;
        ::GetScrollInfo(WindowHandle(), SB_VERT, &si);
        const int page = ClientHeight(), line = LineHeight();
        int target = pos_;
        switch (LOWORD(wParam)) {
        case SB_LINEUP: target -= line; break;
        case SB_LINEDOWN: target += line; break;
        case SB_PAGEUP: target -= page; break;
        case SB_PAGEDOWN: target += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: target = si.nTrackPos; break;
        case SB_TOP: target = 0; break;
        case SB_BOTTOM: target = MaxPosition(); break;
        default: return 0;
        }
        ScrollTo(target);
        return 0;
    }
    case WM_MOUSEWHEEL: {
        UINT lines = 3;
        ::SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        if (lines == WHEEL_PAGESCROLL) lines = static_cast<UINT>(std::max(1, ClientHeight() / LineHeight()));
        const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        ScrollTo(pos_ - delta * static_cast<int>(lines) * LineHeight() / WHEEL_DELTA);
        return 0;
    }
    case WM_SIZE: {
        LRESULT r = TControl::WndProc(message, wParam, lParam);
        Realign();
        return r;
    }
    default:
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

// ------------------------------------------------------------------ image

const TPropTable& TImage::StaticProps() {
    static const TPropTable table{
        &TControl::StaticProps(),
        {BoolProp<TImage>("Transparent", &TImage::Transparent, &TImage::SetTransparent),
         BoolProp<TImage>("Center", &TImage::Center, &TImage::SetCenter)}};
    return table;
}

void TImage::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.exStyle = 0;
    params.style = WS_CHILD | WS_CLIPSIBLINGS;
}

void TImage::SetBitmap(HBITMAP bitmap) {
    bitmap_.reset(bitmap);
    Invalidate();
}

bool TImage::LoadFromResource(HINSTANCE module, const std::string& name) {
    const std::wstring wide = ToWide(name);
    HANDLE h = ::LoadImageW(module, wide.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (!h) return false;
    SetBitmap(static_cast<HBITMAP>(h));
    return true;
}

void TImage::SetTransparent(bool value) {
    transparent_ = value;
    Invalidate();
}

void TImage::SetCenter(bool value) {
    center_ = value;
    Invalidate();
}

void TImage::Paint(HDC dc, const RECT&) {
    HBITMAP bmp = Bitmap();
    BITMAP info{};
    if (!bmp || !::GetObjectW(bmp, sizeof(info), &info)) return;
    const int w = info.bmWidth, h = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    RECT rc;
    ::GetClientRect(WindowHandle(), &rc);
    const int x = center_ ? (rc.right - w) / 2 : 0, y = center_ ? (rc.bottom - h) / 2 : 0;
    MemoryDC mem(dc, bmp);
    if (!mem) return;
    if (transparent_) {
        const COLORREF key = ::GetPixel(mem.get(), 0, h - 1);
        ::TransparentBlt(dc, x, y, w, h, mem.get(), 0, 0, w, h, key);
    } else {
        ::BitBlt(dc, x, y, w, h, mem.get(), 0, 0, SRCCOPY);
    }
}

LRESULT TImage::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCHITTEST && !OnClick && !OnMouseUp && !OnMouseDown) return HTTRANSPARENT;
    if (message == WM_LBUTTONUP) {
        LRESULT r = TControl::WndProc(message, wParam, lParam);
        Click();
        return r;
    }
    return TControl::WndProc(message, wParam, lParam);
}

// ------------------------------------------------------------- link label

TLinkLabel::TLinkLabel(TComponent* owner) : TLabel(owner) {
    wantReturn_ = true;
    SetTabStop(false);
}

TFontSpec TLinkLabel::DrawingFont() const {
    TFontSpec font = Font();
    font.underline = true;
    if (font.color == CLR_INVALID) font.color = kLinkColor;
    return font;
}

void TLinkLabel::Paint(HDC dc, const RECT& clip) {
    TLabel::Paint(dc, clip);
    if (Focused()) {
        RECT rc;
        ::GetClientRect(WindowHandle(), &rc);
        ::DrawFocusRect(dc, &rc);
    }
}

LRESULT TLinkLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        if (TabStop()) ::SetFocus(WindowHandle());
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_SPACE) {
            Click();
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Invalidate();
        break;
    default:
        break;
    }
    return TLabel::WndProc(message, wParam, lParam);
}

}  // namespace omb::forms
