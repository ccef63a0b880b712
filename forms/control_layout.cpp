// A control's bounds and the placing of its children: alignment and
// anchors computed by the pure layout (layout.h), applied to the windows
// in one synchronous pass (one deferred-position batch for the windows
// that move) whenever a child or the container changes.
#include "forms/control.h"

#include <algorithm>
#include <vector>

#include "forms/layout.h"

namespace omb::forms {

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

}  // namespace omb::forms
