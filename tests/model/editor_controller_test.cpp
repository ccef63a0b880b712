// The editor's controller over a main window without windows: the tree, the
// bars, the commands and their states, the questions it asks.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/shared.h"
#include "foundation/xml_storage.h"
#include "model/editor_controller.h"
#include "model_test_support.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {

class Node : public ITreeNode {
public:
    Node(Node* parent, IEditorEvents* events) : parent_(parent), events_(events) {}
    void SetText(const std::string& text) override { text_ = text; }
    void SetImageIndex(int index) override { image_ = index; }
    void SetSelectedIndex(int) override {}
    void SetStateIndex(int index) override { state_ = index; }
    void SetHasChildren(bool value) override { hasChildren_ = value; }
    bool HasChildren() override { return hasChildren_ || !children_.empty(); }
    int ChildCount() override { return int(children_.size()); }
    ITreeNode* Parent() override { return parent_; }
    ITreeNode* AddChild(const std::string& text) override {
        children_.emplace_back(new Node(this, events_));
        children_.back()->text_ = text;
        return children_.back().get();
    }
    void SetData(std::unique_ptr<TTNStruct> data) override { data_ = std::move(data); }
    TTNStruct* Data() override { return data_.get(); }
    bool IsStateIconAt(int x, int) override { return x < 16; }

    // Deletion as a tree view does it: each node reported, the lowest first.
    void ReportDeletion() {
        for (auto& c : children_) c->ReportDeletion();
        events_->NodeDeleting(this);
        EXPECT_EQ(data_, nullptr) << "payload kept after deletion";
    }
    void Remove(Node* child) {
        children_.erase(std::remove_if(children_.begin(), children_.end(),
                                       [child](const std::unique_ptr<Node>& c) { return c.get() == child; }),
                        children_.end());
    }
    Node* Child(int i) { return children_[size_t(i)].get(); }
    int Index() const {
        if (!parent_) return 0;
        for (size_t i = 0; i < parent_->children_.size(); ++i)
            if (parent_->children_[i].get() == this) return int(i);
        return -1;
    }

    std::string text_;
    int image_ = -1, state_ = -1;

private:
    Node* parent_;
    IEditorEvents* events_;
    std::vector<std::unique_ptr<Node>> children_;
    std::unique_ptr<TTNStruct> data_;
    bool hasChildren_ = false;
};

// A bar that records its buttons as the tool bars show them.
struct Bar : ICommandBarBuilder {
    std::vector<TCommandAction*> buttons;
    std::vector<std::pair<TCommandAction*, TCommandKind>> menuItems;
    void* AddMenuItem(void*, TCommandAction* action, TCommandKind kind) override {
        menuItems.emplace_back(action, kind);
        return action;
    }
    void* AddToolButton(TCommandAction* action, TCommandKind kind) override {
        buttons.insert(buttons.begin(), action);
        return kind == TCommandKind::Group ? action : nullptr;
    }
    TCommandAction* Find(const std::string& name) {
        for (TCommandAction* a : buttons)
            if (a->name == name) return a;
        return nullptr;
    }
};

struct Window : IEditorWindow {
    explicit Window(IEditorEvents& e) : events(e) {}
    ~Window() override { EXPECT_TRUE(top.empty()) << "nodes left in the tree"; }

    void SetCaption(const std::string& c) override { caption = c; }
    ITreeNode* AddTopNode() override {
        top.emplace_back(new Node(nullptr, &events));
        return top.back().get();
    }
    ITreeNode* SelectedNode() override { return selected; }
    ITreeNode* FirstNode() override { return top.empty() ? nullptr : top.front().get(); }
    void SelectNode(ITreeNode* node) override {
        selected = static_cast<Node*>(node);
        events.SelectionChanged(node);
    }
    ITreeNode* NodeAbove(ITreeNode* node) override {
        auto* n = static_cast<Node*>(node);
        auto* parent = static_cast<Node*>(n->Parent());
        if (!parent) return nullptr;
        const int i = n->Index();
        return i > 0 ? parent->Child(i - 1) : parent;
    }
    void DeleteNode(ITreeNode* node) override {
        auto* n = static_cast<Node*>(node);
        n->ReportDeletion();
        if (selected == n) selected = nullptr;
        if (auto* parent = static_cast<Node*>(n->Parent()))
            parent->Remove(n);
        else
            top.clear();
    }
    void ExpandNode(ITreeNode* node) override { events.NodeExpanding(node); }
    void FreezeDetail(bool f) override { frozen += f ? 1 : -1; }
    void ClearDetail() override { shown = nullptr; }
    void ShowDetail(TAbstractDetailPanel* panel) override { shown = panel; }
    ICommandBarBuilder& MenuBar() override { return menu; }
    ICommandBarBuilder& ToolBar() override { return toolbar; }
    void BarsBuilt() override {}
    void RunModal() override {}
    void Close() override { closeAnswer = events.CloseQuery() ? 1 : 0; }
    void CommitEdit() override {
        ++commits;
        if (onCommit) onCommit();
    }
    void SetBusy(bool b) override {
        busy += b ? 1 : -1;
        if (b) ++busySpans;
    }
    int Ask(const std::string& text, const std::string& title, TAskButtons, bool) override {
        questions.push_back(text);
        titles.push_back(title);
        return answer;
    }
    void ShellOpen(const std::string& file, const std::string& folder) override {
        opened.push_back(file + "|" + folder);
    }
    bool ShowOptions() override { return false; }
    void ShowAbout() override { ++abouts; }

    IEditorEvents& events;
    std::vector<std::unique_ptr<Node>> top;
    Node* selected = nullptr;
    std::string caption;
    int frozen = 0, commits = 0, abouts = 0, closeAnswer = -1, busy = 0, busySpans = 0;
    TAbstractDetailPanel* shown = nullptr;
    Bar menu, toolbar;
    int answer = askNo;
    std::vector<std::string> questions, titles, opened;
    // What the focused field stores when it commits.
    std::function<void()> onCommit;
};

struct EditorControllerTest : ModelTest {
    void SetUp() override {
        ModelTest::SetUp();
        CreateDetailPanelRegistry();
        AppPath = folder.Name();
        SettingsFileName = "Ombrel.ini";
        SetEditorWindowFactory([this](IEditorEvents& events) {
            auto w = std::make_unique<Window>(events);
            window = w.get();
            return std::unique_ptr<IEditorWindow>(std::move(w));
        });
    }
    void TearDown() override {
        if (root) {
            root->CloseUI();
            root->Disconnect();
            root = nullptr;
        }
        SetEditorWindowFactory(nullptr);
        FreeDetailPanelRegistry();
        ModelTest::TearDown();
    }
    // A root with rules of these names, its user interface open.
    void Open(const std::vector<std::string>& rules) {
        root = New<TTarvelWindows>("TARVILWINDOWS", "");
        // As the editor does after loading: the tree links its children.
        root->SetOwner(nullptr);
        Ref<IBOMCollection> list = root->GetObject("window_rules").As<IBOMCollection>();
        for (const std::string& name : rules) list->AddItem(CreateBOMObject("WINDOWRULE", name).get());
        root->SetModified(false);
        root->OpenUI();
        ASSERT_NE(window, nullptr);
        ASSERT_NE(root->Controller(), nullptr);
    }
    // A root loaded from the settings file as the editor loads it, its user
    // interface open.
    void OpenFile(const std::string& text) {
        WriteBytes(folder.Path("Ombrel.ini"), text);
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        ASSERT_TRUE(storage->LoadFromFile(folder.Path("Ombrel.ini")));
        root = New<TTarvelWindows>("TARVILWINDOWS", "");
        {
            TRuleLoadScope later(TRuleLoadScope::kReadLater);
            storage->LoadObject(static_cast<IPersistObject*>(root.get()));
        }
        root->SetOwner(nullptr);
        root->OpenUI();
        ASSERT_NE(window, nullptr);
    }
    Node* RootNode() { return window->top.front().get(); }
    // Runs a command the way a tool button does.
    bool Run(const std::string& name) {
        TCommandAction* a = window->toolbar.Find(name);
        if (!a) a = MenuAction(name);
        return a && a->Execute();
    }
    TCommandAction* MenuAction(const std::string& name) {
        for (auto& item : window->menu.menuItems)
            if (item.first->name == name) return item.first;
        return window->menu.Find(name);
    }
    bool Enabled(const std::string& name) {
        TCommandAction* a = window->toolbar.Find(name);
        if (!a) a = MenuAction(name);
        if (!a) return false;
        a->OnUpdate(*a);
        return a->Enabled();
    }
    std::string FileText() { return ReadBytes(folder.Path("Ombrel.ini")); }

    TempFolder folder;
    Ref<TTarvelWindows> root;
    Window* window = nullptr;
};

TEST_F(EditorControllerTest, OpeningFillsTheTreeAndTheBarsInDocumentOrder) {
    Open({"Window Rule 1", "Notepad"});
    EXPECT_EQ(window->caption, "Ombrel");
    Node* top = RootNode();
    EXPECT_EQ(top->text_, "Window Rules");
    EXPECT_EQ(top->image_, 0);
    ASSERT_EQ(top->ChildCount(), 2);
    EXPECT_EQ(top->Child(1)->text_, "Notepad");
    EXPECT_EQ(top->Child(0)->state_, 2);

    std::vector<std::string> menu, tools;
    for (TCommandAction* a : window->menu.buttons) menu.push_back(a->caption);
    for (TCommandAction* a : window->toolbar.buttons) tools.push_back(a->name);
    EXPECT_EQ(menu, (std::vector<std::string>{"&File", "Window Rule", "Actions", "&Help"}));
    EXPECT_EQ(tools, (std::vector<std::string>{"AppSave", "Separator1", "WindowRuleAdd", "WindowRuleDelete"}));
    // Language texts never count as a change.
    EXPECT_FALSE(root->Modified());
    EXPECT_FALSE(Enabled("AppSave"));
    EXPECT_TRUE(Enabled("WindowRuleAdd"));
    // Nothing selected: the walk starts at the root, which is no rule.
    EXPECT_FALSE(Enabled("WindowRuleDelete"));
    window->SelectNode(top->Child(0));
    EXPECT_TRUE(Enabled("WindowRuleDelete"));
    window->SelectNode(top);
    EXPECT_FALSE(Enabled("WindowRuleDelete"));
    // A name nobody handles is disabled by the walk.
    EXPECT_FALSE(Enabled("Separator1"));
}

TEST_F(EditorControllerTest, AddTakesTheFirstFreeNumberSelectsItAndSaveWritesIt) {
    Open({"Window Rule 1", "Window Rule 3"});
    window->SelectNode(RootNode()->Child(0));
    const int commitsBefore = window->commits;
    ASSERT_TRUE(Run("WindowRuleAdd"));
    EXPECT_GT(window->commits, commitsBefore) << "the focused control commits before a command";
    ASSERT_EQ(RootNode()->ChildCount(), 3);
    EXPECT_EQ(RootNode()->Child(2)->text_, "Window Rule 2");
    EXPECT_EQ(window->selected, RootNode()->Child(2));
    EXPECT_TRUE(root->Modified());
    EXPECT_TRUE(Enabled("AppSave"));
    EXPECT_EQ(TEditorController::FirstFreeRuleNumber(root.get()), 4);

    ASSERT_TRUE(Run("AppSave"));
    EXPECT_NE(FileText().find("Window Rule 2"), std::string::npos);
    EXPECT_EQ(window->busySpans, 1) << "the wait cursor shows while saving";
    EXPECT_EQ(window->busy, 0);
    EXPECT_FALSE(root->Modified());
    EXPECT_FALSE(Enabled("AppSave"));
    EXPECT_TRUE(window->questions.empty());
}

TEST_F(EditorControllerTest, DeleteAsksTheExactQuestionAndSelectsTheNodeAbove) {
    Open({"A", "B", "C"});
    // On the root nothing is asked and nothing goes.
    window->SelectNode(RootNode());
    root->Controller()->DeleteSelectedRule();
    EXPECT_TRUE(window->questions.empty());

    window->SelectNode(RootNode()->Child(1));
    window->answer = askNo;
    ASSERT_TRUE(Run("WindowRuleDelete"));
    ASSERT_EQ(window->questions.size(), 1u);
    EXPECT_EQ(window->questions[0], "Are you sure you want to delete the Window Rule \"B\"?");
    EXPECT_EQ(window->titles[0], "Ombrel");
    EXPECT_EQ(RootNode()->ChildCount(), 3);
    EXPECT_FALSE(root->Modified());

    window->answer = askYes;
    ASSERT_TRUE(Run("WindowRuleDelete"));
    ASSERT_EQ(RootNode()->ChildCount(), 2);
    EXPECT_EQ(RootNode()->Child(1)->text_, "C");
    EXPECT_EQ(window->selected, RootNode()->Child(0));
    EXPECT_FALSE(root->GetObject("window_rules/B"));
    EXPECT_TRUE(root->Modified());

    // The first rule's neighbour above is the root.
    window->SelectNode(RootNode()->Child(0));
    ASSERT_TRUE(Run("WindowRuleDelete"));
    EXPECT_EQ(window->selected, RootNode());
}

TEST_F(EditorControllerTest, CloseQueryCancelNoYesAndAFailedSave) {
    Open({"A"});
    // Unmodified: no question.
    EXPECT_TRUE(root->Controller()->CloseQuery());
    EXPECT_TRUE(window->questions.empty());

    root->Controller()->AddWindowRule();
    window->answer = askCancel;
    const int commitsBefore = window->commits;
    EXPECT_FALSE(root->Controller()->CloseQuery());
    EXPECT_GT(window->commits, commitsBefore);
    ASSERT_EQ(window->questions.size(), 1u);
    EXPECT_EQ(window->questions[0], "Save changes?");
    EXPECT_TRUE(root->Modified());

    window->answer = askNo;
    EXPECT_TRUE(root->Controller()->CloseQuery());
    EXPECT_FALSE(FileExists(folder.Path("Ombrel.ini")));

    // A read-only file: the user is told, nothing is lost, the window stays.
    WriteBytes(folder.Path("Ombrel.ini"), "<tarvel_windows/>");
    ASSERT_TRUE(SetFileAttributesA(folder.Path("Ombrel.ini").c_str(), FILE_ATTRIBUTE_READONLY));
    window->answer = askYes;
    window->questions.clear();
    EXPECT_FALSE(root->Controller()->CloseQuery());
    ASSERT_EQ(window->questions.size(), 2u);
    EXPECT_NE(window->questions[1].find("not saved"), std::string::npos);
    EXPECT_NE(window->questions[1].find("is read-only"), std::string::npos) << "the reason is told";
    EXPECT_TRUE(root->Modified());
    EXPECT_EQ(FileText(), "<tarvel_windows/>");
    // The command reports it the same way.
    window->questions.clear();
    EXPECT_TRUE(Run("AppSave"));
    ASSERT_EQ(window->questions.size(), 1u);
    EXPECT_TRUE(root->Modified());

    SetFileAttributesA(folder.Path("Ombrel.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(root->Controller()->CloseQuery());
    EXPECT_FALSE(root->Modified());
    EXPECT_NE(FileText().find("Window Rule 1"), std::string::npos);

    // A box that could not be shown answers 0: the changes stay, and so
    // does the window; only an explicit No drops them.
    root->Controller()->AddWindowRule();
    window->questions.clear();
    window->answer = 0;
    EXPECT_FALSE(root->Controller()->CloseQuery());
    EXPECT_EQ(window->questions.size(), 1u);
    EXPECT_TRUE(root->Modified());
    EXPECT_EQ(FileText().find("Window Rule 2"), std::string::npos);
}

// A save that would leave out what the file holds asks first: No writes
// nothing and keeps the changes, Yes saves, and the question is not asked
// again.
TEST_F(EditorControllerTest, ASaveThatWouldLoseWhatTheFileHoldsAsksOnce) {
    const std::string text =
        "<?xml version=\"1.0\"?>\r\n<!DOCTYPE tarvel_windows>\r\n<tarvel_windows><window_rules><content>"
        "<window_rule name=\"A\" type=\"WINDOWRULE\"><params><param name=\"enabled\">yes</param></params>"
        "</window_rule></content></window_rules></tarvel_windows>\r\n";
    OpenFile(text);
    root->Controller()->AddWindowRule();
    window->answer = askNo;
    ASSERT_TRUE(Run("AppSave"));
    ASSERT_EQ(window->questions.size(), 1u);
    EXPECT_NE(window->questions[0].find("A save leaves out:\n- <!DOCTYPE tarvel_windows> outside the root element"),
              std::string::npos)
        << window->questions[0];
    EXPECT_NE(window->questions[0].find("Save anyway?"), std::string::npos);
    EXPECT_EQ(FileText(), text) << "No leaves the file as it is";
    EXPECT_TRUE(root->Modified());
    // Closing asks to save, and its save asks what the command asked.
    window->questions.clear();
    window->answer = askYes;
    EXPECT_TRUE(root->Controller()->CloseQuery());
    ASSERT_EQ(window->questions.size(), 2u);
    EXPECT_EQ(window->questions[0], "Save changes?");
    EXPECT_EQ(FileText().find("DOCTYPE"), std::string::npos);
    EXPECT_NE(FileText().find("Window Rule 1"), std::string::npos);
    EXPECT_FALSE(root->Modified());
    // Asked once: the next save writes at once.
    root->Controller()->AddWindowRule();
    window->questions.clear();
    ASSERT_TRUE(Run("AppSave"));
    EXPECT_TRUE(window->questions.empty());
    EXPECT_NE(FileText().find("Window Rule 2"), std::string::npos);
}

TEST_F(EditorControllerTest, AShortCutCountsWhatIsBeingTypedBeforeItsCommandUpdates) {
    Open({"A"});
    window->SelectNode(RootNode()->Child(0));
    // The name field holds a typed name nothing has stored yet: Save is
    // disabled until the field commits.
    window->onCommit = [this] {
        Ref<IBOMObject> rule = root->GetObject("window_rules/A");
        if (rule) rule->GetObject("..").As<IBOMObjectOwner>()->RenameChild(rule.As<IBOMObjectSlave>().get(), "A typed");
    };
    EXPECT_FALSE(Enabled("AppSave"));
    // A key no command has commits nothing.
    const int commitsBefore = window->commits;
    EXPECT_FALSE(root->Controller()->ShortCut(TKeyMessage{'Q', false, true, false}));
    EXPECT_EQ(window->commits, commitsBefore);
    // Ctrl+S: the field commits first, so the update enables Save and the
    // file holds the typed name.
    EXPECT_TRUE(root->Controller()->ShortCut(TKeyMessage{'S', false, true, false}));
    EXPECT_GT(window->commits, commitsBefore);
    EXPECT_NE(FileText().find("A typed"), std::string::npos);
    EXPECT_FALSE(root->Modified());
}

TEST_F(EditorControllerTest, ShortCutsRunTheMenusCommandOnceAndShellCommandsUseTheProgramFolder) {
    Open({"A"});
    TKeyMessage ctrlA{'A', false, true, false};
    EXPECT_TRUE(root->Controller()->ShortCut(ctrlA));
    // The menu's command ran; the tool bar's of the same name did not.
    EXPECT_EQ(RootNode()->ChildCount(), 2);
    TKeyMessage ctrlD{'D', false, true, false};
    window->SelectNode(RootNode());
    // Disabled on the root: the search goes on and nobody takes the key.
    EXPECT_FALSE(root->Controller()->ShortCut(ctrlD));
    EXPECT_FALSE(root->Controller()->ShortCut(TKeyMessage{'Q', false, true, false}));

    ASSERT_TRUE(Run("HelpContent"));
    ASSERT_TRUE(Run("HelpAbout"));
    EXPECT_EQ(window->abouts, 1);
    ASSERT_EQ(window->opened.size(), 1u);
    EXPECT_EQ(window->opened[0], AppPath + "Ombrel.chm|" + AppPath);
    // Our own process holds no center block: the center counts as stopped.
    EXPECT_FALSE(CommandCenterRuns());
}

TEST_F(EditorControllerTest, WithoutARegisteredWindowTheRoleDoesNothing) {
    SetEditorWindowFactory(nullptr);
    root = New<TTarvelWindows>("TARVILWINDOWS", "");
    Ref<IConfigBuilder> builder = root->QueryRole("CongifBuilder").As<IConfigBuilder>();
    ASSERT_TRUE(builder);
    builder->OpenUI();
    builder->RunUI();
    builder->CloseUI();
    EXPECT_EQ(root->Controller(), nullptr);
    EXPECT_EQ(window, nullptr);
}

}  // namespace
