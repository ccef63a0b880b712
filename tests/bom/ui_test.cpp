#include <gtest/gtest.h>

#include "bom/enabled_item.h"
#include "bom/ui_commands.h"
#include "bom_test_support.h"
#include "tests/common/fake_tree.h"

using namespace omb;
using namespace omb::test;

namespace {
std::vector<std::string> g_panelLog;

class RecPanel : public TAbstractDetailPanel {
public:
    RecPanel() { id_ = ++count_; }
    ~RecPanel() override { g_panelLog.push_back("free" + std::to_string(id_)); }
    void SetObject(IBOMObject* o) override {
        g_panelLog.push_back("set" + std::to_string(id_) + ":" + o->GetName());
        TAbstractDetailPanel::SetObject(o);
    }
    void UpdateLanguage() override { g_panelLog.push_back("lang" + std::to_string(id_)); }
    void UpdateView() override { g_panelLog.push_back("view" + std::to_string(id_)); }
    static int count_;

private:
    int id_;
};
int RecPanel::count_ = 0;

class TestItem : public TEnabledItem {
public:
    void Initialize() override {
        TEnabledItem::Initialize();
        typeName_ = "TESTITEM";
        imageIndex_ = 5;
        detailPanelMap_ = "DefaultDetailPanel=RecPanel;Other=Unregistered";
    }
    void ForceChildrenMark() { hasChildren_ = true; }
};

class TestList : public TBOM_UI_Collection {
public:
    void Initialize() override {
        TBOM_UI_Collection::Initialize();
        typeName_ = "TESTLIST";
        itemElementName_ = "item";
        imageIndex_ = 3;
    }
    std::unique_ptr<TAbstractDetailPanel> CreateDetailPanelFor(const std::string&) override {
        return CreateDetailPanel("recpanel");  // the registry ignores case
    }
    // Deals with the command "Mine"; passes everything else on.
    bool UpdateAction(TCommandAction* a) override {
        if (a->name != "Mine") return true;
        a->SetEnabled(true);
        return false;
    }
};

struct UiObjects : BomTest {
    void SetUp() override {
        BomTest::SetUp();
        RegisterAbstractClass<TestItem>("TESTITEM");
        RegisterAbstractClass<TestList>("TESTLIST");
        RegisterCommandClasses();
        FreeDetailPanelRegistry();
        CreateDetailPanelRegistry();
        RegisterDetailPanelClass<RecPanel>("RecPanel");
        g_panelLog.clear();
        RecPanel::count_ = 0;

        list = Make<TestList>("TESTLIST", "list");
        a = Make<TestItem>("TESTITEM", "a");
        b = Make<TestItem>("TESTITEM", "b");
        list->AddItem(a->AsBOMObject());
        list->AddItem(CreateBOMObject("BOMOBJECT", "plain").As<IBOMObject>().get());  // no UI role
        list->AddItem(b->AsBOMObject());
        list->SetOwner(nullptr);
        ui = Ref<FakeUI>(new FakeUI());
        list->Attach(ui.get());
    }
    void TearDown() override {
        root.reset();  // the view goes first: nodes forget their elements
        list->Detach();
        a = nullptr;
        b = nullptr;
        ui = nullptr;
        Tear(list);
        FreeDetailPanelRegistry();
        BomTest::TearDown();
    }
    void ShowList() {
        root.reset(new FakeNode());
        root->SetData(std::unique_ptr<TTNStruct>(new TTNStruct{Ref<IUIElement>(list.get())}));
        list->SetNode(root.get());
    }
    Ref<TestList> list;
    Ref<TestItem> a, b;
    Ref<FakeUI> ui;
    std::unique_ptr<FakeNode> root;
};
}  // namespace

TEST_F(UiObjects, NodesAreFilledOnFirstExpansionOnly) {
    ShowList();
    EXPECT_EQ(root->Text(), "list");
    EXPECT_EQ(root->Image(), 3);
    EXPECT_EQ(root->Selected(), 3);
    EXPECT_TRUE(root->HasChildren());
    list->ExpandNode(root.get());
    ASSERT_EQ(root->ChildCount(), 2);  // the plain object gets no node
    EXPECT_EQ(root->Child(0)->Text(), "a");
    EXPECT_EQ(root->Child(1)->Text(), "b");
    EXPECT_EQ(root->Child(0)->State(), 2);
    EXPECT_EQ(root->Child(0)->Data()->element.get(), static_cast<IUIElement*>(a.get()));
    list->ExpandNode(root.get());
    EXPECT_EQ(root->ChildCount(), 2);

    // An object without a sub-list loses its mark on the first expansion.
    FakeNode* an = root->Child(0);
    a->ForceChildrenMark();
    a->UpdateView();
    EXPECT_TRUE(an->HasChildren());
    a->ExpandNode(an);
    EXPECT_FALSE(an->HasChildren());

    // An empty collection keeps its mark: it is its own list.
    Ref<TestList> empty = Make<TestList>("TESTLIST", "empty");
    FakeNode en;
    empty->Attach(ui.get());
    empty->SetNode(&en);
    empty->ExpandNode(&en);
    EXPECT_EQ(en.ChildCount(), 0);
    EXPECT_TRUE(en.HasChildren());
    empty->ClearNode();
    empty->Detach();
    Tear(empty);
}

TEST_F(UiObjects, StateIconFollowsEnabledAndAClickToggles) {
    ShowList();
    list->ExpandNode(root.get());
    FakeNode* an = root->Child(0);
    EXPECT_EQ(a->StateIndex(), 2);
    a->MouseUp(an, 2, 0, 5, 5);  // right button on the state icon
    EXPECT_EQ(a->ParamText("enabled"), "no");
    EXPECT_EQ(an->State(), 1);
    a->MouseUp(an, 1, 0, 40, 5);  // on the text: nothing
    EXPECT_EQ(a->ParamText("enabled"), "no");
    a->GetParam("enabled")->SetValue(Variant("maybe"));
    EXPECT_FALSE(a->IsEnabled());
    EXPECT_EQ(an->State(), 1);
    a->MouseUp(an, 1, 0, 5, 5);
    EXPECT_EQ(a->ParamText("enabled"), "yes");
    EXPECT_EQ(an->State(), 2);
    // A silent change leaves the icon until the next notified change.
    a->GetParam("enabled")->SetValueSilent(Variant("no"));
    EXPECT_FALSE(a->IsEnabled());
    EXPECT_EQ(a->StateIndex(), 2);
    list->SetOwner(nullptr);  // relinking refreshes it
    EXPECT_EQ(a->StateIndex(), 1);
}

TEST_F(UiObjects, PanelsByRoleCachedRefreshedAndFreedInReverse) {
    EXPECT_EQ(a->GetDetailPanel("Other"), nullptr);    // unregistered panel
    EXPECT_EQ(a->GetDetailPanel("Missing"), nullptr);  // role not in the map
    TAbstractDetailPanel* p = a->GetDetailPanel("defaultdetailpanel");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(a->GetDetailPanel("DefaultDetailPanel"), p);
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"set1:a", "lang1", "view1"}));
    TAbstractDetailPanel* q = list->GetDetailPanel("Whatever");
    ASSERT_NE(q, nullptr);
    g_panelLog.clear();

    a->GetParam("enabled")->SetValue(Variant("no"));  // own parameter: refresh
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"view1"}));
    g_panelLog.clear();
    list->Broadcast(1, 0, 0);  // items hear of it; the collection's panel does not
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"lang1"}));

    Ref<TestItem> c = Make<TestItem>("TESTITEM", "c");
    list->AddItem(c->AsBOMObject());  // attached on the way in
    TAbstractDetailPanel* pc = c->GetDetailPanel("DefaultDetailPanel");
    EXPECT_NE(pc, nullptr);
    g_panelLog.clear();
    a->Detach();
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"free1"}));
    g_panelLog.clear();
    list->Detach();
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"free3", "free2"}));
    EXPECT_EQ(list->GetDetailPanel("x"), nullptr);  // no panel list while detached
    list->Attach(ui.get());
    c = nullptr;
}

// Attached again without a detach (a reloaded tree attached over the old
// one): the panels open so far are freed, not dropped.
TEST_F(UiObjects, ASecondAttachFreesTheOpenPanelsFirst) {
    ASSERT_NE(a->GetDetailPanel("DefaultDetailPanel"), nullptr);
    g_panelLog.clear();
    list->Attach(ui.get());
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"free" + std::to_string(RecPanel::count_)}));
    EXPECT_EQ(a->Panels()->Count(), 0);
    EXPECT_NE(a->GetDetailPanel("DefaultDetailPanel"), nullptr);
}

// An item dropped from an attached collection without a detach or a
// disconnect: its panels (which hold it) are freed and it goes with its
// children; the other items keep their panels.
TEST_F(UiObjects, ADroppedItemLosesItsPanelsAndGoes) {
    TAbstractDetailPanel* kept = a->GetDetailPanel("DefaultDetailPanel");
    ASSERT_NE(kept, nullptr);
    const long before = TDebugInterfacedObject::LiveObjects();
    Ref<TestItem> c = Make<TestItem>("TESTITEM", "c");
    list->AddItem(c->AsBOMObject());
    ASSERT_NE(c->GetDetailPanel("DefaultDetailPanel"), nullptr);
    c = nullptr;
    g_panelLog.clear();
    list->DeleteItem(Variant("c"));
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"free2"}));
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), before);
    EXPECT_EQ(a->GetDetailPanel("DefaultDetailPanel"), kept);
}

TEST_F(UiObjects, PanelRenamesThroughTheOwner) {
    TAbstractDetailPanel* p = a->GetDetailPanel("DefaultDetailPanel");
    g_panelLog.clear();
    p->RenameObject("a");  // same name: nothing, not even a refresh
    EXPECT_TRUE(g_panelLog.empty());
    p->RenameObject("b");  // held by another item: refused, refreshed all the same
    EXPECT_EQ(a->GetName(), "a");
    EXPECT_EQ(g_panelLog, (std::vector<std::string>{"view1"}));
    p->RenameObject("z");
    EXPECT_EQ(a->GetName(), "z");
    p->SetObjectParam("enabled", Variant("no"));
    EXPECT_FALSE(a->IsEnabled());
    p->SetObjectParam("nothing", Variant("x"));  // not a parameter: nothing
}

TEST_F(UiObjects, CommandsRouteUpThroughTheParents) {
    ShowList();
    list->ExpandNode(root.get());
    TCommandAction mine, other;
    mine.name = "Mine";
    other.name = "Other";
    EXPECT_TRUE(RouteUpdateAction(root->Child(1), &mine));  // the list deals with it
    EXPECT_TRUE(mine.Enabled());
    EXPECT_FALSE(RouteUpdateAction(root->Child(1), &other));  // nobody: disabled
    EXPECT_FALSE(other.Enabled());
    EXPECT_FALSE(RouteExecuteAction(root->Child(0), &other));
}

namespace {
struct BarLog : ICommandBarBuilder {
    std::vector<std::string> log;
    std::vector<std::unique_ptr<std::string>> handles;
    void* Handle(const std::string& s) {
        handles.emplace_back(new std::string(s));
        return handles.back().get();
    }
    static std::string KindText(TCommandKind k) {
        return k == TCommandKind::Group ? "group" : k == TCommandKind::Separator ? "separator" : "item";
    }
    void* AddMenuItem(void* parent, TCommandAction* a, TCommandKind k) override {
        std::string p = parent ? *static_cast<std::string*>(parent) : "bar";
        log.push_back("menu " + a->name + " " + KindText(k) + " under " + p);
        return Handle(a->name);
    }
    void* AddToolButton(TCommandAction* a, TCommandKind k) override {
        log.push_back("button " + a->name + " " + KindText(k));
        return Handle(a->name + "-dropdown");
    }
};

Ref<IBOMUICommand> AddCommand(IBOMObject* set, const std::string& name, const std::string& type,
                              const std::string& shortcut) {
    Ref<IBOMObjectSlave> c = CreateBOMObject("BOMUICOMMAND", name);
    Ref<IBOMParam>(c->GetObject("params/type").As<IBOMParam>())->SetValue(Variant(type));
    Ref<IBOMParam>(c->GetObject("params/shortcut").As<IBOMParam>())->SetValue(Variant(shortcut));
    set->QueryRole("Collection").As<IBOMCollection>()->AddItem(c.get());
    c.As<IUIElement>()->UpdateView();
    return c.As<IBOMUICommand>();
}
}  // namespace

TEST(ShortCuts, TextNotation) {
    EXPECT_EQ(TextToShortCut("Ctrl+S"), scCtrl | 'S');
    EXPECT_EQ(TextToShortCut("ctrl+a"), scCtrl | 'A');
    EXPECT_EQ(TextToShortCut("F1"), 0x70);
    EXPECT_EQ(TextToShortCut("Shift+Ctrl+Del"), scShift | scCtrl | 0x2E);
    EXPECT_EQ(TextToShortCut("Alt+F12"), scAlt | 0x7B);
    EXPECT_EQ(TextToShortCut(""), 0);
    EXPECT_EQ(TextToShortCut("Ctrl+"), 0);
    EXPECT_EQ(TextToShortCut("Nonsense"), 0);
    EXPECT_EQ(ShortCutOf(TKeyMessage{'S', false, true, false}), TextToShortCut("Ctrl+S"));
}

TEST_F(UiObjects, CommandShortCutsAndBars) {
    Ref<IBOMObjectSlave> set = CreateBOMObject("BOMUICOMMANDS", "menu");
    Ref<IBOMUICommand> group = AddCommand(set.get(), "G", "group", "Ctrl+G");
    Ref<IBOMObject> subs = QueryAs<IBOMObject>(group.get())->GetObject("commands");
    Ref<IBOMUICommand> add = AddCommand(subs.get(), "Add", "item", "Ctrl+A");
    AddCommand(subs.get(), "Sep", "separator", "");
    Ref<IBOMUICommand> odd = AddCommand(set.get(), "Odd", "Group", "");  // not exactly "group": an item
    set->SetOwner(nullptr);

    std::vector<std::string> ran;
    auto wire = [&](IBOMUICommand* c, bool enabled) {
        c->GetAction()->OnUpdate = [enabled](TCommandAction& a) { a.SetEnabled(enabled); };
        c->GetAction()->OnExecute = [&ran](TCommandAction& a) { ran.push_back(a.name); };
    };
    wire(group.get(), true);
    wire(add.get(), true);
    EXPECT_TRUE(group->HandleShortCut(TKeyMessage{'A', false, true, false}));
    EXPECT_TRUE(group->HandleShortCut(TKeyMessage{'G', false, true, false}));  // the group first
    EXPECT_EQ(ran, (std::vector<std::string>{"Add", "G"}));
    EXPECT_FALSE(group->HandleShortCut(TKeyMessage{'A', true, true, false}));
    wire(group.get(), false);  // a disabled group answers false; its commands are not searched
    wire(add.get(), true);
    ran.clear();
    EXPECT_FALSE(group->HandleShortCut(TKeyMessage{'G', false, true, false}));
    EXPECT_TRUE(ran.empty());

    BarLog bar;
    group->CreateMenuItem(&bar, nullptr);
    odd->CreateMenuItem(&bar, nullptr);
    group->CreateToolButton(&bar);
    EXPECT_EQ(bar.log, (std::vector<std::string>{
                           "menu G group under bar", "menu Add item under G", "menu Sep separator under G",
                           "menu Odd item under bar", "button G group", "menu Add item under G-dropdown",
                           "menu Sep separator under G-dropdown"}));
    group = nullptr;
    add = nullptr;
    odd = nullptr;
    subs = nullptr;
    set->Disconnect();
}

// ---------------------------------------------------------------------------
// The built-in command documents

#include "foundation/handles.h"
#include "foundation/languages.h"
#include "foundation/xml_storage.h"

namespace {
struct CommandDocuments : BomTest {
    void SetUp() override {
        BomTest::SetUp();
        RegisterCommandClasses();
        CreateMultiLanguages();
        ASSERT_TRUE(SelectLanguage(""));  // the built-in English file
        SetMLVariable("appname", "Ombrel");
    }
    void TearDown() override {
        FreeMultiLanguages();
        BomTest::TearDown();
    }
    Ref<IBOMObjectSlave> Load(const char* name, const char* document) {
        Ref<IBOMObjectSlave> set = CreateBOMObject("BOMUICOMMANDS", name);
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        EXPECT_TRUE(storage->LoadFromXML(document));
        EXPECT_TRUE(storage->LoadObject(set.As<IPersistObject>().get()));
        set->SetOwner(nullptr);
        return set;
    }
    static std::string Param(IBOMObject* o, const std::string& path) {
        Ref<IBOMParam> p = o->GetObject("params/" + path).As<IBOMParam>();
        return p ? p->GetValue().ToText() : "<none>";
    }
    // "name(type,caption,shortcut,image)[subcommands]" for a whole set.
    static std::string Outline(IBOMObject* set) {
        std::string s;
        Ref<IBOMCollection> list = set->QueryRole("Collection").As<IBOMCollection>();
        for (int i = 0; i < list->Count(); ++i) {
            Ref<IBOMObject> c = list->GetItem(Variant(i));
            s += c->GetName() + "(" + Param(c.get(), "type") + "," + Param(c.get(), "caption") + "," +
                 Param(c.get(), "shortcut") + "," + Param(c.get(), "imageindex") + ")";
            std::string sub = Outline(c->GetObject("commands").get());
            if (!sub.empty()) s += "[" + sub + "]";
            s += " ";
        }
        return s;
    }
    ComInit com;
};
}  // namespace

TEST_F(CommandDocuments, BothDocumentsLoadAsDocumented) {
    Ref<IBOMObjectSlave> menu = Load("menu", kMainMenuDocument);
    Ref<IBOMObjectSlave> toolbar = Load("toolbar", kToolBarDocument);
    EXPECT_EQ(menu->GetName(), "menu");  // the document's root carries no name
    EXPECT_EQ(Outline(menu.get()),
              "AppFilesMenu(group,&File,,-1)[AppSave(item,Save,Ctrl+S,0) Separator1(separator,,,-1) "
              "AppExit(item,Exit,,-1) ] "
              "WindowRuleMenu(group,&Rule,,-1)[WindowRuleAdd(item,Add rule,Ctrl+A,1) "
              "WindowRuleDelete(item,Delete rule,Ctrl+D,2) ] "
              "ToolsMenu(group,&Tools,,-1)[RunCommandCenter(item,Launch Command Center,,4) "
              "StopCommandCenter(item,Stop Command Center,,-1) Separator1(separator,,,-1) "
              "Options(item,Options...,,-1) ] "
              "HelpMenu(group,&Help,,-1)[HelpContent(item,Content...,F1,3) Separator1(separator,,,-1) "
              "HelpAbout(item,About...,,-1) ] ");
    EXPECT_EQ(Outline(toolbar.get()),
              "AppSave(item,Save,,0) Separator1(separator,,,-1) WindowRuleAdd(item,Add rule,Ctrl+A,1) "
              "WindowRuleDelete(item,Delete rule,Ctrl+D,2) ");
    menu->Disconnect();
    toolbar->Disconnect();
}

TEST_F(CommandDocuments, LanguageBroadcastTranslatesCaptionsAndHints) {
    Ref<IBOMObjectSlave> menu = Load("menu", kMainMenuDocument);
    Ref<FakeUI> ui(new FakeUI());
    menu.As<IUIElement>()->Attach(ui.get());
    menu->Broadcast(1, 0, 0);
    Ref<IBOMObject> tools = menu->GetObject("ToolsMenu");
    EXPECT_EQ(Param(tools.get(), "caption"), "Actions");
    Ref<IBOMObject> run = menu->GetObject("ToolsMenu/commands/RunCommandCenter");
    TCommandAction* action = run.As<IBOMUICommand>()->GetAction();
    EXPECT_EQ(action->caption, "Launch Ombrel");
    EXPECT_EQ(action->hint, "Launch Ombrel");
    EXPECT_EQ(action->imageIndex, 4);
    TCommandAction* save = menu->GetObject("AppFilesMenu/commands/AppSave").As<IBOMUICommand>()->GetAction();
    EXPECT_EQ(save->shortCut, scCtrl | 'S');
    EXPECT_EQ(save->name, "AppSave");
    // A key the language lacks keeps the text of the previous translation.
    FreeMultiLanguages();
    CreateMultiLanguages();
    menu->Broadcast(1, 0, 0);
    EXPECT_EQ(Param(tools.get(), "caption"), "Actions");
    // Separators stay empty.
    EXPECT_EQ(Param(menu->GetObject("AppFilesMenu/commands/Separator1").get(), "caption"), "");
    menu.As<IUIElement>()->Detach();
    menu->Disconnect();
}

TEST_F(CommandDocuments, CtrlAFindsTheMenuBeforeTheToolBar) {
    Ref<IBOMObjectSlave> menu = Load("menu", kMainMenuDocument);
    Ref<IBOMObjectSlave> toolbar = Load("toolbar", kToolBarDocument);
    Ref<FakeUI> ui(new FakeUI());
    menu.As<IUIElement>()->Attach(ui.get());
    toolbar.As<IUIElement>()->Attach(ui.get());
    std::vector<std::string> ran;
    for (IBOMObjectSlave* set : {menu.get(), toolbar.get()}) {
        auto* path = set == menu.get() ? "WindowRuleMenu/commands/WindowRuleAdd" : "WindowRuleAdd";
        TCommandAction* a = set->GetObject(path).As<IBOMUICommand>()->GetAction();
        std::string who = set->GetName();
        a->OnExecute = [&ran, who](TCommandAction&) { ran.push_back(who); };
    }
    // The editor asks the top-level commands of the menu from the last to the
    // first, then those of the tool bar.
    TKeyMessage ctrlA{'A', false, true, false};
    bool done = false;
    for (IBOMObjectSlave* set : {menu.get(), toolbar.get()}) {
        Ref<IBOMCollection> list = set->QueryRole("Collection").As<IBOMCollection>();
        for (int i = list->Count() - 1; i >= 0 && !done; --i)
            done = list->GetItem(Variant(i)).As<IBOMUICommand>()->HandleShortCut(ctrlA);
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(ran, std::vector<std::string>{"menu"});
    menu.As<IUIElement>()->Detach();
    toolbar.As<IUIElement>()->Detach();
    menu->Disconnect();
    toolbar->Disconnect();
}
