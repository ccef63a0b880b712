#include "config/detail_panel.h"

#include "bom/ui_interfaces.h"

namespace omb::config {

TDetailPanelFrame::TDetailPanelFrame() : forms::TFrame(nullptr) {
    SetBounds(0, 0, 108, 20);
    SetAlign(forms::TAlign::alClient);
}

void TDetailPanelFrame::SetObject(IBOMObject* object) {
    ForgetEmbedded();
    TAbstractDetailPanel::SetObject(object);
}

void TDetailPanelFrame::PutAside() {
    ClearObject();
    ForgetEmbedded();
    SetParent(nullptr);
}

namespace {
const char* const kEmbeddedRole = "DefaultDetailPanel";

Ref<IUIElement> ElementOf(IBOMObject* object) {
    return object ? object->QueryRole("UIElement").As<IUIElement>() : Ref<IUIElement>();
}
}  // namespace

bool TDetailPanelFrame::CanRebind(IBOMObject* object) {
    if (!object || !editedObject_ || WindowHandle() == nullptr) return false;
    const std::vector<Ref<IBOMObject>> next = EmbeddedObjects(object);
    if (next.size() != embedded_.size()) return false;
    for (size_t i = 0; i < next.size(); ++i) {
        Ref<IUIElement> from = ElementOf(embedded_[i].get()), to = ElementOf(next[i].get());
        if (!from || !to || !from->CanPassDetailPanel(kEmbeddedRole, to.get())) return false;
    }
    return true;
}

void TDetailPanelFrame::Rebind(IBOMObject* object) {
    // A field with the focus lets it go to the window first (and so stores
    // what was typed into the object it showed), as when a panel is put
    // aside: keys typed next never land in a field of the next object.
    if (HWND own = WindowHandle()) {
        HWND focus = ::GetFocus();
        HWND top = ::GetAncestor(own, GA_ROOT);
        if (focus && (focus == own || ::IsChild(own, focus)) && top && top != own) ::SetFocus(top);
    }
    std::vector<Ref<IBOMObject>> next = EmbeddedObjects(object);
    editedObject_ = object;
    for (size_t i = 0; i < next.size() && i < embedded_.size(); ++i) {
        Ref<IUIElement> from = ElementOf(embedded_[i].get()), to = ElementOf(next[i].get());
        if (from && to) from->PassDetailPanel(kEmbeddedRole, to.get());
    }
    embedded_ = std::move(next);
    UpdateView();
}

void TDetailPanelFrame::Loaded() {
    forms::TFrame::Loaded();
    designWidth_ = Width();
    designHeight_ = Height();
}

}  // namespace omb::config
