#include "bom/enabled_item.h"

#include "foundation/params.h"

namespace omb {

HRESULT TEnabledItem::QueryImpl(REFIID iid, void** object) {
    if (Offer<IEnabledItem>(this, iid, object)) return S_OK;
    return TBOM_UI_Object::QueryImpl(iid, object);
}

void TEnabledItem::Initialize() {
    TBOM_UI_Object::Initialize();
    CreateParam("enabled", Variant("yes"));
    enabled_ = ParamObject("enabled");
    detailPanelMap_.clear();
}

bool TEnabledItem::IsEnabled() { return !enabled_ || enabled_->ValueIs("yes"); }

void TEnabledItem::SetOwner(IBOMObjectOwner* owner) {
    TBOM_UI_Object::SetOwner(owner);
    UpdateStateIndex();
}

void TEnabledItem::ChangedFromChild(const std::string& objectPath, IBOMObject* obj,
                                    const std::string& senderPath, IBOMObject* sender) {
    if (objectPath == "params/enabled") UpdateStateIndex();
    TBOM_UI_Object::ChangedFromChild(objectPath, obj, senderPath, sender);
}

std::unique_ptr<TAbstractDetailPanel> TEnabledItem::CreateDetailPanelFor(const std::string& name) {
    std::string panel;
    if (FindKeyValue(detailPanelMap_, name, ';', panel, '=') && !panel.empty()) return CreateDetailPanel(panel);
    return nullptr;
}

void TEnabledItem::MouseUp(ITreeNode* node, int button, int shift, int x, int y) {
    TBOM_UI_Object::MouseUp(node, button, shift, x, y);
    if (!node || !node->IsStateIconAt(x, y)) return;
    Ref<IBOMParam> enabled = GetParam("enabled");
    if (!enabled) return;
    enabled->SetValue(Variant(enabled->GetValue().ToText() == "yes" ? "no" : "yes"));
}

}  // namespace omb
