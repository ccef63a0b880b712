#include "bom/ui_objects.h"

#include <typeinfo>

#include "bom/ui_commands.h"

namespace omb {

namespace {
Ref<IUIElement> UIElementOf(IBOMObject* object) {
    return object ? object->QueryRole("UIElement").As<IUIElement>() : nullptr;
}
}  // namespace

template <typename Base>
HRESULT TUIObjectBase<Base>::QueryImpl(REFIID iid, void** object) {
    if (TDebugInterfacedObject::Offer<IUIElement>(this, iid, object)) return S_OK;
    return Base::QueryImpl(iid, object);
}

template <typename Base>
Ref<IUnknown> TUIObjectBase<Base>::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = Base::QueryRole(role)) return r;
    if (role == "UIElement") return Ref<IUnknown>(static_cast<IUIElement*>(this));
    return nullptr;
}

template <typename Base>
bool TUIObjectBase<Base>::SupportsRole(const std::string& role) {
    return Base::SupportsRole(role) || role == "UIElement";
}

template <typename Base>
void TUIObjectBase<Base>::Attach(IUI* ui) {
    // Attached again without a detach: the panels open so far go first.
    FreePanels();
    ui_ = ui;
    for (const Ref<IBOMObject>& child : UIChildren())
        if (Ref<IUIElement> element = UIElementOf(child.get())) element->Attach(ui);
    panels_.reset(new TAbstractDetailPanels());
    UpdateView();
}

template <typename Base>
void TUIObjectBase<Base>::Detach() {
    for (const Ref<IBOMObject>& child : UIChildren())
        if (Ref<IUIElement> element = UIElementOf(child.get())) element->Detach();
    FreePanels();
    ui_ = nullptr;
}

template <typename Base>
void TUIObjectBase<Base>::FreePanels() {
    if (!panels_) return;
    for (int i = panels_->Count() - 1; i >= 0; --i) {
        TAbstractDetailPanel* panel = panels_->Get(Variant(i));
        panels_->Delete(Variant(i));
        FreeDetailPanel(panel);
    }
    panels_.reset();
}

template <typename Base>
void TUIObjectBase<Base>::ReleasePanels() {
    // The lowest first: a panel that holds those of the objects below lets
    // go of an empty container.
    for (const Ref<IBOMObject>& child : UIChildren())
        if (Ref<IUIElement> element = UIElementOf(child.get())) element->ReleasePanels();
    if (!panels_) return;
    for (int i = panels_->Count() - 1; i >= 0; --i) {
        TAbstractDetailPanel* panel = panels_->Get(Variant(i));
        panels_->Delete(Variant(i));
        KeepSpareDetailPanel(std::unique_ptr<TAbstractDetailPanel>(panel));
    }
}

template <typename Base>
bool TUIObjectBase<Base>::CanPassDetailPanel(const std::string& name, IUIElement* to) {
    auto* target = dynamic_cast<TUIObjectBase*>(to);
    if (!target || target == this || !panels_ || !target->panels_) return false;
    // Objects of one class ask for the same panel classes.
    if (typeid(*target) != typeid(*this) || target->GetTypeName() != this->GetTypeName()) return false;
    TAbstractDetailPanel* panel = panels_->Get(Variant(name));
    if (!panel || target->panels_->Get(Variant(name))) return false;
    return panel->CanRebind(target->AsBOMObject());
}

template <typename Base>
void TUIObjectBase<Base>::PassDetailPanel(const std::string& name, IUIElement* to) {
    auto* target = dynamic_cast<TUIObjectBase*>(to);
    TAbstractDetailPanel* panel = panels_ ? panels_->Get(Variant(name)) : nullptr;
    if (!target || !panel || !target->panels_) return;
    panels_->Delete(Variant(name));
    target->panels_->Add(panel, name);
    panel->Rebind(target->AsBOMObject());
}

template <typename Base>
void TUIObjectBase<Base>::UpdateView() {
    if (node_) FillNode(node_);
    if (!panels_) return;
    for (int i = 0; i < panels_->Count(); ++i) panels_->Get(Variant(i))->UpdateView();
}

template <typename Base>
TNodeLook TUIObjectBase<Base>::NodeLook() {
    TNodeLook look;
    look.text = GetCaption();
    look.imageIndex = imageIndex_;
    look.selectedIndex = imageIndex_;
    look.stateIndex = stateIndex_;
    look.hasChildren = hasChildren_;
    return look;
}

template <typename Base>
void TUIObjectBase<Base>::FillNode(ITreeNode* node) {
    node->SetLook(NodeLook());
}

template <typename Base>
void TUIObjectBase<Base>::ExpandNode(ITreeNode* node) {
    if (!node || !node->HasChildren() || node->ChildCount() > 0) return;
    if (Ref<IUIList> list = GetSubList())
        list->FillChildNodes(node);
    else
        node->SetHasChildren(false);
}

template <typename Base>
TAbstractDetailPanel* TUIObjectBase<Base>::GetDetailPanel(const std::string& name) {
    if (!panels_) return nullptr;  // not attached: no panel list to keep it in
    if (TAbstractDetailPanel* open = panels_->Get(Variant(name))) return open;
    std::unique_ptr<TAbstractDetailPanel> panel = CreateDetailPanelFor(name);
    if (!panel) return nullptr;
    panel->SetObject(this->AsBOMObject());
    panel->UpdateView();
    TAbstractDetailPanel* result = panel.release();
    panels_->Add(result, name);
    return result;
}

template <typename Base>
void TUIObjectBase<Base>::ChangedFromChild(const std::string& objectPath, IBOMObject* obj,
                                           const std::string& senderPath, IBOMObject* sender) {
    if (StartsWith("params/", objectPath)) UpdateView();
    Base::ChangedFromChild(objectPath, obj, senderPath, sender);
}

template class TUIObjectBase<TBOMObject>;
template class TUIObjectBase<TBOMCollection>;

// ---------------------------------------------------------------------------

void TBOM_UI_Object::UpdateLanguage() {
    if (!panels_) return;
    for (int i = 0; i < panels_->Count(); ++i) panels_->Get(Variant(i))->Notify(1, 0, 0);
}

void TBOM_UI_Object::Broadcast(int code, int param1, int param2) {
    TUIObjectBase<TBOMObject>::Broadcast(code, param1, param2);
    if (code == 1) UpdateLanguage();
}

// ---------------------------------------------------------------------------

HRESULT TBOM_UI_Collection::QueryImpl(REFIID iid, void** object) {
    if (Offer<IUIList>(this, iid, object)) return S_OK;
    return TUIObjectBase<TBOMCollection>::QueryImpl(iid, object);
}

void TBOM_UI_Collection::Initialize() {
    TUIObjectBase<TBOMCollection>::Initialize();
    hasChildren_ = true;
}

Ref<IUnknown> TBOM_UI_Collection::QueryRole(const std::string& role) {
    if (Ref<IUnknown> r = TBOMCollection::QueryRole(role)) return r;
    if (role == "UIList") return Ref<IUnknown>(static_cast<IUIList*>(this));
    if (role == "UIElement") return Ref<IUnknown>(static_cast<IUIElement*>(this));
    return nullptr;
}

bool TBOM_UI_Collection::SupportsRole(const std::string& role) {
    return TBOMCollection::SupportsRole(role) || role == "UIList" || role == "UIElement";
}

std::vector<Ref<IBOMObject>> TBOM_UI_Collection::UIChildren() {
    std::vector<Ref<IBOMObject>> children = AllChildren();
    for (Ref<IBOMObject>& item : Items()) children.push_back(std::move(item));
    return children;
}

void TBOM_UI_Collection::FillChildNodes(ITreeNode* node) {
    for (const Ref<IBOMObject>& item : Items())
        if (Ref<IUIElement> element = UIElementOf(item.get())) AddElementNode(node, element.get());
}

void TBOM_UI_Collection::AddItem(IBOMObject* item) {
    TUIObjectBase<TBOMCollection>::AddItem(item);
    if (ui_ && Holds(item))
        if (Ref<IUIElement> element = UIElementOf(item)) element->Attach(ui_.get());
}

void TBOM_UI_Collection::Unlink(TBOMAbstractObject* item) {
    if (ui_)
        if (Ref<IUIElement> element = UIElementOf(item->AsBOMObject())) element->Detach();
    TUIObjectBase<TBOMCollection>::Unlink(item);
}

// ---------------------------------------------------------------------------

ITreeNode* AddElementNode(ITreeNode* parent, IUIElement* element) {
    // Made as it will show: filling it (SetNode) then changes nothing.
    ITreeNode* child = parent->AddChildWithLook(element->NodeLook());
    if (!child) return nullptr;
    child->SetData(std::unique_ptr<TTNStruct>(new TTNStruct{Ref<IUIElement>(element)}));
    element->SetNode(child);
    return child;
}

namespace {
template <typename Ask>
bool Route(ITreeNode* node, Ask ask) {
    for (; node; node = node->Parent()) {
        TTNStruct* data = node->Data();
        if (data && data->element && !ask(data->element.get())) return true;
    }
    return false;
}
}  // namespace

bool RouteUpdateAction(ITreeNode* start, TCommandAction* action) {
    bool handled = Route(start, [action](IUIElement* e) { return e->UpdateAction(action); });
    if (!handled) action->SetEnabled(false);
    return handled;
}

bool RouteExecuteAction(ITreeNode* start, TCommandAction* action) {
    return Route(start, [action](IUIElement* e) { return e->ExecuteAction(action); });
}

}  // namespace omb
