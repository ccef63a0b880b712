#include "config/cb_app_form.h"

#include <shellapi.h>

#include <vector>

#include "config/about_form.h"
#include "config/detail_panel.h"
#include "config/options_form.h"
#include "forms/application.h"
#include "foundation/winfuncs.h"

#if __has_include("forms/treeview.h")
#include "forms/imagelist.h"
#include "forms/treeview.h"
#define OMB_EDITOR_TREE 1
#endif

namespace omb::config {

using namespace forms;

namespace {

#if OMB_EDITOR_TREE
class TreeNodeAdapter;
struct NodeLink : TTreeNodePayload {
    std::unique_ptr<TreeNodeAdapter> adapter;
};

// A node of the tree view as the model sees it.
class TreeNodeAdapter : public ITreeNode {
public:
    explicit TreeNodeAdapter(TTreeNode* node) : node_(node) {}
    static TreeNodeAdapter* Of(TTreeNode* node) {
        if (!node) return nullptr;
        if (!node->Payload()) {
            auto link = std::make_unique<NodeLink>();
            link->adapter = std::make_unique<TreeNodeAdapter>(node);
            node->SetPayload(std::move(link));
        }
        return static_cast<NodeLink*>(node->Payload())->adapter.get();
    }
    TTreeNode* Node() const { return node_; }
    void SetText(const std::string& text) override { node_->SetText(text); }
    void SetImageIndex(int index) override { node_->SetImageIndex(index); }
    void SetSelectedIndex(int index) override { node_->SetSelectedIndex(index); }
    void SetStateIndex(int index) override { node_->SetStateIndex(index); }
    void SetHasChildren(bool value) override { node_->SetHasChildren(value); }
    bool HasChildren() override { return node_->HasChildren(); }
    int ChildCount() override { return node_->Count(); }
    ITreeNode* Parent() override { return Of(node_->Parent()); }
    ITreeNode* AddChild(const std::string& text) override { return Of(node_->AddChild(text)); }
    void SetData(std::unique_ptr<TTNStruct> data) override { data_ = std::move(data); }
    TTNStruct* Data() override { return data_.get(); }
    bool IsStateIconAt(int x, int y) override { return node_->TreeView()->IsStateIconAt(x, y); }

private:
    TTreeNode* node_;
    std::unique_ptr<TTNStruct> data_;
};
#else
// Until the tree view control is there: nodes without a window.
class TreeNodeAdapter : public ITreeNode {
public:
    explicit TreeNodeAdapter(TreeNodeAdapter* parent) : parent_(parent) {}
    void SetText(const std::string&) override {}
    void SetImageIndex(int) override {}
    void SetSelectedIndex(int) override {}
    void SetStateIndex(int) override {}
    void SetHasChildren(bool value) override { hasChildren_ = value; }
    bool HasChildren() override { return hasChildren_ || !children_.empty(); }
    int ChildCount() override { return int(children_.size()); }
    ITreeNode* Parent() override { return parent_; }
    ITreeNode* AddChild(const std::string&) override {
        children_.emplace_back(new TreeNodeAdapter(this));
        return children_.back().get();
    }
    void SetData(std::unique_ptr<TTNStruct> data) override { data_ = std::move(data); }
    TTNStruct* Data() override { return data_.get(); }
    bool IsStateIconAt(int, int) override { return false; }

    TreeNodeAdapter* parent_;
    std::vector<std::unique_ptr<TreeNodeAdapter>> children_;
    std::unique_ptr<TTNStruct> data_;
    bool hasChildren_ = false;
};
#endif

// Bars until the tool bar control is there: the commands are reached by
// their short-cuts only.
class BarBuilder : public ICommandBarBuilder {
public:
    void* AddMenuItem(void*, TCommandAction* action, TCommandKind) override {
        actions.push_back(action);
        return action;
    }
    void* AddToolButton(TCommandAction* action, TCommandKind kind) override {
        actions.push_back(action);
        return kind == TCommandKind::Group ? action : nullptr;
    }
    std::vector<TCommandAction*> actions;
};

TKeyMessage KeyOf(const MSG& message) {
    TKeyMessage key;
    key.key = uint16_t(message.wParam);
    key.shift = ::GetKeyState(VK_SHIFT) < 0;
    key.ctrl = ::GetKeyState(VK_CONTROL) < 0;
    key.alt = (message.lParam & (1 << 29)) != 0;
    return key;
}

class EditorWindow : public IEditorWindow {
public:
    explicit EditorWindow(IEditorEvents& events) : events_(events), form_(new TCBAppForm(nullptr)) {
        Application().SetMainForm(form_.get());
        form_->OnCloseQuery = [this](TComponent*, bool& canClose) { canClose = events_.CloseQuery(); };
        form_->OnShortCut = [this](const MSG& message, bool& handled) {
            if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN)
                handled = events_.ShortCut(KeyOf(message));
        };
#if OMB_EDITOR_TREE
        tree_ = static_cast<TTreeView*>(form_->TreeView);
        tree_->OnChange = [this](TComponent*, TTreeNode* node) {
            events_.SelectionChanged(TreeNodeAdapter::Of(node));
        };
        tree_->OnDeletion = [this](TComponent*, TTreeNode* node) {
            if (node->Payload()) events_.NodeDeleting(TreeNodeAdapter::Of(node));
        };
        tree_->OnExpanding = [this](TComponent*, TTreeNode* node, bool&) {
            events_.NodeExpanding(TreeNodeAdapter::Of(node));
        };
        tree_->OnMouseUp = [this](TComponent*, TMouseButton button, unsigned shift, int x, int y) {
            if (TTreeNode* node = tree_->GetNodeAt(x, y))
                events_.TreeMouseUp(TreeNodeAdapter::Of(node), int(button), int(shift), x, y);
        };
#endif
        // The idle pass outlives the window: it holds only a flag.
        alive_ = std::make_shared<IEditorEvents*>(&events_);
        std::weak_ptr<IEditorEvents*> alive = alive_;
        Application().idleHandlers.push_back([alive] {
            if (auto events = alive.lock()) (*events)->UpdateCommands();
        });
    }
    ~EditorWindow() override {
        alive_.reset();
        if (Application().MainForm() == form_.get()) Application().SetMainForm(nullptr);
    }

    void SetCaption(const std::string& caption) override { form_->SetText(caption); }
#if OMB_EDITOR_TREE
    ITreeNode* AddTopNode() override { return TreeNodeAdapter::Of(tree_->Items().Add(std::string())); }
    ITreeNode* SelectedNode() override { return TreeNodeAdapter::Of(tree_->Selected()); }
    ITreeNode* FirstNode() override { return TreeNodeAdapter::Of(tree_->Items().GetFirstNode()); }
    void SelectNode(ITreeNode* node) override {
        tree_->SetSelected(node ? static_cast<TreeNodeAdapter*>(node)->Node() : nullptr);
    }
    ITreeNode* NodeAbove(ITreeNode* node) override {
        TTreeNode* n = static_cast<TreeNodeAdapter*>(node)->Node();
        TTreeNode* prev = n->GetPrevSibling();
        if (!prev) return TreeNodeAdapter::Of(n->Parent());
        // The last shown node of the previous sibling's subtree.
        while (prev->Expanded() && prev->Count() > 0) prev = prev->Item(prev->Count() - 1);
        return TreeNodeAdapter::Of(prev);
    }
    void DeleteNode(ITreeNode* node) override { static_cast<TreeNodeAdapter*>(node)->Node()->Delete(); }
    void ExpandNode(ITreeNode* node) override { static_cast<TreeNodeAdapter*>(node)->Node()->Expand(false); }
#else
    ITreeNode* AddTopNode() override {
        top_.reset(new TreeNodeAdapter(nullptr));
        return top_.get();
    }
    ITreeNode* SelectedNode() override { return selected_; }
    ITreeNode* FirstNode() override { return top_.get(); }
    void SelectNode(ITreeNode* node) override {
        selected_ = static_cast<TreeNodeAdapter*>(node);
        events_.SelectionChanged(node);
    }
    ITreeNode* NodeAbove(ITreeNode* node) override {
        auto* n = static_cast<TreeNodeAdapter*>(node);
        TreeNodeAdapter* parent = n->parent_;
        if (!parent) return nullptr;
        for (size_t i = 1; i < parent->children_.size(); ++i)
            if (parent->children_[i].get() == n) return parent->children_[i - 1].get();
        return parent;
    }
    void DeleteNode(ITreeNode* node) override {
        auto* n = static_cast<TreeNodeAdapter*>(node);
        Report(n);
        if (selected_ == n) selected_ = nullptr;
        if (!n->parent_) {
            top_.reset();
            return;
        }
        auto& list = n->parent_->children_;
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->get() == n) {
                list.erase(it);
                break;
            }
    }
    void ExpandNode(ITreeNode* node) override { events_.NodeExpanding(node); }
#endif

    void FreezeDetail(bool freeze) override {
        if (freeze)
            form_->DetailPanel->DisableRedraw();
        else
            form_->DetailPanel->EnableRedraw();
    }
    void ClearDetail() override {
        TPanel* area = form_->DetailPanel;
        for (size_t i = area->ControlCount(); i-- > 0;) {
            TControl* c = area->Control(i);
            c->Hide();
            c->SetParent(nullptr);
        }
    }
    void ShowDetail(TAbstractDetailPanel* panel) override {
        TDetailPanelFrame* frame = TDetailPanelFrame::FromPanel(panel);
        if (!frame) return;
        frame->SetAlign(TAlign::alClient);
        frame->Show();
        frame->SetParent(form_->DetailPanel);
    }
    ICommandBarBuilder& MenuBar() override { return menu_; }
    ICommandBarBuilder& ToolBar() override { return toolbar_; }
    void BarsBuilt() override {}
    void RunModal() override { form_->ShowModal(); }
    void Close() override { form_->Close(); }
    void CommitEdit() override { form_->CommitActiveControl(); }
    int Ask(const std::string& text, const std::string& title, TAskButtons buttons, bool question) override {
        UINT flags = buttons == askYesNo ? MB_YESNO : buttons == askYesNoCancel ? MB_YESNOCANCEL : MB_OK;
        flags |= question ? MB_ICONQUESTION : MB_ICONWARNING;
        return Application().MessageBox(text, title, flags);
    }
    void ShellOpen(const std::string& file, const std::string& folder) override {
        ::ShellExecuteW(form_->Handle(), L"open", ToWide(file).c_str(), nullptr, ToWide(folder).c_str(), SW_SHOW);
    }
    bool ShowOptions() override {
        TOptionsForm dialog(form_.get());
        return dialog.ShowModal() == mrOk;
    }
    void ShowAbout() override { ShowAboutDialog(form_.get()); }

private:
#if !OMB_EDITOR_TREE
    void Report(TreeNodeAdapter* n) {
        for (auto& c : n->children_) Report(c.get());
        events_.NodeDeleting(n);
    }
    std::unique_ptr<TreeNodeAdapter> top_;
    TreeNodeAdapter* selected_ = nullptr;
#else
    TTreeView* tree_;
#endif
    IEditorEvents& events_;
    std::unique_ptr<TCBAppForm> form_;
    BarBuilder menu_, toolbar_;
    std::shared_ptr<IEditorEvents*> alive_;
};

}  // namespace

TCBAppForm::TCBAppForm(TComponent* owner) : TForm(owner) {
    BeginLoading();
    SetName("CBAppForm");
    SetBounds(0, 0, 608, 467);
    SetPosition(TPosition::poScreenCenter);
    SetShowHint(true);
    ControlBar = new TPanel(this);
    ControlBar->SetName("ControlBar");
    ControlBar->SetParent(this);
    ControlBar->SetBounds(0, 0, 608, 56);
    ControlBar->SetAlign(TAlign::alTop);
#if OMB_EDITOR_TREE
    auto* treeImages = new TImageList(this);
    treeImages->SetName("TreeViewImages");
    treeImages->AddResource(Application().Instance(), "TREEIMAGES");
    auto* stateImages = new TImageList(this);
    stateImages->SetName("TreeViewStateImages");
    stateImages->AddResource(Application().Instance(), "STATEIMAGES");
    auto* tree = new TTreeView(this);
    tree->SetImages(treeImages);
    tree->SetStateImages(stateImages);
    tree->SetIndent(19);
    tree->SetHideSelection(false);
    tree->SetRightClickSelect(true);
    TreeView = tree;
#else
    TreeView = new TPanel(this);
#endif
    TreeView->SetName("TreeView");
    TreeView->SetParent(this);
    TreeView->SetBounds(0, 56, 161, 384);
    TreeView->SetAlign(TAlign::alLeft);
    DetailPanel = new TPanel(this);
    DetailPanel->SetName("DetailPanel");
    DetailPanel->SetParent(this);
    DetailPanel->SetBounds(166, 56, 434, 384);
    DetailPanel->SetAlign(TAlign::alClient);
    EndLoading();
}

TCBAppForm::~TCBAppForm() = default;

std::unique_ptr<IEditorWindow> CreateEditorWindow(IEditorEvents& events) {
    return std::make_unique<EditorWindow>(events);
}

}  // namespace omb::config
