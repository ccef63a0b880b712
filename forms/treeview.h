// A tree view over the system's tree control. Every item has a node object
// owned by the tree (one per HTREEITEM), so an adapter can hang its own
// object on a node and hear when the node goes: OnDeletion fires once for
// every node that goes, whether it is deleted alone, with its parent, by
// clearing the tree or with the window, and its payload is freed after.
//
// The tree is read-only (no label editing), keeps its selection visible
// without the focus, and selects the node under the mouse on a right
// click. Both mouse buttons report their release (OnMouseUp), which the
// system control swallows in its drag detection otherwise.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "forms/control.h"

namespace omb::forms {

class TImageList;
class TTreeView;

// What an adapter keeps on a node; freed with the node.
struct TTreeNodePayload {
    virtual ~TTreeNodePayload() = default;
};

class TTreeNode {
public:
    TTreeNode(const TTreeNode&) = delete;
    TTreeNode& operator=(const TTreeNode&) = delete;
    ~TTreeNode();

    TTreeView* TreeView() const { return tree_; }
    HTREEITEM ItemId() const { return item_; }

    const std::string& Text() const { return text_; }
    void SetText(const std::string& text);
    // Indexes into the tree's images; negative: no image.
    int ImageIndex() const { return image_; }
    void SetImageIndex(int index);
    int SelectedIndex() const { return selectedImage_; }
    void SetSelectedIndex(int index);
    // Index into the state images; 0 or negative: none.
    int StateIndex() const { return state_; }
    void SetStateIndex(int index);
    // Whether the node shows an expand button. Follows the children unless
    // set: an adapter that fills children on expanding sets it.
    bool HasChildren() const;
    void SetHasChildren(bool value);
    // Text, images, state and expand button together: what changed goes to
    // the system control in one message (none when nothing did).
    void SetLook(const std::string& text, int image, int selectedImage, int state, bool hasChildren);

    TTreeNode* Parent() const { return parent_; }
    int Count() const;
    TTreeNode* Item(int index) const;
    TTreeNode* GetFirstChild() const;
    TTreeNode* GetNextSibling() const;
    TTreeNode* GetPrevSibling() const;
    int Index() const;
    int Level() const;

    TTreeNode* AddChild(const std::string& text);
    // A new last child that shows all of it from the start: one message.
    TTreeNode* AddChild(const std::string& text, int image, int selectedImage, int state, bool hasChildren);
    // Deletes this node and its children (OnDeletion for each, children
    // first); the object is gone afterwards.
    void Delete();
    void DeleteChildren();
    void Expand(bool recursive);
    void Collapse(bool recursive);
    bool Expanded() const;
    bool Selected() const;
    void MakeVisible();
    // The node's row, or only its text, in the tree's client coordinates;
    // empty when the node is not shown.
    RECT DisplayRect(bool textOnly) const;

    // A pointer of the caller's, never freed by the tree.
    void* Data() const { return data_; }
    void SetData(void* data) { data_ = data; }
    // An object the node owns: freed once, after OnDeletion.
    TTreeNodePayload* Payload() const { return payload_.get(); }
    void SetPayload(std::unique_ptr<TTreeNodePayload> payload) { payload_ = std::move(payload); }

private:
    friend class TTreeView;
    TTreeNode(TTreeView* tree, TTreeNode* parent) : tree_(tree), parent_(parent) {}
    void UpdateItem(UINT mask);

    TTreeView* tree_;
    TTreeNode* parent_;
    HTREEITEM item_ = nullptr;
    std::string text_;
    int image_ = -1, selectedImage_ = -1, state_ = 0;
    bool hasChildren_ = false, hasChildrenSet_ = false;
    bool deleting_ = false;
    std::vector<TTreeNode*> children_;
    void* data_ = nullptr;
    std::unique_ptr<TTreeNodePayload> payload_;
};

using TTreeNodeEvent = std::function<void(TComponent* sender, TTreeNode* node)>;
using TTreeExpandingEvent = std::function<void(TComponent* sender, TTreeNode* node, bool& allow)>;

// The top-level nodes of a tree.
class TTreeNodes {
public:
    explicit TTreeNodes(TTreeView* tree) : tree_(tree) {}
    int Count() const;
    TTreeNode* Item(int index) const;
    TTreeNode* GetFirstNode() const;
    // A new last top-level node.
    TTreeNode* Add(const std::string& text);
    // A new last child of `parent` (a top-level node when null).
    TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
    // Every node, each reported to OnDeletion.
    void Clear();
    // All nodes of the tree, at every level.
    int TotalCount() const;
    void BeginUpdate();
    void EndUpdate();

private:
    TTreeView* tree_;
};

class TTreeView : public TControl {
public:
    explicit TTreeView(TComponent* owner);
    ~TTreeView() override;

    const char* ClassName() const override { return "TTreeView"; }
    static const TPropTable& StaticProps();
    const TPropTable& Props() const override { return StaticProps(); }

    TTreeNodes& Items() { return items_; }
    const TTreeNodes& Items() const { return items_; }
    TTreeNode* Selected() const;
    void SetSelected(TTreeNode* node);
    // The node whose image, state icon or text is at the client point.
    TTreeNode* GetNodeAt(int x, int y) const;
    // Whether the client point lies on a node's state icon.
    bool IsStateIconAt(int x, int y) const;
    // The node of a system item (null for none or a foreign one).
    TTreeNode* NodeOf(HTREEITEM item) const;
    void BeginUpdate() { DisableRedraw(); }
    void EndUpdate() { EnableRedraw(); }

    TImageList* Images() const { return images_; }
    void SetImages(TImageList* images);
    TImageList* StateImages() const { return stateImages_; }
    void SetStateImages(TImageList* images);
    int Indent() const { return indent_; }
    void SetIndent(int value);
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool value);
    bool ShowLines() const { return showLines_; }
    void SetShowLines(bool value);
    bool ShowButtons() const { return showButtons_; }
    void SetShowButtons(bool value);
    bool ShowRoot() const { return showRoot_; }
    void SetShowRoot(bool value);
    bool RightClickSelect() const { return rightClickSelect_; }
    void SetRightClickSelect(bool value) { rightClickSelect_ = value; }

    // The selection changed (node: the new selection, or null).
    TTreeNodeEvent OnChange;
    // A node is going; its payload is freed after the handler.
    TTreeNodeEvent OnDeletion;
    TTreeExpandingEvent OnExpanding, OnCollapsing;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool HandleNotify(NMHDR* header, LRESULT& result) override;
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TTreeNode;
    friend class TTreeNodes;
    TTreeNode* InsertNode(TTreeNode* parent, const std::string& text, int image = -1, int selectedImage = -1,
                          int state = 0, bool hasChildren = false, bool hasChildrenSet = false);
    // Reports and frees a node and its subtree (children first); the
    // system items are left to the caller.
    void ReleaseSubtree(TTreeNode* node);
    void ReleaseAll();
    void DeleteNode(TTreeNode* node);
    void CheckSelectionChange();
    DWORD TreeStyle() const;
    void ApplyStyle();
    bool MouseDown(UINT message, WPARAM wParam, LPARAM lParam);
    bool AskExpanding(TTreeNode* node, bool expand);

    TTreeNodes items_;
    std::vector<TTreeNode*> roots_;
    std::unordered_map<HTREEITEM, std::unique_ptr<TTreeNode>> nodes_;
    HTREEITEM lastSelected_ = nullptr;
    TImageList* images_ = nullptr;
    TImageList* stateImages_ = nullptr;
    int indent_ = 19;
    bool hideSelection_ = false, showLines_ = true, showButtons_ = true, showRoot_ = true;
    bool rightClickSelect_ = true;
    // Set while a node expands or collapses from code: the handlers were
    // asked already.
    bool expandingFromCode_ = false;
};

}  // namespace omb::forms
