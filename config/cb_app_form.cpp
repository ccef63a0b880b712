#include "config/cb_app_form.h"

#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "config/about_form.h"
#include "config/detail_panel.h"
#include "config/options_form.h"
#include "forms/application.h"
#include "forms/wait_cursor.h"
#include "foundation/languages.h"
#include "foundation/winfuncs.h"


namespace omb::config {

using namespace forms;

namespace {

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
    void SetLook(const TNodeLook& look) override {
        node_->SetLook(look.text, look.imageIndex, look.selectedIndex, look.stateIndex, look.hasChildren);
    }
    void SetText(const std::string& text) override { node_->SetText(text); }
    void SetImageIndex(int index) override { node_->SetImageIndex(index); }
    void SetSelectedIndex(int index) override { node_->SetSelectedIndex(index); }
    void SetStateIndex(int index) override { node_->SetStateIndex(index); }
    void SetHasChildren(bool value) override { node_->SetHasChildren(value); }
    bool HasChildren() override { return node_->HasChildren(); }
    int ChildCount() override { return node_->Count(); }
    ITreeNode* Parent() override { return Of(node_->Parent()); }
    ITreeNode* AddChild(const std::string& text) override { return Of(node_->AddChild(text)); }
    ITreeNode* AddChildWithLook(const TNodeLook& look) override {
        return Of(node_->AddChild(look.text, look.imageIndex, look.selectedIndex, look.stateIndex, look.hasChildren));
    }
    void SetData(std::unique_ptr<TTNStruct> data) override { data_ = std::move(data); }
    TTNStruct* Data() override { return data_.get(); }
    bool IsStateIconAt(int x, int y) override { return node_->TreeView()->IsStateIconAt(x, y); }

private:
    TTreeNode* node_;
    std::unique_ptr<TTNStruct> data_;
};

// Menu items and tool buttons linked to the commands' actions: built from
// the command documents, then following their actions (caption, hint,
// image, short-cut, enabled) after each idle pass and before a menu opens.
class BarBuilder : public ICommandBarBuilder {
public:
    BarBuilder(TToolBar* bar, HIMAGELIST images, bool menuBar) : bar_(bar), images_(images), menuBar_(menuBar) {}

    void* AddMenuItem(void* parent, TCommandAction* action, TCommandKind kind) override {
        auto* owner = static_cast<TMenuItem*>(parent);
        auto* item = new TMenuItem(bar_->Owner());
        if (kind == TCommandKind::Separator) {
            item->SetCaption("-");
        } else {
            item->OnUpdate = [action](TMenuItem* i) {
                if (action->OnUpdate) action->OnUpdate(*action);
                Follow(i, action);
            };
            item->OnClick = [action](TComponent*) { action->Execute(); };
            items_.push_back({item, action});
            Follow(item, action);
        }
        if (owner) owner->Add(item);
        return item;
    }

    void* AddToolButton(TCommandAction* action, TCommandKind kind) override {
        // The commands come from the last to the first: each goes in front.
        auto* button = new TToolButton(bar_->Owner());
        button->SetGrouped(true);
        if (kind == TCommandKind::Separator) {
            button->SetStyle(TToolButtonStyle::tbsSeparator);
            button->SetAutoSize(false);
            button->SetWidth(8);
            bar_->InsertButton(button, 0);
            return button;
        }
        bar_->InsertButton(button, 0);
        buttons_.push_back({button, action});
        if (kind == TCommandKind::Group) {
            auto* menu = new TPopupMenu(button);
            menu->SetImages(images_);
            button->SetDropdownMenu(menu);
            Follow(button, action);
            return menu->Items();
        }
        button->OnClick = [action](TComponent*) { action->Execute(); };
        // A press updates the button before the bar takes it.
        button->OnUpdate = [action](TToolButton* b) {
            if (action->OnUpdate) action->OnUpdate(*action);
            Follow(b, action);
        };
        Follow(button, action);
        return button;
    }

    // Every button and item shows its action's present state.
    void FollowActions() {
        for (auto& [button, action] : buttons_) Follow(button, action);
        if (menuBar_) GiveAccessKeys();
        for (auto& [item, action] : items_) Follow(item, action);
    }

private:
    static void Follow(TToolButton* button, TCommandAction* action) {
        if (!button->DropdownMenu() || button->Caption().empty()) button->SetCaption(action->caption);
        button->SetHint(action->hint);
        button->SetImageIndex(action->imageIndex);
        button->SetEnabled(action->Enabled());
    }
    static void Follow(TMenuItem* item, TCommandAction* action) {
        item->SetCaption(action->caption);
        item->SetHint(action->hint);
        item->SetImageIndex(action->imageIndex);
        item->SetEnabled(action->Enabled());
        const unsigned shift = ((action->shortCut & scShift) ? ssShift : 0) |
                               ((action->shortCut & scCtrl) ? ssCtrl : 0) | ((action->shortCut & scAlt) ? ssAlt : 0);
        item->SetShortCutText(ShortCutText(WORD(action->shortCut & 0xFF), shift));
    }
    // A menu bar caption without an access key ("Window Rule", "Actions"
    // in the English texts) gets the first of its letters that no other
    // button of the bar uses, so Alt+letter reaches every menu.
    void GiveAccessKeys() {
        std::vector<wchar_t> used;
        for (auto& [button, action] : buttons_)
            if (wchar_t k = AccessKeyOf(action->caption)) used.push_back(k);
        for (auto& [button, action] : buttons_) {
            if (AccessKeyOf(action->caption)) {
                button->SetCaption(action->caption);
                continue;
            }
            std::wstring w = ToWide(action->caption);
            std::string caption = action->caption;
            for (size_t i = 0; i < w.size(); ++i) {
                const wchar_t up = wchar_t(std::towupper(w[i]));
                if (!std::iswalpha(w[i]) || std::find(used.begin(), used.end(), up) != used.end()) continue;
                used.push_back(up);
                caption = FromWide(w.substr(0, i)) + "&" + FromWide(w.substr(i));
                break;
            }
            button->SetCaption(caption);
        }
    }

    TToolBar* bar_;
    HIMAGELIST images_;
    bool menuBar_;
    std::vector<std::pair<TToolButton*, TCommandAction*>> buttons_;
    std::vector<std::pair<TMenuItem*, TCommandAction*>> items_;
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
    explicit EditorWindow(IEditorEvents& events)
        : events_(events),
          form_(new TCBAppForm(nullptr)),
          tree_(form_->TreeView),
          menu_(form_->MenuToolBar, form_->ToolBarImages->Handle(), true),
          toolbar_(form_->ToolBarToolBar, form_->ToolBarImages->Handle(), false) {
        Application().SetMainForm(form_.get());
        form_->CloseQueryHandler = [this] { return events_.CloseQuery(); };
        form_->OnShortCut = [this](const MSG& message, bool& handled) {
            if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN)
                handled = events_.ShortCut(KeyOf(message));
        };
        tree_->OnChange = [this](TComponent*, TTreeNode* node) {
            events_.SelectionChanged(TreeNodeAdapter::Of(node));
        };
        tree_->OnDeletion = [this](TComponent*, TTreeNode* node) {
            if (node->Payload()) events_.NodeDeleting(TreeNodeAdapter::Of(node));
        };
        tree_->OnExpanding = [this](TComponent*, TTreeNode* node, bool&) {
            // A node may fill a thousand children here: the tree lays out
            // and paints once, after them.
            tree_->Items().BeginUpdate();
            try {
                events_.NodeExpanding(TreeNodeAdapter::Of(node));
            } catch (...) {
                tree_->Items().EndUpdate();
                throw;
            }
            tree_->Items().EndUpdate();
        };
        tree_->OnMouseUp = [this](TComponent*, TMouseButton button, unsigned shift, int x, int y) {
            if (TTreeNode* node = tree_->GetNodeAt(x, y))
                events_.TreeMouseUp(TreeNodeAdapter::Of(node), int(button), int(shift), x, y);
        };
        // The idle pass outlives the window: it holds only a weak link.
        alive_ = std::make_shared<EditorWindow*>(this);
        std::weak_ptr<EditorWindow*> alive = alive_;
        Application().idleHandlers.push_back([alive] {
            if (auto window = alive.lock()) (*window)->Idle();
        });
    }
    ~EditorWindow() override {
        alive_.reset();
        if (Application().MainForm() == form_.get()) Application().SetMainForm(nullptr);
    }

    void Idle() {
        events_.UpdateCommands();
        menu_.FollowActions();
        toolbar_.FollowActions();
    }

    void SetCaption(const std::string& caption) override { form_->SetText(caption); }
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
    void BarsBuilt() override {
        menu_.FollowActions();
        toolbar_.FollowActions();
        form_->ControlBar->ArrangeBars();
    }
    void RunModal() override { form_->ShowModal(); }
    void Close() override { form_->Close(); }
    void CommitEdit() override { form_->CommitActiveControl(); }
    void SetBusy(bool busy) override {
        if (busy)
            wait_ = std::make_unique<TWaitCursor>();
        else
            wait_.reset();
    }
    int Ask(const std::string& text, const std::string& title, TAskButtons buttons, bool question) override {
        UINT flags = buttons == askYesNo ? MB_YESNO : buttons == askYesNoCancel ? MB_YESNOCANCEL : MB_OK;
        flags |= question ? MB_ICONQUESTION : MB_ICONWARNING;
        return Application().MessageBox(text, title, flags);
    }
    void ShellOpen(const std::string& file, const std::string& folder) override {
        const HINSTANCE result = ::ShellExecuteW(form_->Handle(), L"open", ToWide(file).c_str(), nullptr,
                                                 ToWide(folder).c_str(), SW_SHOW);
        // A missing program or help file is said, not silently ignored.
        if (reinterpret_cast<INT_PTR>(result) <= 32) {
            const std::string text = GetMLString("CBAppForm_OpenFailed", "Could not open") + " \"" + file + "\".";
            Ask(text, Application().Title(), askOkOnly, false);
        }
    }
    bool ShowOptions() override {
        auto dialog = MakeComponent<TOptionsForm>(form_.get());
        return dialog->ShowModal() == mrOk;
    }
    void ShowAbout() override { ShowAboutDialog(form_.get()); }

private:
    IEditorEvents& events_;
    TComponentPtr<TCBAppForm> form_;
    TTreeView* tree_;
    BarBuilder menu_, toolbar_;
    std::shared_ptr<EditorWindow*> alive_;
    std::unique_ptr<TWaitCursor> wait_;
};

}  // namespace

TCBAppForm::TCBAppForm(TComponent* owner) : TForm(owner) {
    BeginLoading();
    SetName("CBAppForm");
    SetBounds(0, 0, 608, 467);
    SetPosition(TPosition::poScreenCenter);
    SetShowHint(true);
    // The image lists first: they outlive the controls that show them.
    TreeViewImages = new TImageList(this);
    TreeViewImages->SetName("TreeViewImages");
    TreeViewImages->AddResource(Application().Instance(), "TREEIMAGES");
    TreeViewStateImages = new TImageList(this);
    TreeViewStateImages->SetName("TreeViewStateImages");
    TreeViewStateImages->AddResource(Application().Instance(), "STATEIMAGES");
    ToolBarImages = new TImageList(this);
    ToolBarImages->SetName("ToolBarImages");
    ToolBarImages->AddResource(Application().Instance(), "TOOLBARIMAGES");

    ControlBar = new TControlBar(this);
    ControlBar->SetName("ControlBar");
    ControlBar->SetParent(this);
    ControlBar->SetBounds(0, 0, 600, 56);
    ControlBar->SetAlign(TAlign::alTop);
    ControlBar->SetAutoSize(true);
    MenuToolBar = new TToolBar(this);
    MenuToolBar->SetName("MenuToolBar");
    MenuToolBar->SetParent(ControlBar);
    MenuToolBar->SetBounds(TControlBar::kGripWidth, TControlBar::kRowPadding, 150, 22);
    MenuToolBar->SetAutoSize(true);
    MenuToolBar->SetButtonWidth(43);
    MenuToolBar->SetFlat(true);
    MenuToolBar->SetImages(ToolBarImages->Handle());
    MenuToolBar->SetList(true);
    MenuToolBar->SetShowCaptions(true);
    MenuToolBar->SetWrapable(false);
    ToolBarToolBar = new TToolBar(this);
    ToolBarToolBar->SetName("ToolBarToolBar");
    ToolBarToolBar->SetParent(ControlBar);
    ToolBarToolBar->SetBounds(TControlBar::kGripWidth, 30, 100, 22);
    ToolBarToolBar->SetAutoSize(true);
    ToolBarToolBar->SetFlat(true);
    ToolBarToolBar->SetImages(ToolBarImages->Handle());
    ToolBarToolBar->SetShowCaptions(false);
    ToolBarToolBar->SetWrapable(false);

    TreeView = new TTreeView(this);
    TreeView->SetName("TreeView");
    TreeView->SetParent(this);
    TreeView->SetBounds(0, 56, 161, 384);
    TreeView->SetAlign(TAlign::alLeft);
    TreeView->SetImages(TreeViewImages);
    TreeView->SetStateImages(TreeViewStateImages);
    TreeView->SetIndent(19);
    TreeView->SetHideSelection(false);
    TreeView->SetRightClickSelect(true);
    Splitter = new TSplitter(this);
    Splitter->SetName("Splitter");
    Splitter->SetParent(this);
    Splitter->SetBounds(161, 56, 5, 384);
    Splitter->SetAlign(TAlign::alLeft);
    DetailPanel = new TPanel(this);
    DetailPanel->SetName("DetailPanel");
    DetailPanel->SetParent(this);
    DetailPanel->SetBounds(166, 56, 434, 384);
    DetailPanel->SetAlign(TAlign::alClient);
    // The window's place and the bars' and tree's sizes between runs.
    OnCloseQuery = [this](TComponent*, bool& canClose) { canClose = !CloseQueryHandler || CloseQueryHandler(); };
    FormStorage = new TFormStorage(this);
    FormStorage->SetName("FormStorage");
    FormStorage->SetUseRegistry(true);
    FormStorage->SetStoredProps(std::vector<std::string>{
        "TreeView.Width", "MenuToolBar.Height", "MenuToolBar.Left", "MenuToolBar.Top", "MenuToolBar.Width",
        "ToolBarToolBar.Top", "ToolBarToolBar.Width", "ToolBarToolBar.Left", "ToolBarToolBar.Height"});
    EndLoading();
    // FormCreate
    FormStorage->SetIniFileName("SOFTWARE\\Quennet\\Ombrel\\Tarvel Windows");
}

TCBAppForm::~TCBAppForm() = default;

std::unique_ptr<IEditorWindow> CreateEditorWindow(IEditorEvents& events) {
    return std::make_unique<EditorWindow>(events);
}

}  // namespace omb::config
