#include <gtest/gtest.h>

#include "foundation/xml_storage.h"
#include "model/actions.h"
#include "model/command_text.h"
#include "model/triggers.h"
#include "model_test_support.h"
#include "script_matching_tests.h"

using namespace omb;
using namespace omb::test;

namespace {
const char* kClassCriterion = "conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION/params/";
const char* kCaptionCriterion = "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/";

struct Matching : ModelTest {
    void SetUp() override {
        ModelTest::SetUp();
        rule = New<TWindowRule>("WINDOWRULE", "rule");
        rule->SetOwner(nullptr);
    }
    void TearDown() override {
        rule->Disconnect();
        rule = nullptr;
        ModelTest::TearDown();
    }
    void ClassIs(const std::string& v) {
        Set(rule.get(), std::string(kClassCriterion) + "window_class_name", v);
    }
    void Caption(const std::string& v, const char* exact = "yes", const char* enabled = "yes") {
        Set(rule.get(), std::string(kCaptionCriterion) + "window_caption", v);
        Set(rule.get(), std::string(kCaptionCriterion) + "exact_search", exact);
        Set(rule.get(), std::string(kCaptionCriterion) + "enabled", enabled);
    }
    Ref<TWindowRule> rule;
};
}  // namespace

TEST_F(Matching, ClassNameWholeAndCaseSensitive) {
    TestWindow w("OmbMatchClass", "Untitled - Editor");
    EXPECT_FALSE(rule->Match(w.get()));  // a new rule matches nothing
    ClassIs("OmbMatchClass");
    EXPECT_TRUE(rule->Match(w.get()));
    ClassIs("OMBMATCHCLASS");
    EXPECT_FALSE(rule->Match(w.get()));
    ClassIs("OmbMatch");
    EXPECT_FALSE(rule->Match(w.get()));
    ClassIs("OmbMatchClass ");
    EXPECT_FALSE(rule->Match(w.get()));
}

TEST_F(Matching, CaptionWholeOrSubstringAndBothCriteria) {
    TestWindow w("OmbCaptionClass", "Untitled - Editor");
    Caption("Untitled");
    EXPECT_FALSE(rule->Match(w.get()));  // whole text by default
    Caption("Untitled", "no");
    EXPECT_TRUE(rule->Match(w.get()));
    Caption("untitled", "no");
    EXPECT_FALSE(rule->Match(w.get()));  // case-sensitive
    Caption("Untitled", "false");        // only "no" selects substring search
    EXPECT_FALSE(rule->Match(w.get()));
    Caption("Untitled - Editor");
    EXPECT_TRUE(rule->Match(w.get()));
    // With both active, both must match; switching one off lets the other decide.
    ClassIs("SomethingElse");
    EXPECT_FALSE(rule->Match(w.get()));
    Set(rule.get(), std::string(kClassCriterion) + "enabled", "no");
    EXPECT_TRUE(rule->Match(w.get()));
    // An enabled criterion with an empty value neither blocks nor allows,
    // and does not count as enabled.
    Set(rule.get(), std::string(kClassCriterion) + "enabled", "yes");
    ClassIs("");
    EXPECT_TRUE(rule->Match(w.get()));
    Ref<TBOM_UI_Object> classCriterion(dynamic_cast<TBOM_UI_Object*>(
        rule->GetObject("conditions/DefaultCondition/criterions/WINDOWCLASSNAMECRITERION").get()));
    ASSERT_TRUE(classCriterion);
    Ref<ICriterion> asCriterion = classCriterion->QueryRole("Criterion").As<ICriterion>();
    EXPECT_FALSE(asCriterion->IsEnabled());
    EXPECT_EQ(classCriterion->StateIndex(), 1);
    ClassIs("OmbCaptionClass");
    EXPECT_TRUE(asCriterion->IsEnabled());
    EXPECT_EQ(classCriterion->StateIndex(), 2);
    ClassIs("");
    Caption("Untitled - Editor", "yes", "no");
    EXPECT_FALSE(rule->Match(w.get()));  // no active criterion at all
}

TEST_F(Matching, LongClassNamesCompareByTheirFirst254Characters) {
    const std::string name(255, 'k');  // the longest class name there is
    TestWindow w(name, "long");
    ASSERT_NE(w.get(), nullptr);
    ClassIs(name.substr(0, 254));
    EXPECT_TRUE(rule->Match(w.get()));
    ClassIs(name);
    EXPECT_FALSE(rule->Match(w.get()));
}

TEST_F(Matching, ConditionsOfARule) {
    TestWindow w("OmbCondClass", "two");
    Ref<IBOMCollection> conditions = rule->GetObject("conditions").As<IBOMCollection>();
    Ref<IBOMObjectSlave> second = CreateBOMObject("CONDITION", "second");
    conditions->AddItem(second.get());
    Set(second.get(), "criterions/WINDOWCLASSNAMECRITERION/params/window_class_name", "OmbCondClass");
    EXPECT_TRUE(rule->Match(w.get()));  // either condition will do
    Set(second.get(), "params/enabled", "no");
    EXPECT_FALSE(rule->Match(w.get()));  // a disabled condition is not asked
    ClassIs("OmbCondClass");
    Set(rule.get(), "conditions/DefaultCondition/params/enabled", "no");
    EXPECT_FALSE(rule->Match(w.get()));  // no enabled condition
    Set(rule.get(), "params/enabled", "no");
    Set(rule.get(), "conditions/DefaultCondition/params/enabled", "yes");
    EXPECT_TRUE(rule->Match(w.get()));  // the rule's own switch is the caller's
    second = nullptr;
}

TEST_F(Matching, TheFirstEnabledMatchingRuleAnswers) {
    TestWindow w("OmbRootClass", "root");
    Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "root");
    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    for (const char* name : {"first", "second", "third"}) {
        Ref<IBOMObjectSlave> r = CreateBOMObject("WINDOWRULE", name);
        Set(r.get(), std::string(kClassCriterion) + "window_class_name", "OmbRootClass");
        rules->AddItem(r.get());
    }
    root->SetOwner(nullptr);
    auto nameOf = [](const std::string& text) { return text.substr(0, text.find('\\', 1)); };
    EXPECT_EQ(nameOf(root->FindWindowCommand(w.get())), "\\WINDOWRULENAME=first");
    Set(root.get(), "window_rules/first/params/enabled", "no");
    EXPECT_EQ(nameOf(root->FindWindowCommand(w.get())), "\\WINDOWRULENAME=second");
    TestWindow other("OmbOtherClass", "x");
    EXPECT_EQ(root->FindWindowCommand(other.get()), "");
    EXPECT_EQ(root->FindWindowCommand(nullptr), "");
    root->Disconnect();
}

// ---------------------------------------------------------------------------

struct Template : ModelTest {};

TEST_F(Template, AFreshRuleHasTheTemplateContent) {
    Ref<TWindowRule> rule = New<TWindowRule>("WINDOWRULE", "Window Rule 1");
    auto names = [&](const char* path) {
        std::string s;
        Ref<IBOMCollection> list = rule->GetObject(path).As<IBOMCollection>();
        for (int i = 0; list && i < list->Count(); ++i) {
            Ref<IBOMObject> item = list->GetItem(Variant(i));
            s += item->GetName() + ":" + item.As<IBOMObjectSlave>()->GetTypeName() + ":" +
                 Get(item.get(), "params/enabled") + " ";
        }
        return s;
    };
    EXPECT_EQ(names("conditions"), "DefaultCondition:CONDITION:yes ");
    EXPECT_EQ(names("actions"),
              "CloseWindow:CLOSEWINDOWACTION:no RunMode:RUNMODEACTION:no SaveSizePos:SAVESIZEPOSACTION:no "
              "StayOnTop:STAYONTOPACTION:no CloseQuery:CLOSEQUERYACTION:no ");
    EXPECT_EQ(names("triggers"),
              "WMCreateMessageTrigger:WMCREATEMESSAGETRIGGER:yes "
              "WMDestroyMessageTrigger:WMDESTROYMESSAGETRIGGER:yes ");
    EXPECT_EQ(names("triggers/WMCreateMessageTrigger/agents"),
              "CloseWindowAgent:MESSAGEAGENT:yes RunModeAgent:MESSAGEAGENT:yes "
              "RestoreSizePosAgent:MESSAGEAGENT:yes "
              "StayOnTopAgent:MESSAGEAGENT:yes ");
    EXPECT_EQ(names("conditions/DefaultCondition/criterions"),
              "WINDOWCLASSNAMECRITERION:WINDOWCLASSNAMECRITERION:yes "
              "WINDOWCaptionCriterion:WINDOWCaptionCriterion:no ");
    EXPECT_EQ(
        Get(rule.get(), "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/exact_search"),
        "yes");
    EXPECT_EQ(Get(rule.get(), "params/name"), "Window Rule 1");
    rule->Disconnect();
}

TEST_F(Template, TheDocumentedRuleTextByteForByte) {
    Ref<TWindowRule> rule = New<TWindowRule>("WINDOWRULE", "Window Rule 1");
    rule->SetOwner(nullptr);
    Set(rule.get(), "actions/StayOnTop/params/enabled", "yes");
    EXPECT_EQ(
        rule->CommandText(),
        "\\WINDOWRULENAME=Window Rule 1\\ACTION=STAYONTOPACTION{\\NAME=StayOnTop\\SAVECURRENTOPERATION=no\\}"
        "\\TRIGGER=WMCREATEMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL=0"
        "\\AGENT={\\NAME=CloseWindowAgent\\ACTIONNAME=CloseWindow\\ACTIONKIND=next\\OPERATIONNAME=}"
        "\\AGENT={\\NAME=RunModeAgent\\ACTIONNAME=RunMode\\ACTIONKIND=next\\OPERATIONNAME=}"
        "\\AGENT={\\NAME=RestoreSizePosAgent\\ACTIONNAME=SaveSizePos\\ACTIONKIND=concrete"
        "\\OPERATIONNAME=RESTORESIZEPOS}"
        "\\AGENT={\\NAME=StayOnTopAgent\\ACTIONNAME=StayOnTop\\ACTIONKIND=concrete\\OPERATIONNAME="
        "STAYONTOPON}}"
        "\\TRIGGER=WMDESTROYMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL=0"
        "\\AGENT={\\NAME=SaveSizePosAgent\\ACTIONNAME=SaveSizePos\\ACTIONKIND=concrete"
        "\\OPERATIONNAME=SAVESIZEPOS}}");
    auto action = [&](const char* name) {
        return rule->GetObject(std::string("actions/") + name)
            ->QueryRole("Action")
            .As<IAction>()
            ->CommandText();
    };
    EXPECT_EQ(action("RunMode"), "RUNMODEACTION{\\NAME=RunMode\\SAVECURRENTOPERATION=no\\\\RUNMODE=normal}");
    EXPECT_EQ(
        action("CloseQuery"),
        "CLOSEQUERYACTION{\\NAME=CloseQuery\\SAVECURRENTOPERATION=no\\\\CLOSE_QUERY_MESSAGE=Are you sure you "
        "want to close the window?}");
    // Missing parameters still write their keys with the documented values.
    Ref<IBOMObject> runMode = rule->GetObject("actions/RunMode");
    runMode->GetObject("params").As<IBOMCollection>()->DeleteItem(Variant("run_mode"));
    runMode->GetObject("params").As<IBOMCollection>()->DeleteItem(Variant("save_current_operation"));
    EXPECT_EQ(action("RunMode"), "RUNMODEACTION{\\NAME=RunMode\\SAVECURRENTOPERATION=no\\\\RUNMODE=normal}");
    // Disabled agents and triggers are left out; an action off leaves no text.
    Set(rule.get(), "triggers/WMCreateMessageTrigger/agents/RunModeAgent/params/enabled", "no");
    Set(rule.get(), "triggers/WMDestroyMessageTrigger/params/enabled", "no");
    Set(rule.get(), "actions/StayOnTop/params/enabled", "no");
    const std::string text = rule->CommandText();
    EXPECT_EQ(text.find("RunModeAgent"), std::string::npos);
    EXPECT_EQ(text.find("WMDESTROYMESSAGETRIGGER"), std::string::npos);
    EXPECT_EQ(text.find("\\ACTION="), std::string::npos);
    EXPECT_EQ(text.rfind("\\WINDOWRULENAME=Window Rule 1\\TRIGGER=WMCREATEMESSAGETRIGGER{", 0), 0u);
    rule->Disconnect();
}

TEST_F(Template, StructuringCharactersNeverReachTheRuleText) {
    Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "root");
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    ASSERT_TRUE(
        storage->LoadFromXML("<tarvel_windows><window_rules><content><window_rule name=\"a\\b{c}\"/>"
                             "<window_rule name=\"plain\"/></content></window_rules></tarvel_windows>"));
    storage->LoadObject(static_cast<IPersistObject*>(root.get()));
    root->SetOwner(nullptr);
    // A name from a file keeps the rule; its text is made readable.
    Ref<IBOMObject> odd = root->GetObject("window_rules/a\\b{c}");
    ASSERT_TRUE(odd);
    EXPECT_EQ(
        odd->QueryRole("WindowRule").As<IWindowRule>()->CommandText().rfind("\\WINDOWRULENAME=a/b(c)\\", 0),
        0u);
    // Renaming to such a name is refused like a name another rule holds.
    Ref<IBOMObjectSlave> plain = root->GetObject("window_rules/plain").As<IBOMObjectSlave>();
    Ref<IBOMObjectOwner> owner = root->GetObject("window_rules").As<IBOMObjectOwner>();
    owner->RenameChild(plain.get(), "x\\y");
    owner->RenameChild(plain.get(), "x{y}");
    EXPECT_EQ(plain->GetName(), "plain");
    owner->RenameChild(plain.get(), "Editor (main) = 1");
    EXPECT_EQ(plain->GetName(), "Editor (main) = 1");
    EXPECT_EQ(CommandValue("Close {this}\\that?"), "Close (this)/that?");
    EXPECT_EQ(CommandValue("plain text = fine"), "plain text = fine");
    odd = nullptr;
    plain = nullptr;
    owner = nullptr;
    root->Disconnect();
}
