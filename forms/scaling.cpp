// Scaling of layouts built in code: design pixels (96 per inch) to the
// screen's, once per layout, edges rather than sizes.
#include "forms/control.h"
#include "forms/layout.h"

namespace omb::forms {

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

}  // namespace omb::forms
