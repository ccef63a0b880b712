// The user-interface side of business objects: the interfaces through which
// the editor drives the tree of objects, and the small abstract views (a tree
// node, a command's action) through which objects reach the screen. Nothing
// here depends on a windowing library: the command center links the same
// objects and never shows them.
#pragma once

#include <memory>
#include <string>

#include "bom/interfaces.h"

namespace omb {

class TAbstractDetailPanel;
class TCommandAction;
struct ITreeNode;

// What a node shows: its text, images, state icon and expand button.
struct TNodeLook {
    std::string text;
    int imageIndex = -1;
    int selectedIndex = -1;
    int stateIndex = -1;
    bool hasChildren = false;
};

// The user interface an object is attached to; a token handed down the tree.
struct IUI : IUnknown {
protected:
    ~IUI() = default;
};

// Role "UIElement".
struct IUIElement : IUnknown {
    virtual void Attach(IUI* ui) = 0;
    virtual void Detach() = 0;
    virtual void UpdateView() = 0;
    virtual void SetNode(ITreeNode* node) = 0;
    virtual void ClearNode() = 0;
    // What the element's node shows.
    virtual TNodeLook NodeLook() = 0;
    virtual void ExpandNode(ITreeNode* node) = 0;
    // The panels of this object and of the objects below it are no longer
    // shown: each goes, unbound, to the spare panels, where the next
    // object that asks for a panel of its class takes it instead of
    // building one (CreateDetailPanel).
    virtual void ReleasePanels() = 0;
    // Whether the panel open under `name` can go over to `to`, an element
    // of this one's class with no panel of its own under that name, and
    // show it in place: the panels embedded in it would show the parts of
    // `to` alike (TAbstractDetailPanel::CanRebind).
    virtual bool CanPassDetailPanel(const std::string& name, IUIElement* to) = 0;
    // Hands that panel over: it is bound to `to` in place, no window
    // changing, and shows its values (CanPassDetailPanel answered true).
    virtual void PassDetailPanel(const std::string& name, IUIElement* to) = 0;
    // A mouse button released over the tree view at client point (x, y).
    virtual void MouseUp(ITreeNode* node, int button, int shift, int x, int y) = 0;
    // The panel for a panel role, created on first use; owned by the object.
    virtual TAbstractDetailPanel* GetDetailPanel(const std::string& name) = 0;
    // Routing answers: true leaves the command to the parent node, false
    // means this element dealt with it.
    virtual bool UpdateAction(TCommandAction* action) = 0;
    virtual bool ExecuteAction(TCommandAction* action) = 0;

protected:
    ~IUIElement() = default;
};

// Role "UIList": fills the child nodes of a node.
struct IUIList : IUnknown {
    virtual void FillChildNodes(ITreeNode* node) = 0;

protected:
    ~IUIList() = default;
};

struct IEnabledItem : IUnknown {
    virtual bool IsEnabled() = 0;

protected:
    ~IEnabledItem() = default;
};

// The payload of every tree node that shows a UI object.
struct TTNStruct {
    Ref<IUIElement> element;
};


// A node of the editor's tree view, as the objects see it. The view owns its
// nodes and the payload attached to them.
struct ITreeNode {
    // Everything the node shows at once; a view may take it in one step.
    virtual void SetLook(const TNodeLook& look) {
        SetText(look.text);
        SetImageIndex(look.imageIndex);
        SetSelectedIndex(look.selectedIndex);
        SetStateIndex(look.stateIndex);
        SetHasChildren(look.hasChildren);
    }
    virtual void SetText(const std::string& text) = 0;
    virtual void SetImageIndex(int index) = 0;
    virtual void SetSelectedIndex(int index) = 0;
    virtual void SetStateIndex(int index) = 0;
    virtual void SetHasChildren(bool value) = 0;
    virtual bool HasChildren() = 0;
    virtual int ChildCount() = 0;
    // The node above this one; nullptr for a top node.
    virtual ITreeNode* Parent() = 0;
    // A new last child with the text.
    virtual ITreeNode* AddChild(const std::string& text) = 0;
    // A new last child showing all of the look; a view may make it in one
    // step.
    virtual ITreeNode* AddChildWithLook(const TNodeLook& look) {
        ITreeNode* child = AddChild(look.text);
        if (child) child->SetLook(look);
        return child;
    }
    virtual void SetData(std::unique_ptr<TTNStruct> data) = 0;
    virtual TTNStruct* Data() = 0;
    // Whether the node's tree view has a state icon at client point (x, y).
    virtual bool IsStateIconAt(int x, int y) = 0;

protected:
    ~ITreeNode() = default;
};

}  // namespace omb

OMB_DECLARE_IID(omb::IUI, "{D6E42CFB-BC18-4C3D-9C5B-CF22BAEF64A4}")
OMB_DECLARE_IID(omb::IUIElement, "{B04B1AB0-1D3A-4A86-AEC5-5C79701C0F84}")
OMB_DECLARE_IID(omb::IUIList, "{62533DC1-C8A3-4B16-9227-1A45218EC346}")
OMB_DECLARE_IID(omb::IEnabledItem, "{3604C17B-DAE2-4768-BDC9-7B6C751FB754}")
