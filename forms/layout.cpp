#include "forms/layout.h"

#include <algorithm>

namespace omb::forms {

namespace {

// One axis of an anchored child: the start and length for the new extent.
void AnchorAxis(int start, int length, int ref, int extent, bool nearSide, bool farSide,
                int& outStart, int& outLength) {
    const int delta = extent - ref;
    if (nearSide && farSide) {
        outStart = start;
        outLength = std::max(0, length + delta);
    } else if (farSide) {
        outStart = start + delta;
        outLength = length;
    } else if (nearSide) {
        outStart = start;
        outLength = length;
    } else {
        // Neither side: the centre keeps its share of the extent.
        outLength = length;
        outStart = ref > 0 ? static_cast<int>((static_cast<long long>(start) * 2 + length) * extent /
                                               (2LL * ref)) - length / 2
                           : start;
    }
}

}  // namespace

std::vector<TBounds> ArrangeChildren(int clientWidth, int clientHeight,
                                     const std::vector<TLayoutChild>& children) {
    std::vector<TBounds> out(children.size());
    int left = 0, top = 0, right = std::max(0, clientWidth), bottom = std::max(0, clientHeight);
    auto place = [&](TAlign kind) {
        for (size_t i = 0; i < children.size(); ++i) {
            const TLayoutChild& c = children[i];
            if (c.align != kind) continue;
            TBounds b = c.bounds;
            if (!c.visible) {
                out[i] = b;
                continue;
            }
            const int w = std::max(0, right - left), h = std::max(0, bottom - top);
            switch (kind) {
            case TAlign::alTop:
                b = {left, top, w, std::min(b.height, h)};
                top += b.height;
                break;
            case TAlign::alBottom:
                b = {left, bottom - std::min(b.height, h), w, std::min(b.height, h)};
                bottom -= b.height;
                break;
            case TAlign::alLeft:
                b = {left, top, std::min(b.width, w), h};
                left += b.width;
                break;
            case TAlign::alRight:
                b = {right - std::min(b.width, w), top, std::min(b.width, w), h};
                right -= b.width;
                break;
            case TAlign::alClient:
                b = {left, top, w, h};
                break;
            case TAlign::alNone:
                break;
            }
            out[i] = b;
        }
    };
    place(TAlign::alTop);
    place(TAlign::alBottom);
    place(TAlign::alLeft);
    place(TAlign::alRight);
    place(TAlign::alClient);
    for (size_t i = 0; i < children.size(); ++i) {
        const TLayoutChild& c = children[i];
        if (c.align != TAlign::alNone) continue;
        if (!c.visible) {
            out[i] = c.bounds;
            continue;
        }
        TBounds b;
        AnchorAxis(c.bounds.left, c.bounds.width, c.refWidth, clientWidth, (c.anchors & akLeft) != 0,
                   (c.anchors & akRight) != 0, b.left, b.width);
        AnchorAxis(c.bounds.top, c.bounds.height, c.refHeight, clientHeight, (c.anchors & akTop) != 0,
                   (c.anchors & akBottom) != 0, b.top, b.height);
        out[i] = b;
    }
    return out;
}

int ScaleDesign(int value, int pixelsPerInch) {
    if (pixelsPerInch <= 0 || pixelsPerInch == 96) return value;
    const long long v = static_cast<long long>(value) * pixelsPerInch;
    return static_cast<int>(v >= 0 ? (v + 48) / 96 : -((-v + 48) / 96));
}

}  // namespace omb::forms
