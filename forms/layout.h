// Placement of a container's children: alignment and anchors as arithmetic
// on rectangles, with no window in sight. The window side feeds it the
// children's settings and moves the windows to the answers at once, in one
// synchronous pass (control_layout.cpp).
#pragma once

#include <vector>

namespace omb::forms {

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
constexpr unsigned kDefaultAnchors = akLeft | akTop;

struct TBounds {
    int left = 0, top = 0, width = 0, height = 0;
    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const TBounds& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
    bool operator!=(const TBounds& o) const { return !(*this == o); }
};

struct TLayoutChild {
    TAlign align = TAlign::alNone;
    unsigned anchors = kDefaultAnchors;
    bool visible = true;
    // The bounds last set on the child and the size of the container's
    // client area at that moment: anchors keep the distances taken then.
    TBounds bounds;
    int refWidth = 0, refHeight = 0;
};

// The bounds of every child (in order) within a client area of the given
// size. Aligned children take their edge of the space that is left, in the
// order top, bottom, left, right, each kind in list order; client-aligned
// children take what remains. Other children follow their anchors; a child
// anchored on neither side of an axis keeps its centre's proportion.
// Invisible children keep their bounds and take no space.
std::vector<TBounds> ArrangeChildren(int clientWidth, int clientHeight,
                                     const std::vector<TLayoutChild>& children);

// Design pixels (96 per inch) at the screen's pixels per inch.
int ScaleDesign(int value, int pixelsPerInch);

}  // namespace omb::forms
