#include "bom/detail_panels.h"

#include <vector>

#include "foundation/strings.h"

namespace omb {

namespace {
std::unique_ptr<TAbstractDetailPanelClasses> g_panelClasses;
// Panels put aside, each under its class key, in the order they came.
// Never destroyed with the program's statics: a panel's windows may not
// outlive the window library, so FreeSpareDetailPanels frees them in time.
std::vector<std::unique_ptr<TAbstractDetailPanel>>& Spares() {
    static auto* spares = new std::vector<std::unique_ptr<TAbstractDetailPanel>>();
    return *spares;
}
}  // namespace

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
    Ref<IBOMParam> param = editedObject_->GetObject("params/" + name).As<IBOMParam>();
    if (!param) return;
    // A field left as it was stores nothing: the configuration stays
    // unchanged. Parameters are saved as text, so the same text is the same
    // value.
    const Variant current = param->GetValue();
    if (current == value || (!current.IsEmpty() && !value.IsEmpty() && current.ToText() == value.ToText())) return;
    param->SetValue(value);
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

void FreeDetailPanelRegistry() {
    FreeSpareDetailPanels();
    g_panelClasses.reset();
}

void RegisterDetailPanelClass(TDetailPanelFactory factory, const std::string& name) {
    if (g_panelClasses) g_panelClasses->Add(factory, name);
}

TDetailPanelFactory FindDetailPanelClass(const std::string& name) {
    return g_panelClasses ? g_panelClasses->Get(name) : nullptr;
}

std::unique_ptr<TAbstractDetailPanel> CreateDetailPanel(const std::string& name) {
    TDetailPanelFactory factory = FindDetailPanelClass(name);
    if (!factory) return nullptr;
    // The spare that came last: the one whose windows were shown last.
    auto& spares = Spares();
    for (size_t i = spares.size(); i-- > 0;)
        if (SameTextAZ(spares[i]->classKey_, name)) {
            std::unique_ptr<TAbstractDetailPanel> spare = std::move(spares[i]);
            spares.erase(spares.begin() + std::ptrdiff_t(i));
            return spare;
        }
    std::unique_ptr<TAbstractDetailPanel> panel(factory());
    if (panel) panel->classKey_ = name;
    return panel;
}

void KeepSpareDetailPanel(std::unique_ptr<TAbstractDetailPanel> panel) {
    if (!panel) return;
    panel->PutAside();
    if (panel->ClassKey().empty() || !FindDetailPanelClass(panel->ClassKey())) {
        FreeDetailPanel(panel.release());
        return;
    }
    Spares().push_back(std::move(panel));
}

void FreeDetailPanel(TAbstractDetailPanel* panel) {
    if (!panel) return;
    panel->BeforeDestruction();
    delete panel;
}

void FreeSpareDetailPanels() {
    auto& spares = Spares();
    while (!spares.empty()) {
        std::unique_ptr<TAbstractDetailPanel> last = std::move(spares.back());
        spares.pop_back();
        FreeDetailPanel(last.release());
    }
}

size_t SpareDetailPanelCount() { return Spares().size(); }

}  // namespace omb
