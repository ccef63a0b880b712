#include "bom/detail_panels.h"

namespace omb {

namespace {
std::unique_ptr<TAbstractDetailPanelClasses> g_panelClasses;
}

void TAbstractDetailPanel::SetObject(IBOMObject* object) {
    editedObject_ = object;
    UpdateLanguage();
}

void TAbstractDetailPanel::Notify(int code, int, int) {
    if (code == 1) UpdateLanguage();
}

void TAbstractDetailPanel::RenameObject(const std::string& newName) {
    if (!editedObject_) return;
    if (newName == editedObject_->GetName()) return;
    Ref<IBOMObjectOwner> owner = editedObject_->GetObject("..").As<IBOMObjectOwner>();
    Ref<IBOMObjectSlave> slave = editedObject_.As<IBOMObjectSlave>();
    if (owner && slave) owner->RenameChild(slave.get(), newName);
    UpdateView();
}

void TAbstractDetailPanel::SetObjectParam(const std::string& name, const Variant& value) {
    if (!editedObject_) return;
    if (Ref<IBOMParam> param = editedObject_->GetObject("params/" + name).As<IBOMParam>()) param->SetValue(value);
}

void TAbstractDetailPanelClasses::Add(TDetailPanelFactory factory, const std::string& name) {
    if (factory) inner_.Add(reinterpret_cast<void*>(factory), false, name);
}

TDetailPanelFactory TAbstractDetailPanelClasses::Get(const std::string& name) const {
    return reinterpret_cast<TDetailPanelFactory>(inner_.Get(Variant(name)));
}

TAbstractDetailPanelClasses* DetailPanelClasses() { return g_panelClasses.get(); }

void CreateDetailPanelRegistry() {
    if (!g_panelClasses) g_panelClasses.reset(new TAbstractDetailPanelClasses());
}

void FreeDetailPanelRegistry() { g_panelClasses.reset(); }

void RegisterDetailPanelClass(TDetailPanelFactory factory, const std::string& name) {
    if (g_panelClasses) g_panelClasses->Add(factory, name);
}

TDetailPanelFactory FindDetailPanelClass(const std::string& name) {
    return g_panelClasses ? g_panelClasses->Get(name) : nullptr;
}

std::unique_ptr<TAbstractDetailPanel> CreateDetailPanel(const std::string& name) {
    TDetailPanelFactory factory = FindDetailPanelClass(name);
    return std::unique_ptr<TAbstractDetailPanel>(factory ? factory() : nullptr);
}

}  // namespace omb
