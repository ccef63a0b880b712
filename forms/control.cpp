#include "forms/control.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include "forms/application.h"
#include "forms/form.h"
#include "foundation/handles.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

constexpr wchar_t kOwnClass[] = L"OmbFormsControl";
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
SRWLOCK g_controlWindowsLock = SRWLOCK_INIT;
std::unordered_map<HWND, TControlWindow>& ControlWindows() {
    static auto* windows = new std::unordered_map<HWND, TControlWindow>();
    return *windows;
}
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
UINT nextChildId = 1000;

struct FontKey {
    TFontSpec spec;
    int ppi;
    bool operator<(const FontKey& o) const {
        return std::tie(spec.name, spec.height, spec.bold, spec.italic, spec.underline, ppi) <
               std::tie(o.spec.name, o.spec.height, o.spec.bold, o.spec.italic, o.spec.underline, o.ppi);
    }
};
std::map<FontKey, UniqueGdiObject>& FontCache() {
    static std::map<FontKey, UniqueGdiObject> cache;
    return cache;
}

}  // namespace

HFONT FontHandle(const TFontSpec& font) {
    FontKey key{font, Screen().PixelsPerInch()};
    key.spec.color = CLR_INVALID;
    auto& cache = FontCache();
    auto it = cache.find(key);
    if (it != cache.end()) return static_cast<HFONT>(it->second.get());
    LOGFONTW lf{};
    lf.lfHeight = ScaleDesign(font.height, key.ppi);
    lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.italic;
    lf.lfUnderline = font.underline;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    std::wstring face = ToWide(font.name);
    face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT h = ::CreateFontIndirectW(&lf);
    cache.emplace(key, UniqueGdiObject(h));
    return h;
}

void FreeFontCache() { FontCache().clear(); }

COLORREF ColorBtnFace() { return ::GetSysColor(COLOR_BTNFACE); }

HWND ParkingWindow() {
    static UniqueWindow parking;
    if (!parking) {
        parking.reset(::CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, ::GetModuleHandleW(nullptr), nullptr));
    }
    return parking.get();
}

namespace {
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
}  // namespace

// What the scaling of a layout changes beyond a control's bounds.
struct TControlAccess {
    // The bounds in design pixels at the given pixels per inch. Anchors
    // keep the distances taken in design pixels, so the size they measure
    // from scales with the bounds, whatever the parent's size is meanwhile.
    static void Scale(TControl& c, int pixelsPerInch) {
        // The edges scale, not the sizes: controls that touch or end where
        // their parent ends still do after the rounding.
        const TBounds b = c.bounds_;
        const int refWidth = c.refWidth_, refHeight = c.refHeight_;
        const int left = ScaleDesign(b.left, pixelsPerInch), top = ScaleDesign(b.top, pixelsPerInch);
        c.SetBounds(left, top, ScaleDesign(b.Right(), pixelsPerInch) - left,
                    ScaleDesign(b.Bottom(), pixelsPerInch) - top);
        c.refWidth_ = ScaleDesign(refWidth, pixelsPerInch);
        c.refHeight_ = ScaleDesign(refHeight, pixelsPerInch);
    }
};

void ScaleControl(TControl* control, int pixelsPerInch) {
    if (pixelsPerInch == kDesignPixelsPerInch || !control) return;
    TControlAccess::Scale(*control, pixelsPerInch);
}

void ScaleLayout(TComponent* root, int pixelsPerInch) {
    if (pixelsPerInch == kDesignPixelsPerInch || !root) return;
    for (size_t i = 0; i < root->ComponentCount(); ++i)
        if (auto* c = dynamic_cast<TControl*>(root->Component(i))) TControlAccess::Scale(*c, pixelsPerInch);
}

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
         [] {
             TPropInfo p;
             p.name = "Hint";
             p.kind = TTypeKind::tkLString;
             p.getStr = [](const TPersistent* o) { return static_cast<const TControl*>(o)->Hint(); };
             p.setStr = [](TPersistent* o, const std::string& v) { static_cast<TControl*>(o)->SetHint(v); };
             return p;
         }()}};
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
            if (parent_->hwnd_) ParentFontChanged();
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

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    const TBounds nb{left, top, width, height};
    const bool sized = nb.width != bounds_.width || nb.height != bounds_.height;
    bounds_ = nb;
    TakeAnchorReference();
    MoveWindowToBounds();
    if (parent_ && align_ != TAlign::alNone) parent_->RequestRealign();
    if (sized) Resize();
}

void TControl::TakeAnchorReference() {
    if (!parent_) return;
    // The same area the parent lays its children out in (a group box's
    // lies inside its frame), or anchored children would jump by the
    // difference at the first layout.
    const RECT area = parent_->ClientRectForChildren();
    refWidth_ = area.right - area.left;
    refHeight_ = area.bottom - area.top;
}

void TControl::MoveWindowToBounds() {
    if (!hwnd_) return;
    ::SetWindowPos(hwnd_, nullptr, bounds_.left, bounds_.top, bounds_.width, bounds_.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT TControl::ClientRectForChildren() {
    RECT r{0, 0, 0, 0};
    if (hwnd_) ::GetClientRect(hwnd_, &r);
    // Without a window, or a window not sized yet, the area follows from
    // the bounds and the window's styles.
    if (!hwnd_ || (r.right == 0 && r.bottom == 0 && (bounds_.width > 0 || bounds_.height > 0))) {
        TCreateParams p;
        CreateParams(p);
        RECT nc{0, 0, 0, 0};
        ::AdjustWindowRectEx(&nc, p.style & ~WS_CHILD, FALSE, p.exStyle);
        r.left = r.top = 0;
        r.right = std::max(0, bounds_.width - static_cast<int>(nc.right - nc.left));
        r.bottom = std::max(0, bounds_.height - static_cast<int>(nc.bottom - nc.top));
    }
    return r;
}

int TControl::ClientWidth() {
    RECT r = TControl::ClientRectForChildren();
    return r.right - r.left;
}
int TControl::ClientHeight() {
    RECT r = TControl::ClientRectForChildren();
    return r.bottom - r.top;
}
void TControl::SetClientWidth(int value) { SetWidth(bounds_.width - ClientWidth() + value); }
void TControl::SetClientHeight(int value) { SetHeight(bounds_.height - ClientHeight() + value); }

void TControl::SetAlign(TAlign value) {
    if (align_ == value) return;
    align_ = value;
    if (parent_) parent_->RequestRealign();
}

void TControl::SetAnchors(unsigned value) { anchors_ = value; }

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
        static ATOM atom = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof(wc);
            wc.style = CS_DBLCLKS;
            wc.lpfnWndProc = &TControl::StaticWndProc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            wc.lpszClassName = kOwnClass;
            return ::RegisterClassExW(&wc);
        }();
        (void)atom;
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
        if (c->hwnd_)
            ::SetParent(c->hwnd_, hwnd_);
        else
            c->CreateHandleNow();
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

void TControl::RequestRealign() {
    if (Loading() || Destroying()) return;
    ArrangeNow();
}

void TControl::Realign() { ArrangeNow(); }

void TControl::ArrangeNow() {
    if (arranging_) return;
    PlaceChildren();
    ChildrenArranged();
}

void TControl::PlaceChildren() {
    if (arranging_ || controls_.empty()) return;
    arranging_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{arranging_};
    const RECT client = ClientRectForChildren();
    const int cw = client.right - client.left, ch = client.bottom - client.top;
    // A container without a size yet (its own parent not laid out) would
    // squeeze its aligned children to nothing for good: wait for the size.
    if (cw <= 0 || ch <= 0) return;
    std::vector<TLayoutChild> in;
    in.reserve(controls_.size());
    for (TControl* c : controls_) {
        TLayoutChild l;
        l.align = c->align_;
        l.anchors = c->anchors_;
        l.visible = c->visible_;
        l.bounds = c->bounds_;
        if (c->align_ == TAlign::alNone) {
            l.bounds = {c->bounds_.left - client.left, c->bounds_.top - client.top, c->bounds_.width,
                        c->bounds_.height};
            // Anchors measure from the size the bounds were set at; a child
            // placed before its parent had a size measures from the first.
            if (c->refWidth_ <= 0) c->refWidth_ = cw;
            if (c->refHeight_ <= 0) c->refHeight_ = ch;
            l.refWidth = c->refWidth_;
            l.refHeight = c->refHeight_;
        }
        in.push_back(l);
    }
    const std::vector<TBounds> out = ArrangeChildren(cw, ch, in);
    // One pass over the windows that move, begun at the first that does:
    // a layout that moves nothing costs no batch.
    HDWP batch = nullptr;
    bool batchTried = false;
    std::vector<TControl*> resized;
    for (size_t i = 0; i < controls_.size(); ++i) {
        TControl* c = controls_[i];
        TBounds b = out[i];
        b.left += client.left;
        b.top += client.top;
        if (c->align_ == TAlign::alNone) {
            // Anchored: the stored bounds stay the reference; only the
            // window and the current bounds follow.
            if (b == c->bounds_) continue;
        } else if (b == c->bounds_) {
            continue;
        }
        const bool sized = b.width != c->bounds_.width || b.height != c->bounds_.height;
        if (c->align_ == TAlign::alNone) {
            // Keep the distances from the new reference.
            c->refWidth_ = cw;
            c->refHeight_ = ch;
        }
        c->bounds_ = b;
        if (c->hwnd_ && hwnd_ && !batchTried) {
            batchTried = true;
            batch = ::BeginDeferWindowPos(static_cast<int>(controls_.size()));
        }
        if (c->hwnd_ && batch)
            batch = ::DeferWindowPos(batch, c->hwnd_, nullptr, b.left, b.top, b.width, b.height,
                                     SWP_NOZORDER | SWP_NOACTIVATE);
        else if (c->hwnd_)
            ::SetWindowPos(c->hwnd_, nullptr, b.left, b.top, b.width, b.height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (sized) resized.push_back(c);
    }
    if (batch) ::EndDeferWindowPos(batch);
    for (TControl* c : resized) c->Resize();
}

void TControl::Resize() {
    ArrangeNow();
    Fire(OnResize, this);
}

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

TForm* TControl::ParentForm() {
    for (TControl* c = this; c; c = c->parent_)
        if (auto* f = dynamic_cast<TForm*>(c)) return f;
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
