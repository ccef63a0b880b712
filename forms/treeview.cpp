#include "forms/treeview.h"

#include <algorithm>
#include <stdexcept>

#include "forms/imagelist.h"
#include "foundation/winfuncs.h"

namespace omb::forms {

namespace {

int ImageForItem(int index) { return index < 0 ? I_IMAGENONE : index; }

unsigned ShiftOf(WPARAM wParam) {
    return ((wParam & MK_SHIFT) ? ssShift : 0) | ((wParam & MK_CONTROL) ? ssCtrl : 0) |
           ((wParam & MK_LBUTTON) ? ssLeft : 0) | ((wParam & MK_RBUTTON) ? ssRight : 0) |
           ((wParam & MK_MBUTTON) ? ssMiddle : 0) | (::GetKeyState(VK_MENU) < 0 ? ssAlt : 0);
}

}  // namespace

// ------------------------------------------------------------------- node

TTreeNode::~TTreeNode() = default;

void TTreeNode::UpdateItem(UINT mask) {
    HWND h = tree_->WindowHandle();
    if (!h || !item_) return;
    TVITEMW tv{};
    tv.mask = mask | TVIF_HANDLE;
    tv.hItem = item_;
    std::wstring text;
    if (mask & TVIF_TEXT) {
        text = ToWide(text_);
        tv.pszText = text.data();
    }
    tv.iImage = ImageForItem(image_);
    tv.iSelectedImage = ImageForItem(selectedImage_);
    tv.stateMask = TVIS_STATEIMAGEMASK;
    tv.state = INDEXTOSTATEIMAGEMASK(std::max(0, state_));
    tv.cChildren = hasChildren_ ? 1 : 0;
    tree_->SendToSystemControl(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

void TTreeNode::SetText(const std::string& text) {
    text_ = text;
    UpdateItem(TVIF_TEXT);
}

void TTreeNode::SetImageIndex(int index) {
    image_ = index;
    UpdateItem(TVIF_IMAGE);
}

void TTreeNode::SetSelectedIndex(int index) {
    selectedImage_ = index;
    UpdateItem(TVIF_SELECTEDIMAGE);
}

void TTreeNode::SetStateIndex(int index) {
    state_ = std::max(0, index);
    UpdateItem(TVIF_STATE);
}

bool TTreeNode::HasChildren() const { return hasChildren_; }

void TTreeNode::SetHasChildren(bool value) {
    hasChildren_ = value;
    hasChildrenSet_ = true;
    UpdateItem(TVIF_CHILDREN);
}

void TTreeNode::SetLook(const std::string& text, int image, int selectedImage, int state, bool hasChildren) {
    state = std::max(0, state);
    UINT mask = 0;
    if (text != text_) mask |= TVIF_TEXT;
    if (image != image_) mask |= TVIF_IMAGE;
    if (selectedImage != selectedImage_) mask |= TVIF_SELECTEDIMAGE;
    if (state != state_) mask |= TVIF_STATE;
    if (hasChildren != hasChildren_) mask |= TVIF_CHILDREN;
    text_ = text;
    image_ = image;
    selectedImage_ = selectedImage;
    state_ = state;
    hasChildren_ = hasChildren;
    hasChildrenSet_ = true;
    if (mask) UpdateItem(mask);
}

int TTreeNode::Count() const { return static_cast<int>(children_.size()); }

TTreeNode* TTreeNode::Item(int index) const {
    return index >= 0 && index < Count() ? children_[static_cast<size_t>(index)] : nullptr;
}

TTreeNode* TTreeNode::GetFirstChild() const { return children_.empty() ? nullptr : children_.front(); }

TTreeNode* TTreeNode::GetNextSibling() const {
    const auto& list = parent_ ? parent_->children_ : tree_->roots_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() || it + 1 == list.end() ? nullptr : *(it + 1);
}

TTreeNode* TTreeNode::GetPrevSibling() const {
    const auto& list = parent_ ? parent_->children_ : tree_->roots_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() || it == list.begin() ? nullptr : *(it - 1);
}

int TTreeNode::Index() const {
    const auto& list = parent_ ? parent_->children_ : tree_->roots_;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

int TTreeNode::Level() const {
    int level = 0;
    for (const TTreeNode* p = parent_; p; p = p->parent_) ++level;
    return level;
}

TTreeNode* TTreeNode::AddChild(const std::string& text) { return tree_->InsertNode(this, text); }

TTreeNode* TTreeNode::AddChild(const std::string& text, int image, int selectedImage, int state, bool hasChildren) {
    return tree_->InsertNode(this, text, image, selectedImage, state, hasChildren, true);
}

void TTreeNode::Delete() { tree_->DeleteNode(this); }

void TTreeNode::DeleteChildren() {
    while (!children_.empty()) {
        TTreeNode* last = children_.back();
        if (last->deleting_) break;
        last->Delete();
    }
}

bool TTreeNode::Expanded() const {
    HWND h = tree_->WindowHandle();
    return h && (TreeView_GetItemState(h, item_, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
}

void TTreeNode::Expand(bool recursive) {
    HWND h = tree_->WindowHandle();
    if (!h) return;
    const HTREEITEM item = item_;
    if (!Expanded() && tree_->AskExpanding(this, true)) {
        tree_->expandingFromCode_ = true;
        ::SendMessageW(h, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        tree_->expandingFromCode_ = false;
    }
    // A handler may have deleted the node.
    if (!recursive || !tree_->NodeOf(item)) return;
    const std::vector<TTreeNode*> children = children_;
    for (TTreeNode* c : children) {
        const HTREEITEM ci = c->item_;
        if (tree_->NodeOf(ci) == c) c->Expand(true);
    }
}

void TTreeNode::Collapse(bool recursive) {
    HWND h = tree_->WindowHandle();
    if (!h) return;
    const HTREEITEM item = item_;
    if (recursive) {
        const std::vector<TTreeNode*> children = children_;
        for (TTreeNode* c : children)
            if (tree_->NodeOf(c->item_) == c) c->Collapse(true);
        if (!tree_->NodeOf(item)) return;
    }
    if (Expanded() && tree_->AskExpanding(this, false)) {
        tree_->expandingFromCode_ = true;
        ::SendMessageW(h, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(item));
        tree_->expandingFromCode_ = false;
    }
}

bool TTreeNode::Selected() const { return tree_->Selected() == this; }

void TTreeNode::MakeVisible() {
    if (HWND h = tree_->WindowHandle()) TreeView_EnsureVisible(h, item_);
}

RECT TTreeNode::DisplayRect(bool textOnly) const {
    RECT r{0, 0, 0, 0};
    HWND h = tree_->WindowHandle();
    if (!h || !TreeView_GetItemRect(h, item_, &r, textOnly ? TRUE : FALSE)) return RECT{0, 0, 0, 0};
    return r;
}

// ------------------------------------------------------------------ nodes

int TTreeNodes::Count() const { return static_cast<int>(tree_->roots_.size()); }

TTreeNode* TTreeNodes::Item(int index) const {
    return index >= 0 && index < Count() ? tree_->roots_[static_cast<size_t>(index)] : nullptr;
}

TTreeNode* TTreeNodes::GetFirstNode() const { return tree_->roots_.empty() ? nullptr : tree_->roots_.front(); }

TTreeNode* TTreeNodes::Add(const std::string& text) { return tree_->InsertNode(nullptr, text); }

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
    return tree_->InsertNode(parent, text);
}

void TTreeNodes::Clear() {
    tree_->ReleaseAll();
    if (HWND h = tree_->WindowHandle()) TreeView_DeleteAllItems(h);
    tree_->CheckSelectionChange();
}

int TTreeNodes::TotalCount() const { return static_cast<int>(tree_->nodes_.size()); }

void TTreeNodes::BeginUpdate() { tree_->BeginUpdate(); }
void TTreeNodes::EndUpdate() { tree_->EndUpdate(); }

// ------------------------------------------------------------------- tree

const TPropTable& TTreeView::StaticProps() {
    static const TPropTable table{
        &TControl::StaticProps(),
        {IntProp<TTreeView, int>("Indent", &TTreeView::Indent, &TTreeView::SetIndent),
         BoolProp<TTreeView>("HideSelection", &TTreeView::HideSelection, &TTreeView::SetHideSelection),
         BoolProp<TTreeView>("ShowLines", &TTreeView::ShowLines, &TTreeView::SetShowLines),
         BoolProp<TTreeView>("ShowButtons", &TTreeView::ShowButtons, &TTreeView::SetShowButtons),
         BoolProp<TTreeView>("ShowRoot", &TTreeView::ShowRoot, &TTreeView::SetShowRoot),
         BoolProp<TTreeView>("RightClickSelect", &TTreeView::RightClickSelect,
                             &TTreeView::SetRightClickSelect)}};
    return table;
}

TTreeView::TTreeView(TComponent* owner) : TControl(owner), items_(this) { SetTabStop(true); }

TTreeView::~TTreeView() {
    // The window went in BeforeDestruction, its nodes reported as this
    // class's; deleted without it, the nodes go here unreported.
    ReleaseAll();
}

DWORD TTreeView::TreeStyle() const {
    return (hideSelection_ ? 0 : TVS_SHOWSELALWAYS) | (showLines_ ? TVS_HASLINES : 0) |
           (showButtons_ ? TVS_HASBUTTONS : 0) | (showRoot_ ? TVS_LINESATROOT : 0);
}

void TTreeView::CreateParams(TCreateParams& params) {
    TControl::CreateParams(params);
    params.className = WC_TREEVIEWW;
    params.exStyle = WS_EX_CLIENTEDGE;
    params.style = WS_CHILD | WS_CLIPSIBLINGS | TreeStyle();
}

void TTreeView::CreateWnd() {
    TControl::CreateWnd();
    HWND h = WindowHandle();
    if (images_) TreeView_SetImageList(h, images_->Handle(), TVSIL_NORMAL);
    if (stateImages_) TreeView_SetImageList(h, stateImages_->Handle(), TVSIL_STATE);
    TreeView_SetIndent(h, indent_);
}

void TTreeView::DestroyWnd() { ReleaseAll(); }

void TTreeView::ApplyStyle() {
    HWND h = WindowHandle();
    if (!h) return;
    constexpr DWORD mask = TVS_SHOWSELALWAYS | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT;
    const DWORD style = (static_cast<DWORD>(::GetWindowLongPtrW(h, GWL_STYLE)) & ~mask) | TreeStyle();
    ::SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(style));
    ::InvalidateRect(h, nullptr, TRUE);
}

void TTreeView::SetHideSelection(bool value) {
    hideSelection_ = value;
    ApplyStyle();
}
void TTreeView::SetShowLines(bool value) {
    showLines_ = value;
    ApplyStyle();
}
void TTreeView::SetShowButtons(bool value) {
    showButtons_ = value;
    ApplyStyle();
}
void TTreeView::SetShowRoot(bool value) {
    showRoot_ = value;
    ApplyStyle();
}

void TTreeView::SetIndent(int value) {
    indent_ = value;
    if (HWND h = WindowHandle()) TreeView_SetIndent(h, value);
}

void TTreeView::SetImages(TImageList* images) {
    if (images_ == images) return;
    if (images_) images_->RemoveFreeNotification(this);
    images_ = images;
    if (images_) images_->FreeNotification(this);
    if (HWND h = WindowHandle()) TreeView_SetImageList(h, images_ ? images_->Handle() : nullptr, TVSIL_NORMAL);
}

void TTreeView::SetStateImages(TImageList* images) {
    if (stateImages_ == images) return;
    if (stateImages_) stateImages_->RemoveFreeNotification(this);
    stateImages_ = images;
    if (stateImages_) stateImages_->FreeNotification(this);
    if (HWND h = WindowHandle())
        TreeView_SetImageList(h, stateImages_ ? stateImages_->Handle() : nullptr, TVSIL_STATE);
}

void TTreeView::Notification(TComponent* component, TOperation operation) {
    TControl::Notification(component, operation);
    if (operation != TOperation::opRemove) return;
    if (component == images_) SetImages(nullptr);
    if (component == stateImages_) SetStateImages(nullptr);
}

TTreeNode* TTreeView::NodeOf(HTREEITEM item) const {
    if (!item) return nullptr;
    auto it = nodes_.find(item);
    return it == nodes_.end() ? nullptr : it->second.get();
}

TTreeNode* TTreeView::InsertNode(TTreeNode* parent, const std::string& text, int image, int selectedImage, int state,
                                 bool hasChildren, bool hasChildrenSet) {
    if (parent && (parent->tree_ != this || parent->deleting_)) return nullptr;
    Handle();  // the window, made now if need be
    std::unique_ptr<TTreeNode> node(new TTreeNode(this, parent));
    node->text_ = text;
    node->image_ = image;
    node->selectedImage_ = selectedImage;
    node->state_ = std::max(0, state);
    node->hasChildren_ = hasChildren;
    node->hasChildrenSet_ = hasChildrenSet;
    std::wstring wide = ToWide(text);
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent ? parent->item_ : TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_STATE | TVIF_CHILDREN;
    ins.item.pszText = wide.data();
    ins.item.iImage = ImageForItem(node->image_);
    ins.item.iSelectedImage = ImageForItem(node->selectedImage_);
    ins.item.stateMask = TVIS_STATEIMAGEMASK;
    ins.item.state = INDEXTOSTATEIMAGEMASK(node->state_);
    ins.item.cChildren = node->hasChildren_ ? 1 : 0;
    ins.item.lParam = reinterpret_cast<LPARAM>(node.get());
    const auto item = reinterpret_cast<HTREEITEM>(SendToSystemControl(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    if (!item) throw std::runtime_error("the tree view refused a new node");
    node->item_ = item;
    TTreeNode* raw = node.get();
    nodes_[item] = std::move(node);
    (parent ? parent->children_ : roots_).push_back(raw);
    if (parent && !parent->hasChildren_) {
        parent->hasChildren_ = true;
        parent->UpdateItem(TVIF_CHILDREN);
    }
    return raw;
}

void TTreeView::ReleaseSubtree(TTreeNode* node) {
    if (!node || node->deleting_) return;
    node->deleting_ = true;
    const HTREEITEM item = node->item_;
    // Children first, each looked up again: a handler may delete others.
    const std::vector<TTreeNode*> children = node->children_;
    for (TTreeNode* c : children) {
        auto it = nodes_.find(c->item_);
        if (it != nodes_.end() && it->second.get() == c) ReleaseSubtree(c);
    }
    Fire(OnDeletion, this, node);
    auto it = nodes_.find(item);
    if (it == nodes_.end() || it->second.get() != node) return;
    auto& siblings = node->parent_ ? node->parent_->children_ : roots_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    for (TTreeNode* c : node->children_) c->parent_ = nullptr;
    // The node (and its payload) goes here, once.
    std::unique_ptr<TTreeNode> owned = std::move(it->second);
    nodes_.erase(it);
}

void TTreeView::ReleaseAll() {
    while (!roots_.empty()) {
        TTreeNode* last = roots_.back();
        if (last->deleting_) {
            // Only a handler deleting inside its own report gets here.
            roots_.pop_back();
            continue;
        }
        ReleaseSubtree(last);
    }
    // Nodes a handler created while the tree was going.
    while (!nodes_.empty()) {
        std::unique_ptr<TTreeNode> owned = std::move(nodes_.begin()->second);
        nodes_.erase(nodes_.begin());
        if (!owned->deleting_) {
            owned->deleting_ = true;
            Fire(OnDeletion, this, owned.get());
        }
    }
    roots_.clear();
}

void TTreeView::DeleteNode(TTreeNode* node) {
    if (!node || node->deleting_ || node->tree_ != this) return;
    const HTREEITEM item = node->item_;
    TTreeNode* parent = node->parent_;
    const HTREEITEM parentItem = parent ? parent->item_ : nullptr;
    ReleaseSubtree(node);
    if (HWND h = WindowHandle()) TreeView_DeleteItem(h, item);
    if (parent && NodeOf(parentItem) == parent && parent->children_.empty() && !parent->hasChildrenSet_) {
        parent->hasChildren_ = false;
        parent->UpdateItem(TVIF_CHILDREN);
    }
    CheckSelectionChange();
}

TTreeNode* TTreeView::Selected() const {
    HWND h = WindowHandle();
    return h ? NodeOf(TreeView_GetSelection(h)) : nullptr;
}

void TTreeView::SetSelected(TTreeNode* node) {
    if (node && node->tree_ != this) return;
    HWND h = Handle();
    TreeView_SelectItem(h, node ? node->item_ : nullptr);
    CheckSelectionChange();
}

void TTreeView::CheckSelectionChange() {
    HWND h = WindowHandle();
    const HTREEITEM current = h ? TreeView_GetSelection(h) : nullptr;
    TTreeNode* node = NodeOf(current);
    const HTREEITEM known = node ? current : nullptr;
    if (known == lastSelected_) return;
    lastSelected_ = known;
    Fire(OnChange, this, node);
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
    HWND h = WindowHandle();
    if (!h) return nullptr;
    TVHITTESTINFO ht{};
    ht.pt = POINT{x, y};
    TreeView_HitTest(h, &ht);
    return (ht.flags & TVHT_ONITEM) ? NodeOf(ht.hItem) : nullptr;
}

bool TTreeView::IsStateIconAt(int x, int y) const {
    HWND h = WindowHandle();
    if (!h) return false;
    TVHITTESTINFO ht{};
    ht.pt = POINT{x, y};
    TreeView_HitTest(h, &ht);
    return ht.hItem && (ht.flags & TVHT_ONITEMSTATEICON) != 0;
}

bool TTreeView::AskExpanding(TTreeNode* node, bool expand) {
    bool allow = true;
    Fire(expand ? OnExpanding : OnCollapsing, this, node, allow);
    return allow;
}

bool TTreeView::MouseDown(UINT message, WPARAM wParam, LPARAM lParam) {
    // The system control runs a loop of its own on a press (drag
    // detection) that swallows the release; this tree neither drags nor
    // edits, so the press is handled here and the release arrives.
    HWND h = WindowHandle();
    const int x = static_cast<short>(LOWORD(lParam)), y = static_cast<short>(HIWORD(lParam));
    if (::GetFocus() != h) ::SetFocus(h);
    if (!WindowHandle()) return true;
    TVHITTESTINFO ht{};
    ht.pt = POINT{x, y};
    TreeView_HitTest(h, &ht);
    TTreeNode* node = NodeOf(ht.hItem);
    if (message == WM_LBUTTONDOWN) {
        if (node && (ht.flags & TVHT_ONITEMBUTTON)) {
            if (node->Expanded())
                node->Collapse(false);
            else
                node->Expand(false);
        } else if (node && (ht.flags & TVHT_ONITEM)) {
            SetSelected(node);
        }
    } else if (rightClickSelect_ && node &&
               (ht.flags & (TVHT_ONITEM | TVHT_ONITEMINDENT | TVHT_ONITEMRIGHT | TVHT_ONITEMBUTTON))) {
        SetSelected(node);
    }
    if (!WindowHandle()) return true;
    ::SetCapture(h);
    Fire(OnMouseDown, this, message == WM_LBUTTONDOWN ? mbLeft : mbRight, ShiftOf(wParam), x, y);
    return true;
}

LRESULT TTreeView::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        if (MouseDown(message, wParam, lParam)) return 0;
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (::GetCapture() == WindowHandle()) ::ReleaseCapture();
        break;
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR:
        // Wine's tree view takes Alt+key as a plain key press and never
        // hands it on, so Alt+F4 and Alt alone would die in the tree:
        // system keys go to the default handling, as on Windows.
        return ::DefWindowProcW(WindowHandle(), message, wParam, lParam);
    case WM_DESTROY:
        // Destroyed with its parent window: the nodes go now.
        ReleaseAll();
        lastSelected_ = nullptr;
        break;
    default:
        break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

bool TTreeView::HandleNotify(NMHDR* header, LRESULT& result) {
    switch (header->code) {
    case TVN_SELCHANGEDW:
    case TVN_SELCHANGEDA:
        CheckSelectionChange();
        result = 0;
        return true;
    case TVN_ITEMEXPANDINGW:
    case TVN_ITEMEXPANDINGA: {
        // Both structures start alike up to the new item's handle.
        auto* nm = reinterpret_cast<NMTREEVIEWW*>(header);
        result = FALSE;
        if (expandingFromCode_) return true;
        TTreeNode* node = NodeOf(nm->itemNew.hItem);
        if (!node) return true;
        const bool expand = (nm->action & TVE_EXPAND) != 0 && !(nm->action & TVE_COLLAPSE);
        const bool toggleOpen = (nm->action & TVE_TOGGLE) == TVE_TOGGLE ? !node->Expanded() : expand;
        result = AskExpanding(node, toggleOpen) ? FALSE : TRUE;
        return true;
    }
    case TVN_DELETEITEMW:
    case TVN_DELETEITEMA: {
        // Items are deleted through the nodes; one that went some other way
        // is reported here.
        auto* nm = reinterpret_cast<NMTREEVIEWW*>(header);
        if (TTreeNode* node = NodeOf(nm->itemOld.hItem)) ReleaseSubtree(node);
        result = 0;
        return true;
    }
    default:
        return false;
    }
}

}  // namespace omb::forms
