// Controls: their lifetime (the window made on first need, destroyed in the
// destroy step while the whole object exists), their parent and children,
// and the properties that follow the window (text, font, colour, focus,
// redraw). Bounds and the placing of children are in control_layout.cpp,
// the window procedures in control_messages.cpp.
#include "forms/control.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "forms/application.h"
#include "forms/control_windows.h"
#include "forms/helper_window.h"
#include "forms/form.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

constexpr wchar_t kOwnClass[] = L"OmbFormsControl";
UINT nextChildId = 1000;

// A window given a parent comes first among its new siblings, yet the
// dialog keys walk the siblings in the parent's list order (a new window
// is made last among them): one added at the list's end goes last.
void PutLastAmongSiblings(HWND window) {
    ::SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace

// ---------------------------------------------------------------- TControl

const TPropTable& TControl::StaticProps() {
    static const TPropTable table{
        &TComponent::StaticProps(),
        {IntProp<TControl, int>("Left", &TControl::Left, &TControl::SetLeft),
         IntProp<TControl, int>("Top", &TControl::Top, &TControl::SetTop),
         IntProp<TControl, int>("Width", &TControl::Width, &TControl::SetWidth),
         IntProp<TControl, int>("Height", &TControl::Height, &TControl::SetHeight),
         EnumProp<TControl, TAlign>("Align", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"},
                                    &TControl::Align, &TControl::SetAlign),
         SetProp<TControl>("Anchors", {"akLeft", "akTop", "akRight", "akBottom"}, &TControl::Anchors,
                           &TControl::SetAnchors),
         BoolProp<TControl>("Enabled", &TControl::Enabled, &TControl::SetEnabled),
         BoolProp<TControl>("Visible", &TControl::Visible, &TControl::SetVisible),
         StrProp<TControl>("Hint", &TControl::Hint, &TControl::SetHint)}};
    return table;
}

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::~TControl() {
    MarkDestroying();
    // Reached no virtual function: a window still there (the object was
    // deleted without BeforeDestruction) is unlinked before it goes.
    ReleaseWindow();
    if (parent_) parent_->RemoveChild(this);
    if (backBrush_) ::DeleteObject(backBrush_);
}

void TControl::BeforeDestruction() {
    MarkDestroying();
    ParkChildren();
    DestroyHandle();
    TComponent::BeforeDestruction();
}

void TControl::ParkChildren() {
    // Children this control does not own stay alive; their windows go to
    // the parking window.
    while (!controls_.empty()) controls_.back()->SetParent(nullptr);
}

void TControl::ReleaseWindow() noexcept {
    ParkChildren();
    if (!hwnd_) return;
    const HWND h = hwnd_;
    RemoveToolTip(h);
    ForgetControlWindow(h);
    if (ownClass_)
        ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    else if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(h, GWLP_WNDPROC)) == &TControl::SubclassProc)
        ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_ ? originalProc_ : classProc_));
    hwnd_ = nullptr;
    sentFont_ = nullptr;
    ::DestroyWindow(h);
}

void TControl::Loaded() {
    TComponent::Loaded();
    RequestRealign();
}

void TControl::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
}

void TControl::SetParent(TControl* parent) {
    if (parent == parent_) return;
    if (parent == this) return;
    if (parent_) parent_->RemoveChild(this);
    // The hint's tool is keyed by the parent window: it goes with the move.
    if (hwnd_) RemoveToolTip(hwnd_);
    parent_ = parent;
    if (parent_) {
        parent_->controls_.push_back(this);
        TakeAnchorReference();
        if (parentFont_) font_ = parent_->font_;
        if (hwnd_) {
            ::SetParent(hwnd_, parent_->hwnd_ ? parent_->hwnd_ : ParkingWindow());
            if (parent_->hwnd_) {
                PutLastAmongSiblings(hwnd_);
                ParentFontChanged();
            }
            if (parent_->hwnd_ && !hint_.empty()) UpdateToolTip(this);
            // Taken from the parking window, where it was hidden.
            if (parent_->hwnd_ && visible_) ::ShowWindow(hwnd_, SW_SHOWNA);
        } else if (parent_->hwnd_) {
            CreateHandleNow();
        }
        parent_->RequestRealign();
    } else if (hwnd_) {
        HandFocusToTopLevel(hwnd_);
        ::ShowWindow(hwnd_, SW_HIDE);
        ::SetParent(hwnd_, ParkingWindow());
    }
}

void TControl::RemoveChild(TControl* child) {
    auto it = std::find(controls_.begin(), controls_.end(), child);
    if (it == controls_.end()) return;
    controls_.erase(it);
    child->parent_ = nullptr;
    if (child->hwnd_ && !Destroying()) {
        HandFocusToTopLevel(child->hwnd_);
        ::ShowWindow(child->hwnd_, SW_HIDE);
        ::SetParent(child->hwnd_, ParkingWindow());
    }
    if (!Destroying()) RequestRealign();
}

void TControl::SetChildIndex(TControl* child, size_t index) {
    auto it = std::find(controls_.begin(), controls_.end(), child);
    if (it == controls_.end()) return;
    controls_.erase(it);
    index = std::min(index, controls_.size());
    controls_.insert(controls_.begin() + static_cast<std::ptrdiff_t>(index), child);
    if (child->hwnd_) {
        HWND after = index == 0 ? HWND_TOP : controls_[index - 1]->hwnd_;
        if (after) ::SetWindowPos(child->hwnd_, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    RequestRealign();
}

void TControl::SetVisible(bool value) {
    if (visible_ == value) return;
    visible_ = value;
    if (hwnd_ && !value) HandFocusToTopLevel(hwnd_);
    if (hwnd_) ::ShowWindow(hwnd_, value ? SW_SHOWNA : SW_HIDE);
    if (parent_) parent_->RequestRealign();
}

void TControl::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    if (hwnd_) ::EnableWindow(hwnd_, value);
}

std::string TControl::Text() const {
    if (!hwnd_) return text_;
    // Most texts are short: one message reads them. One that may not have
    // fitted is measured and read whole.
    wchar_t buffer[256];
    const int read = ::GetWindowTextW(hwnd_, buffer, 256);
    if (read >= 0 && read < 255) return FromWide(std::wstring(buffer, static_cast<size_t>(read)));
    const int n = ::GetWindowTextLengthW(hwnd_);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd_, &w[0], n + 1);
    w.resize(static_cast<size_t>(std::max(0, got)));
    return FromWide(w);
}

void TControl::SetText(const std::string& text) {
    text_ = text;
    if (hwnd_) ::SetWindowTextW(hwnd_, ToWide(text).c_str());
}

void TControl::SetHint(const std::string& hint) {
    hint_ = hint;
    if (hwnd_) UpdateToolTip(this);
}

void TControl::SetTabStop(bool value) {
    tabStop_ = value;
    if (!hwnd_) return;
    LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    style = value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style);
}

void TControl::SetFont(const TFontSpec& font) {
    font_ = font;
    parentFont_ = false;
    if (hwnd_) {
        sentFont_ = FontHandle(font_);
        ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(sentFont_), TRUE);
    }
    for (TControl* c : controls_)
        if (c->parentFont_) c->ParentFontChanged();
}

void TControl::ParentFontChanged() {
    const COLORREF color = font_.color;
    if (parent_ && parentFont_) font_ = parent_->font_;
    if (hwnd_) {
        // A window moved between parents of one font keeps it: no message,
        // no repaint (a new colour alone is painted).
        const HFONT font = FontHandle(font_);
        if (font != sentFont_) {
            sentFont_ = font;
            ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        } else if (font_.color != color) {
            Invalidate();
        }
    }
    for (TControl* c : controls_)
        if (c->parentFont_) c->ParentFontChanged();
}

void TControl::SetColor(COLORREF color) {
    color_ = color;
    Invalidate();
}

COLORREF TControl::BackgroundColor() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (c->color_ != clDefault) return c->color_;
    return ColorBtnFace();
}

HWND TControl::ParentHandle() { return parent_ ? parent_->Handle() : ParkingWindow(); }

HWND TControl::Handle() {
    if (!hwnd_) {
        if (parent_ && !parent_->hwnd_) parent_->Handle();  // creates this one too
        if (!hwnd_) CreateHandleNow();
    }
    return hwnd_;
}

void TControl::CreateParams(TCreateParams& params) {
    params.style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    params.exStyle = WS_EX_CONTROLPARENT;
}

void TControl::CreateHandleNow() {
    if (hwnd_ || creating_) return;
    creating_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{creating_};
    TCreateParams p;
    CreateParams(p);
    const bool child = (p.style & WS_CHILD) != 0;
    HWND parentWindow = child ? ParentHandle() : nullptr;
    if (!child) {
        if (auto* form = dynamic_cast<TForm*>(this)) parentWindow = form->OwnerWindow();
    }
    DWORD style = p.style;
    if (visible_ && child) style |= WS_VISIBLE;
    if (!enabled_) style |= WS_DISABLED;
    if (tabStop_) style |= WS_TABSTOP;
    const std::wstring text = ToWide(text_);
    HMENU id = child ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nextChildId++)) : nullptr;
    if (p.className.empty()) {
        RegisterWindowClassOnce({kOwnClass, &TControl::StaticWndProc, CS_DBLCLKS,
                                 ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW))});
        ownClass_ = true;
        ::CreateWindowExW(p.exStyle, kOwnClass, text.c_str(), style, bounds_.left, bounds_.top, bounds_.width,
                          bounds_.height, parentWindow, id, ::GetModuleHandleW(nullptr), this);
    } else {
        ownClass_ = false;
        HWND h = ::CreateWindowExW(p.exStyle, p.className.c_str(), text.c_str(), style, bounds_.left,
                                   bounds_.top, bounds_.width, bounds_.height, parentWindow, id,
                                   ::GetModuleHandleW(nullptr), nullptr);
        if (h) {
            hwnd_ = h;
            classProc_ = reinterpret_cast<WNDPROC>(::GetClassLongPtrW(h, GCLP_WNDPROC));
            // Subclassed by replacing the window's procedure: the system's
            // subclass chain would look its data up in a window property,
            // which Wine asks its server for, twice for every message.
            originalProc_ = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(h, GWLP_WNDPROC));
            RememberOriginalProc(h, this, originalProc_);
            ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::SubclassProc));
        }
    }
    if (!hwnd_) throw std::runtime_error(LastErrorText("CreateWindowEx"));
    RememberControlWindow(hwnd_, this);
    CreateWnd();
}

LRESULT TControl::SendToSystemControl(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hwnd_) return 0;
    if (ownClass_ || !classProc_) return ::SendMessageW(hwnd_, message, wParam, lParam);
    return ::CallWindowProcW(classProc_, hwnd_, message, wParam, lParam);
}

void TControl::CreateWnd() {
    if (parent_ && parentFont_) font_ = parent_->font_;
    sentFont_ = FontHandle(font_);
    ::SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(sentFont_), FALSE);
    for (TControl* c : controls_) {
        if (c->hwnd_) {
            ::SetParent(c->hwnd_, hwnd_);
            PutLastAmongSiblings(c->hwnd_);
        } else {
            c->CreateHandleNow();
        }
        if (c->hwnd_ && c->visible_) ::ShowWindow(c->hwnd_, SW_SHOWNA);
    }
    if (!hint_.empty()) UpdateToolTip(this);
    ArrangeNow();
}

void TControl::DestroyHandle() {
    if (!hwnd_) return;
    DestroyWnd();
    HWND h = hwnd_;
    MarkControlWindowGoing(h);
    ::DestroyWindow(h);
    ForgetControlWindow(h);
    hwnd_ = nullptr;
    sentFont_ = nullptr;
}

bool TControl::Focused() const {
    return hwnd_ && ::GetFocus() == hwnd_;
}

bool TControl::CanFocus() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_ || !c->enabled_) return false;
    return true;
}

void TControl::SetFocus() {
    if (Handle()) ::SetFocus(hwnd_);
}

void TControl::Invalidate() {
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void TControl::Repaint() {
    if (hwnd_) ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TControl::DisableRedraw() {
    if (redrawLocks_++ == 0 && hwnd_) ::SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
}

void TControl::EnableRedraw() {
    if (redrawLocks_ == 0) return;
    if (--redrawLocks_ == 0 && hwnd_) {
        ::SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    }
}

TForm* TControl::ParentForm() {
    for (TControl* c = this; c; c = c->parent_)
        if (auto* f = dynamic_cast<TForm*>(c)) return f;
    return nullptr;
}

}  // namespace omb::forms
