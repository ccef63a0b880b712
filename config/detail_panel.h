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

#include <vector>

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

    // Binds anew: what it embeds is embedded again.
    void SetObject(IBOMObject* object) override;
    // Unbound, hidden and taken out of its container.
    void PutAside() override;
    // One teardown for both sides: the frame's window and its controls'.
    void BeforeDestruction() override { forms::TFrame::BeforeDestruction(); }

    // In place: the objects whose panels this one embeds would be, for
    // `object`, as many, of the same classes and with panels that can
    // show them in place too.
    bool CanRebind(IBOMObject* object) override;
    // Each embedded panel goes over to its counterpart of `object` (each
    // object keeps the panels shown for it), then this panel shows
    // `object`.
    void Rebind(IBOMObject* object) override;

    // Notes that the default panel of `child` is embedded in this one.
    void NoteEmbedded(IBOMObject* child) { embedded_.emplace_back(child); }
    // The panels of these objects are embedded, in this order.
    const std::vector<Ref<IBOMObject>>& Embedded() const { return embedded_; }

protected:
    void Loaded() override;
    // The objects of `object` whose default panels this panel embeds, in
    // the order it embeds them; a panel embedding none answers nothing.
    virtual std::vector<Ref<IBOMObject>> EmbeddedObjects(IBOMObject* object) {
        (void)object;
        return {};
    }
    // The panels embedded so far are let go of (a new object is bound).
    void ForgetEmbedded() { embedded_.clear(); }

private:
    int designWidth_ = 0, designHeight_ = 0;
    std::vector<Ref<IBOMObject>> embedded_;
};

}  // namespace omb::config
