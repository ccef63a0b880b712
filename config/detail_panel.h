// Detail panels with a window: the base of every panel the editor shows in
// its detail area (and of the about dialog's panel). A panel is a frame of
// the form library and the model's panel at once: the model keeps it by its
// TAbstractDetailPanel side, the editor parents it by its frame side.
//
// A panel class builds its controls in its constructor, owned by and
// parented to the panel, between BeginLoading and EndLoading (the frame
// scales its layout once at EndLoading), and registers itself with
// omb::RegisterDetailPanelClass<T>("Name") in RegisterEditorPanels.
#pragma once

#include "bom/detail_panels.h"
#include "forms/controls.h"

namespace omb::config {

class TDetailPanelFrame : public forms::TFrame, public TAbstractDetailPanel {
public:
    // Design size 108 x 20; it fills the area it is put into.
    TDetailPanelFrame();
    const char* ClassName() const override { return "TDetailPanelFrame"; }

    forms::TFrame& Frame() { return *this; }
    // The window side of a panel the model handed out; nullptr when the
    // panel has none.
    static TDetailPanelFrame* FromPanel(TAbstractDetailPanel* panel) {
        return dynamic_cast<TDetailPanelFrame*>(panel);
    }

    // The size the panel asks for (design pixels scaled), whatever its
    // parent made of it: the about dialog sizes itself after it.
    int DesignWidth() const { return designWidth_ ? designWidth_ : Width(); }
    int DesignHeight() const { return designHeight_ ? designHeight_ : Height(); }

    // Unbound, hidden and taken out of its container.
    void PutAside() override;
    // One teardown for both sides: the frame's window and its controls'.
    void BeforeDestruction() override { forms::TFrame::BeforeDestruction(); }

protected:
    void Loaded() override;

private:
    int designWidth_ = 0, designHeight_ = 0;
};

}  // namespace omb::config
