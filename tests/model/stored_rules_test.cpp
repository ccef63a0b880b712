// Rules loaded from a file keep their conditions, actions and triggers in
// their stored form until something uses them as objects: they answer as
// their objects would, share what they have in common, and come back as
// objects, linked into the tree, on first use.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "bom/stored_tree.h"
#include "foundation/languages.h"
#include "foundation/xml_storage.h"
#include "model/triggers.h"
#include "model_test_support.h"
#include "script_texts.h"
#include "tests/foundation/xml_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {
const char* kClass = "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/";
const char* kCaption = "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/";

struct StoredRules : ModelTest {
    void SetUp() override {
        ModelTest::SetUp();
        made = New<TTarvelWindows>("TARVILWINDOWS", "");
        made->SetOwner(nullptr);
    }
    void TearDown() override {
        for (Ref<TTarvelWindows>* root : {&made, &loaded})
            if (*root) (*root)->Disconnect();
        made = loaded = nullptr;
        ModelTest::TearDown();
    }
    IBOMObject* Rule(const std::string& name) {
        Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", name);
        made->GetObject("window_rules").As<IBOMCollection>()->AddItem(rule.get());
        return rule.get();
    }
    bool Save(TTarvelWindows* root, const std::string& file) {
        root->SetModified(true);
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        if (!storage->CreateNew("tarvel_windows")) return false;
        storage->SaveObject(static_cast<IPersistObject*>(root));
        return storage->SaveToFile(file);
    }
    Ref<TTarvelWindows> Load(const std::string& file,
                             TRuleLoadScope::TReading reading = TRuleLoadScope::kReadNow) {
        Ref<TXMLStorage> storage = TXMLStorage::Create();
        if (!storage->LoadFromFile(file)) return nullptr;
        Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "");
        TRuleLoadScope scope(reading);
        storage->LoadObject(static_cast<IPersistObject*>(root.get()));
        root->SetOwner(nullptr);
        return root;
    }
    static TWindowRule* RuleOf(TTarvelWindows* root, const std::string& name) {
        return dynamic_cast<TWindowRule*>(root->GetObject("window_rules/" + name).get());
    }
    Ref<TTarvelWindows> made, loaded;
    TempFolder folder;
};
}  // namespace

TEST_F(StoredRules, ALoadedRuleAnswersAsItsObjectsWould) {
    IBOMObject* off = Rule("disabled first");
    Set(off, std::string(kClass) + "window_class_name", "OmbStoredA");
    Set(off, "actions/CloseWindow/params/enabled", "yes");
    Set(off, "params/enabled", "no");
    IBOMObject* a = Rule("by class");
    Set(a, std::string(kClass) + "window_class_name", "OmbStoredA");
    Set(a, "actions/StayOnTop/params/enabled", "yes");
    IBOMObject* b = Rule("by caption");
    Set(b, std::string(kCaption) + "window_caption", "Stored Caption");
    Set(b, std::string(kCaption) + "exact_search", "no");
    Set(b, std::string(kCaption) + "enabled", "yes");
    Set(b, "actions/RunMode/params/enabled", "yes");
    Set(b, "actions/RunMode/params/run_mode", "maximize");
    IBOMObject* c = Rule("two conditions");
    Set(c, std::string(kClass) + "window_class_name", "OmbStoredC1");
    Ref<IBOMObjectSlave> second = CreateBOMObject("CONDITION", "Second");
    c->GetObject("conditions").As<IBOMCollection>()->AddItem(second.get());
    Set(c, "conditions/Second/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name", "OmbStoredC2");
    Set(c, std::string(kCaption) + "window_caption", "exactly this");  // and both criteria of the first
    Set(c, std::string(kCaption) + "enabled", "yes");
    Set(c, "actions/CloseQuery/params/enabled", "yes");
    Set(c, "triggers/WMCreateMessageTrigger/params/lag_enabled", "yes");
    IBOMObject* d = Rule("condition off");
    Set(d, std::string(kClass) + "window_class_name", "OmbStoredD");
    Set(d, "conditions/DefaultCondition/params/enabled", "no");
    // Texts beyond ASCII, and windows whose texts lost characters.
    IBOMObject* e = Rule("script part");
    Set(e, std::string(kCaption) + "window_caption", "x");
    Set(e, std::string(kCaption) + "exact_search", "no");
    Set(e, std::string(kCaption) + "enabled", "yes");
    IBOMObject* f = Rule("script class");
    Set(f, std::string(kClass) + "window_class_name", kScriptClassA);
    IBOMObject* g = Rule("lost class");
    Set(g, std::string(kClass) + "window_class_name", u8"OmbScript\uFFFDClass");
    IBOMObject* h = Rule("script whole");
    Set(h, std::string(kCaption) + "window_caption", ScriptCaptions()[1]);
    Set(h, std::string(kCaption) + "enabled", "yes");
    const std::vector<std::string> names = {"disabled first", "by class", "by caption",   "two conditions",
                                            "condition off",  "script part", "script class", "lost class",
                                            "script whole"};

    ASSERT_TRUE(Save(made.get(), folder.Path("a.ini")));
    loaded = Load(folder.Path("a.ini"));
    ASSERT_TRUE(loaded);
    for (const std::string& name : names) EXPECT_FALSE(RuleOf(loaded.get(), name)->Realized()) << name;

    TestWindow w1("OmbStoredA", "anything"), w2("OmbStoredB", "a Stored Caption here"),
        w3("OmbStoredC1", "exactly this"), w4("OmbStoredC1", "not exactly this"), w5("OmbStoredC2", ""),
        w6("OmbStoredD", ""), w7("OmbStoredNone", "Stored caption");
    std::vector<std::unique_ptr<TestWindow>> script;
    for (const std::string& caption : ScriptCaptions())
        script.push_back(std::make_unique<TestWindow>("OmbStoredScript", caption));
    script.push_back(std::make_unique<TestWindow>(kScriptClassA, "class A"));
    script.push_back(std::make_unique<TestWindow>(kScriptClassB, "class B x"));
    script.push_back(std::make_unique<TestWindow>(std::wstring(L"OmbStoredLost"), std::wstring(L"\xD800 x")));
    script.push_back(std::make_unique<TestWindow>(std::wstring(L"OmbStoredLost"), std::wstring(L"\xDC00 x")));
    script.push_back(std::make_unique<TestWindow>(std::wstring(L"OmbScript\xD800"
                                                                L"Class"),
                                                  std::wstring(L"plain")));
    std::vector<HWND> windows = {w1.get(), w2.get(), w3.get(), w4.get(), w5.get(), w6.get(), w7.get()};
    for (const auto& w : script) windows.push_back(w->get());
    for (HWND w : windows) {
        ASSERT_TRUE(w);
        EXPECT_EQ(loaded->FindWindowCommand(w), made->FindWindowCommand(w));
        for (const std::string& name : names) {
            TWindowRule* mine = RuleOf(loaded.get(), name);
            TWindowRule* theirs = RuleOf(made.get(), name);
            EXPECT_EQ(mine->Match(w), theirs->Match(w)) << name;
            EXPECT_EQ(mine->IsEnabled(), theirs->IsEnabled()) << name;
        }
    }
    // Of those windows, texts that lost characters match nothing.
    for (size_t i = script.size() - 3; i < script.size(); ++i)
        EXPECT_EQ(loaded->FindWindowCommand(script[i]->get()), "") << i;
    EXPECT_EQ(loaded->FindWindowCommand(script[5]->get()).rfind("\\WINDOWRULENAME=script part\\", 0), 0u);
    EXPECT_EQ(made->FindWindowCommand(w1.get()).rfind("\\WINDOWRULENAME=by class\\", 0), 0u);
    EXPECT_TRUE(RuleOf(made.get(), "two conditions")->Match(w5.get()));
    EXPECT_FALSE(RuleOf(made.get(), "two conditions")->Match(w4.get()));
    EXPECT_FALSE(RuleOf(made.get(), "condition off")->Match(w6.get()));
    for (const std::string& name : names) {
        TWindowRule* mine = RuleOf(loaded.get(), name);
        EXPECT_EQ(mine->CommandText(), RuleOf(made.get(), name)->CommandText()) << name;
        EXPECT_FALSE(mine->Realized()) << name << ": answering needs no objects";
    }

    // Saved again, the file comes out byte for byte as it was (the stored
    // parts are written from their stored form, no rule becomes objects),
    // and every answer stays.
    ASSERT_TRUE(Save(loaded.get(), folder.Path("b.ini")));
    EXPECT_EQ(ReadBytes(folder.Path("b.ini")), ReadBytes(folder.Path("a.ini")));
    EXPECT_FALSE(RuleOf(loaded.get(), "by class")->Realized());
    for (HWND w : windows) EXPECT_EQ(loaded->FindWindowCommand(w), made->FindWindowCommand(w));

    // A new rule starts from the template's stored form and shows it whole.
    Ref<TWindowRule> fresh = New<TWindowRule>("WINDOWRULE", "fresh");
    EXPECT_FALSE(fresh->Realized());
    const std::string freshText = fresh->CommandText();
    Ref<IBOMCollection> actions = fresh->GetObject("actions").As<IBOMCollection>();
    ASSERT_TRUE(actions);
    EXPECT_TRUE(fresh->Realized());
    EXPECT_EQ(actions->Count(), 5);
    EXPECT_EQ(fresh->CommandText(), freshText);
    EXPECT_EQ(Get(fresh.get(), "triggers/WMCreateMessageTrigger/agents/StayOnTopAgent/params/operation_name"),
              "STAYONTOPON");
    actions = nullptr;
    fresh->Disconnect();
}

TEST_F(StoredRules, ObjectsComeBackLinkedOnFirstUseAndRulesShareWhatTheyHaveInCommon) {
    {  // the template's stored form is made once, on the first new rule
        Ref<TWindowRule> first = New<TWindowRule>("WINDOWRULE", "first");
        first->Disconnect();
    }
    const size_t nodesBefore = TStoredNode::Count();
    for (int i = 0; i < 50; ++i) {
        IBOMObject* rule = Rule("rule " + std::to_string(i));
        Set(rule, std::string(kClass) + "window_class_name", "OmbShared" + std::to_string(i));
        Set(rule, "actions/StayOnTop/params/enabled", "yes");
    }
    ASSERT_TRUE(Save(made.get(), folder.Path("shared.ini")));
    loaded = Load(folder.Path("shared.ini"));
    ASSERT_TRUE(loaded);
    // What one such rule stores is dozens of nodes; fifty differ only in
    // the few nodes that lead to their class names.
    const size_t nodes = TStoredNode::Count() - nodesBefore;
    EXPECT_LT(nodes, 50u * 12u) << nodes;

    TestWindow w("OmbShared7", "");
    TWindowRule* rule = RuleOf(loaded.get(), "rule 7");
    ASSERT_TRUE(rule);
    EXPECT_FALSE(loaded->FindWindowCommand(w.get()).empty());
    // Its own parameters and a rename need no objects.
    Set(rule, "params/enabled", "no");
    EXPECT_TRUE(loaded->FindWindowCommand(w.get()).empty());
    Set(rule, "params/enabled", "yes");
    loaded->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(rule, "seven");
    EXPECT_EQ(loaded->FindWindowCommand(w.get()).rfind("\\WINDOWRULENAME=seven\\", 0), 0u);
    EXPECT_FALSE(rule->Realized());

    // A path through its parts brings them back, linked: a change reaches
    // the root and the answer follows it.
    loaded->SetModified(false);
    Ref<IBOMObject> param = rule->GetObject(std::string(kClass) + "window_class_name");
    ASSERT_TRUE(param);
    EXPECT_TRUE(rule->Realized());
    EXPECT_EQ(param->GetFullPath(), "/window_rules/seven/" + std::string(kClass) + "window_class_name");
    param.As<IBOMParam>()->SetValue(Variant("OmbSharedSeven"));
    EXPECT_TRUE(loaded->Modified());
    EXPECT_TRUE(loaded->FindWindowCommand(w.get()).empty());
    TestWindow renamed("OmbSharedSeven", "");
    EXPECT_EQ(loaded->FindWindowCommand(renamed.get()).rfind("\\WINDOWRULENAME=seven\\", 0), 0u);
    param = nullptr;

    // The language broadcast leaves stored parts stored; they come back
    // translated.
    TWindowRule* other = RuleOf(loaded.get(), "rule 8");
    EXPECT_FALSE(other->Realized());
    loaded->Broadcast(1, 0, 0);
    EXPECT_FALSE(other->Realized());
    EXPECT_EQ(Get(other, "actions/StayOnTop/params/caption"), "Stay on Top");
    EXPECT_TRUE(other->Realized());

    // Many readers at once.
    Ref<TTarvelWindows> again = Load(folder.Path("shared.ini"));
    TestWindow last("OmbShared49", "");
    const std::string expected = again->FindWindowCommand(last.get());
    ASSERT_FALSE(expected.empty());
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t)
        readers.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i)
                if (again->FindWindowCommand(last.get()) != expected) ++wrong[size_t(t)];
        });
    for (std::thread& r : readers) r.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    again->Disconnect();
    again = nullptr;
    loaded->Disconnect();
    loaded = nullptr;
    made->Disconnect();
    made = nullptr;
    EXPECT_EQ(TStoredNode::Count(), nodesBefore) << "stored nodes are freed with their rules";
}

// Rules loaded to be read later read only their names and parameters; the
// rest is read from the document, which they keep, when first asked for,
// over whatever was changed meanwhile, and then answers and saves as a rule
// read at once would.
TEST_F(StoredRules, RulesReadLaterAnswerAsRulesReadAtOnce) {
    IBOMObject* a = Rule("by class");
    Set(a, std::string(kClass) + "window_class_name", "OmbLaterA");
    Set(a, "actions/StayOnTop/params/enabled", "yes");
    IBOMObject* b = Rule("by caption");
    Set(b, std::string(kCaption) + "window_caption", "Later Caption");
    Set(b, std::string(kCaption) + "exact_search", "no");
    Set(b, std::string(kCaption) + "enabled", "yes");
    Set(b, "actions/RunMode/params/enabled", "yes");
    Set(b, "actions/RunMode/params/run_mode", "maximize");
    IBOMObject* c = Rule("off");
    Set(c, std::string(kClass) + "window_class_name", "OmbLaterC");
    Set(c, "params/enabled", "no");
    Ref<IBOMObjectSlave> second = CreateBOMObject("CONDITION", "Second");
    c->GetObject("conditions").As<IBOMCollection>()->AddItem(second.get());
    Set(c, "conditions/Second/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name", "OmbLaterC2");
    ASSERT_TRUE(Save(made.get(), folder.Path("a.ini")));

    // Saved untouched, the file comes out as it was.
    Ref<TTarvelWindows> untouched = Load(folder.Path("a.ini"), TRuleLoadScope::kReadLater);
    ASSERT_TRUE(untouched);
    for (const char* name : {"by class", "by caption", "off"}) EXPECT_TRUE(RuleOf(untouched.get(), name)->PartsPending());
    ASSERT_TRUE(Save(untouched.get(), folder.Path("b.ini")));
    EXPECT_EQ(ReadBytes(folder.Path("b.ini")), ReadBytes(folder.Path("a.ini")));
    EXPECT_FALSE(RuleOf(untouched.get(), "off")->PartsPending());
    EXPECT_FALSE(RuleOf(untouched.get(), "off")->Realized());
    untouched->Disconnect();
    untouched = nullptr;

    // The storage is gone; a rename and a parameter changed before the
    // parts are read stay when they are.
    loaded = Load(folder.Path("a.ini"), TRuleLoadScope::kReadLater);
    ASSERT_TRUE(loaded);
    TWindowRule* later = RuleOf(loaded.get(), "by class");
    ASSERT_TRUE(later);
    EXPECT_TRUE(later->PartsPending());
    EXPECT_FALSE(RuleOf(loaded.get(), "off")->IsEnabled());
    loaded->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(later, "renamed");
    made->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(RuleOf(made.get(), "by class"), "renamed");
    Set(RuleOf(loaded.get(), "off"), "params/enabled", "yes");
    Set(c, "params/enabled", "yes");
    EXPECT_TRUE(later->PartsPending());
    TestWindow w1("OmbLaterA", ""), w2("OmbLaterB", "some Later Caption"), w3("OmbLaterC", ""),
        w4("OmbLaterD", "nothing");
    for (HWND w : {w1.get(), w2.get(), w3.get(), w4.get()}) EXPECT_EQ(loaded->FindWindowCommand(w), made->FindWindowCommand(w));
    EXPECT_EQ(loaded->FindWindowCommand(w1.get()).rfind("\\WINDOWRULENAME=renamed\\", 0), 0u);
    EXPECT_FALSE(later->PartsPending());
    EXPECT_FALSE(later->Realized());
    TWindowRule* caption = RuleOf(loaded.get(), "by caption");
    EXPECT_EQ(Get(caption, "actions/RunMode/params/run_mode"), "maximize");
    EXPECT_TRUE(caption->Realized());
    EXPECT_EQ(Get(caption, "params/name"), "by caption");

    // From a storage that is not a document, the parts are read as
    // objects; the rule keeps what changed before.
    Ref<TStoredStorage> stored = TStoredStorage::Create(StoreObject(static_cast<IPersistObject*>(made.get()), "tarvel_windows"));
    Ref<TTarvelWindows> fromTree = New<TTarvelWindows>("TARVILWINDOWS", "");
    {
        TRuleLoadScope scope(TRuleLoadScope::kReadLater);
        static_cast<IPersistObject*>(fromTree.get())->LoadFrom(stored.get());
    }
    fromTree->SetOwner(nullptr);
    stored = nullptr;
    TWindowRule* tree = RuleOf(fromTree.get(), "off");
    ASSERT_TRUE(tree && tree->PartsPending());
    fromTree->GetObject("window_rules").As<IBOMObjectOwner>()->RenameChild(tree, "was off");
    fromTree->SetModified(false);
    EXPECT_EQ(Get(tree, "conditions/Second/criterions/WINDOWCLASSNAMECRITERION/params/window_class_name"),
              "OmbLaterC2");
    EXPECT_FALSE(fromTree->Modified()) << "reading is no change";
    EXPECT_EQ(Get(tree, std::string(kClass) + "window_class_name"), "OmbLaterC");
    EXPECT_EQ(Get(tree, "params/name"), "was off");
    EXPECT_TRUE(tree->IsEnabled());
    fromTree->Disconnect();
}

// A language change is kept for stored parts; saving them writes them as
// their objects, told the language, would: the same bytes as rules that
// became objects, and none of the stored rules becomes objects.
TEST_F(StoredRules, StoredRulesSaveTheirPartsInTheLanguageOfTheMomentWithoutObjects) {
    for (int i = 0; i < 3; ++i) {
        IBOMObject* rule = Rule("rule " + std::to_string(i));
        Set(rule, std::string(kClass) + "window_class_name", "OmbSaved" + std::to_string(i));
        Set(rule, "actions/StayOnTop/params/enabled", "yes");
    }
    ASSERT_TRUE(Save(made.get(), folder.Path("a.ini")));
    loaded = Load(folder.Path("a.ini"));
    Ref<TTarvelWindows> twin = Load(folder.Path("a.ini"));
    Ref<TTarvelWindows> later = Load(folder.Path("a.ini"), TRuleLoadScope::kReadLater);
    ASSERT_TRUE(loaded && twin && later);
    WriteBytes(folder.Path("xx.lng"),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><language id=\"xx\" name=\"Test\" original_name=\"Test\">"
               "<strings><string name=\"Action_STAYONTOPACTION_Caption\">Always in front</string></strings></language>");
    ASSERT_TRUE(MultiLanguages()->LoadLanguageFile(folder.Path("xx.lng")));
    loaded->Broadcast(1, 0, 0);
    twin->Broadcast(1, 0, 0);
    later->Broadcast(1, 0, 0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(twin->GetObject("window_rules/rule " + std::to_string(i) + "/actions"));
    EXPECT_TRUE(RuleOf(later.get(), "rule 2")->PartsPending()) << "the language reads no parts";

    ASSERT_TRUE(Save(twin.get(), folder.Path("objects.ini")));
    {
        TRuleSaveScope scope;  // as the configuration saves: each shared part translated once
        ASSERT_TRUE(Save(loaded.get(), folder.Path("stored.ini")));
    }
    ASSERT_TRUE(Save(loaded.get(), folder.Path("alone.ini")));
    {
        TRuleSaveScope scope;
        ASSERT_TRUE(Save(later.get(), folder.Path("later.ini")));
    }
    const std::string saved = ReadBytes(folder.Path("objects.ini"));
    EXPECT_EQ(ReadBytes(folder.Path("later.ini")), saved);
    EXPECT_EQ(Get(RuleOf(later.get(), "rule 2"), "actions/StayOnTop/params/caption"), "Always in front");
    later->Disconnect();
    EXPECT_NE(saved.find("Always in front"), std::string::npos);
    EXPECT_EQ(ReadBytes(folder.Path("stored.ini")), saved);
    EXPECT_EQ(ReadBytes(folder.Path("alone.ini")), saved);
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(RuleOf(loaded.get(), "rule " + std::to_string(i))->Realized()) << i;
    // Brought back, the parts are in that language too.
    EXPECT_EQ(Get(RuleOf(loaded.get(), "rule 1"), "actions/StayOnTop/params/caption"), "Always in front");
    twin->Disconnect();
}

// The close question in the command text is in the language of the moment:
// a stored rule follows a change of language as a rule of objects does, and
// stays stored.
TEST_F(StoredRules, TheLanguageBroadcastReachesAStoredRulesCommandText) {
    for (const char* name : {"ask", "ask too"}) {
        IBOMObject* rule = Rule(name);
        Set(rule, std::string(kClass) + "window_class_name", "OmbStoredAsk");
        Set(rule, "actions/CloseQuery/params/enabled", "yes");
    }
    ASSERT_TRUE(Save(made.get(), folder.Path("ask.ini")));
    loaded = Load(folder.Path("ask.ini"));
    ASSERT_TRUE(loaded);
    // Rules read later: one read before the change, one after (they share
    // their actions and triggers).
    Ref<TTarvelWindows> later = Load(folder.Path("ask.ini"), TRuleLoadScope::kReadLater);
    ASSERT_TRUE(later);
    const std::string laterBefore = RuleOf(later.get(), "ask")->CommandText();
    TWindowRule* stored = RuleOf(loaded.get(), "ask");
    ASSERT_TRUE(stored && !stored->Realized());
    const std::string before = stored->CommandText();
    ASSERT_NE(before.find("CLOSE_QUERY_MESSAGE="), std::string::npos) << before;

    const std::string question = u8"\u0417\u0430\u043a\u0440\u044b\u0442\u044c?";  // "Закрыть?"
    WriteBytes(folder.Path("ask.lng"),
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?><language id=\"zz\" name=\"Test\"><strings>"
               "<string name=\"CQA_CloseQueryMessage\">" + question + "</string></strings></language>");
    ASSERT_TRUE(MultiLanguages()->LoadLanguageFile(folder.Path("ask.lng")));
    ASSERT_EQ(GetMLString("CQA_CloseQueryMessage", ""), question);
    made->Broadcast(1, 0, 0);
    loaded->Broadcast(1, 0, 0);
    later->Broadcast(1, 0, 0);
    const std::string after = stored->CommandText();
    EXPECT_NE(after.find("CLOSE_QUERY_MESSAGE=" + question + "}"), std::string::npos) << after;
    EXPECT_EQ(after, RuleOf(made.get(), "ask")->CommandText());
    EXPECT_EQ(laterBefore, before);
    EXPECT_EQ(RuleOf(later.get(), "ask")->CommandText(), after);
    const std::string laterToo = RuleOf(later.get(), "ask too")->CommandText();
    EXPECT_NE(laterToo.find("CLOSE_QUERY_MESSAGE=" + question + "}"), std::string::npos) << laterToo;
    later->Disconnect();
    EXPECT_FALSE(stored->Realized()) << "stored again";
    TestWindow w("OmbStoredAsk", "");
    EXPECT_EQ(loaded->FindWindowCommand(w.get()), after);
}
