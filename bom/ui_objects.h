// Business objects that show themselves as nodes of the editor's tree, own
// the detail panels opened for them and take part in command routing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bom/detail_panels.h"
#include "bom/objects.h"
#include "bom/ui_interfaces.h"

namespace omb {

// What TBOM_UI_Object and TBOM_UI_Collection share, over either base.
template <typename Base> class TUIObjectBase : public Base, public IUIElement {
public:
    OMB_IUNKNOWN

    // IUIElement
    void Attach(IUI* ui) override;
    void Detach() override;
    void UpdateView() override;
    void SetNode(ITreeNode* node) override {
        node_ = node;
        UpdateView();
    }
    void ClearNode() override { node_ = nullptr; }
    TNodeLook NodeLook() override;
    void ExpandNode(ITreeNode* node) override;
    void ReleasePanels() override;
    bool CanPassDetailPanel(const std::string& name, IUIElement* to) override;
    void PassDetailPanel(const std::string& name, IUIElement* to) override;
    void MouseUp(ITreeNode*, int, int, int, int) override {}
    TAbstractDetailPanel* GetDetailPanel(const std::string& name) override;
    bool UpdateAction(TCommandAction*) override { return true; }
    bool ExecuteAction(TCommandAction*) override { return true; }

    // The text of the node; the object's name unless a class says otherwise.
    virtual std::string GetCaption() { return this->name_; }
    virtual Ref<IUIList> GetSubList() { return nullptr; }
    virtual void FillNode(ITreeNode* node);
    virtual std::unique_ptr<TAbstractDetailPanel> CreateDetailPanelFor(const std::string& name) {
        (void)name;
        return nullptr;
    }

    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;
    // A change of one of this object's own parameters refreshes its node and
    // panels before the event travels on.
    void ChangedFromChild(const std::string& objectPath, IBOMObject* obj, const std::string& senderPath,
                          IBOMObject* sender) override;

    IUI* UI() const { return ui_.get(); }
    ITreeNode* Node() const { return node_; }
    int ImageIndex() const { return imageIndex_; }
    int StateIndex() const { return stateIndex_; }
    bool HasChildrenMark() const { return hasChildren_; }
    TAbstractDetailPanels* Panels() const { return panels_.get(); }

protected:
    ~TUIObjectBase() override { FreePanels(); }
    HRESULT QueryImpl(REFIID iid, void** object) override;

    // The objects attached and detached with this one: its "all" children
    // (collections add their items).
    virtual std::vector<Ref<IBOMObject>> UIChildren() { return this->AllChildren(); }
    void FreePanels();

    Ref<IUI> ui_;
    ITreeNode* node_ = nullptr;
    int imageIndex_ = -1;
    int stateIndex_ = -1;
    bool hasChildren_ = false;
    std::unique_ptr<TAbstractDetailPanels> panels_;
};

class TBOM_UI_Object : public TUIObjectBase<TBOMObject> {
public:
    // Tells every open panel that the language changed.
    virtual void UpdateLanguage();
    void Broadcast(int code, int param1, int param2) override;
};

class TBOM_UI_Collection : public TUIObjectBase<TBOMCollection>, public IUIList {
public:
    OMB_IUNKNOWN

    void Initialize() override;
    Ref<IUIList> GetSubList() override { return Ref<IUIList>(static_cast<IUIList*>(this)); }
    void FillChildNodes(ITreeNode* node) override;
    void AddItem(IBOMObject* item) override;
    Ref<IUnknown> QueryRole(const std::string& role) override;
    bool SupportsRole(const std::string& role) override;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override;
    std::vector<Ref<IBOMObject>> UIChildren() override;
    // An item let go of is detached (its panels hold it) before its links go.
    void Unlink(TBOMAbstractObject* item) override;
};

// Routes a command from a tree node up through its parents while the
// elements answer true. UpdateAction: a command nobody deals with is
// disabled. Both answer whether an element dealt with the command.
bool RouteUpdateAction(ITreeNode* start, TCommandAction* action);
bool RouteExecuteAction(ITreeNode* start, TCommandAction* action);

// Adds a child node for an element, with its payload, and lets it fill it.
ITreeNode* AddElementNode(ITreeNode* parent, IUIElement* element);

}  // namespace omb
