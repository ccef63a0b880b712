// Every rule text the model writes reads back through the hook library's
// reader into the structure the model holds.
#include <gtest/gtest.h>

#include "extender/items.h"
#include "foundation/xml_storage.h"
#include "model/actions.h"
#include "model/command_text.h"
#include "model/triggers.h"
#include "model_test_support.h"

using namespace omb;
using namespace omb::test;

namespace {
// Records what the reader hands it: keys and values in order, and the items
// the rule text nests (ACTION, TRIGGER and AGENT values).
class Probe : public ea::TAbstractParamsItem {
public:
    void ParseParam(const std::string& key, const std::string& value) override {
        ea::TAbstractParamsItem::ParseParam(key, value);
        if (key == "ACTION" || key == "TRIGGER") {
            Ref<ea::IItem> child = CreateChildItemFromString(value);
            auto* probe = dynamic_cast<Probe*>(child.get());
            ASSERT_NE(probe, nullptr) << value;
            probe->type = value.substr(0, value.find('{'));
            text += "|" + key + " " + probe->type + "{" + probe->text + "}";
        } else if (key == "AGENT") {
            Ref<ea::IItem> child = CreateChildItem(value, "MESSAGEAGENT");
            auto* probe = dynamic_cast<Probe*>(child.get());
            ASSERT_NE(probe, nullptr) << value;
            text += ",AGENT{" + probe->text + "}";
        } else {
            text += (text.empty() || text.back() == '{' ? "" : ",") + key + "=" + value;
        }
    }
    std::string type, text;
};

// The same rendering, made from the model's objects.
std::string Expected(IBOMObject* rule) {
    std::string s = "WINDOWRULENAME=" + CommandValue(rule->GetName());
    auto value = [](IBOMObject* o, const char* param) {
        Ref<IBOMParam> p = o->GetObject(std::string("params/") + param).As<IBOMParam>();
        return CommandValue(p ? p->GetValue().ToText() : "");
    };
    Ref<IBOMCollection> actions = rule->GetObject("actions").As<IBOMCollection>();
    for (int i = 0; i < actions->Count(); ++i) {
        Ref<IBOMObject> a = actions->GetItem(Variant(i));
        auto* action = dynamic_cast<TAction*>(a.get());
        if (!action->IsEnabled()) continue;
        s += "|ACTION " + action->CommandTypeName() + "{NAME=" + CommandValue(a->GetName()) +
             ",SAVECURRENTOPERATION=" + value(a.get(), "save_current_operation");
        if (action->CommandTypeName() == "RUNMODEACTION") s += ",RUNMODE=" + value(a.get(), "run_mode");
        if (action->CommandTypeName() == "CLOSEQUERYACTION")
            s += ",CLOSE_QUERY_MESSAGE=" +
                 CommandValue(GetMLString("CQA_CloseQueryMessage", "Are you sure you want to close window?"));
        s += "}";
    }
    Ref<IBOMCollection> triggers = rule->GetObject("triggers").As<IBOMCollection>();
    for (int i = 0; i < triggers->Count(); ++i) {
        Ref<IBOMObject> t = triggers->GetItem(Variant(i));
        if (!t->QueryRole("Trigger").As<IActivator>()->IsEnabled()) continue;
        s += "|TRIGGER " + t.As<IBOMObjectSlave>()->GetTypeName() + "{LAG_ENABLED=" + value(t.get(), "lag_enabled") +
             ",LAG_INTERVAL=" + value(t.get(), "lag_interval");
        Ref<IBOMCollection> agents = t->GetObject("agents").As<IBOMCollection>();
        for (int k = 0; k < agents->Count(); ++k) {
            Ref<IBOMObject> a = agents->GetItem(Variant(k));
            if (!a->QueryRole("Agent").As<IActivator>()->IsEnabled()) continue;
            s += ",AGENT{NAME=" + CommandValue(a->GetName()) + ",ACTIONNAME=" + value(a.get(), "action_name") +
                 ",ACTIONKIND=" + value(a.get(), "action_kind") + ",OPERATIONNAME=" + value(a.get(), "operation_name") +
                 "}";
        }
        s += "}";
    }
    return s;
}

std::string ReadBack(const std::string& ruleText) {
    Ref<ea::IItem> item = ea::CreateItem(ruleText, "WINDOWEXTENDER");
    auto* probe = dynamic_cast<Probe*>(item.get());
    return probe ? probe->text : "<nothing built>";
}

struct ReaderRoundTrip : ModelTest {
    void SetUp() override {
        ModelTest::SetUp();
        ea::CreateItemClasses();
        for (const char* type : {"WINDOWEXTENDER", "STAYONTOPACTION", "CLOSEWINDOWACTION", "RUNMODEACTION",
                                 "SAVESIZEPOSACTION", "CLOSEQUERYACTION", "WMCREATEMESSAGETRIGGER",
                                 "WMDESTROYMESSAGETRIGGER", "MESSAGEAGENT"})
            ea::RegisterItemClass<Probe>(type);
    }
    void TearDown() override {
        ea::FreeItemClasses();
        ModelTest::TearDown();
    }
};
}  // namespace

TEST_F(ReaderRoundTrip, EveryShapeTheModelWritesReadsBack) {
    Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "root");
    Ref<TXMLStorage> storage = TXMLStorage::Create();
    ASSERT_TRUE(storage->LoadFromXML(
        "<tarvel_windows><window_rules><content>"
        "<window_rule name=\"Window Rule 1\"/>"
        "<window_rule name=\"all on\"/>"
        "<window_rule name=\"odd {name} \\ here\"/>"
        "<window_rule name=\"lagged\"/>"
        "</content></window_rules></tarvel_windows>"));
    storage->LoadObject(static_cast<IPersistObject*>(root.get()));
    root->SetOwner(nullptr);
    Set(root.get(), "window_rules/Window Rule 1/actions/StayOnTop/params/enabled", "yes");
    for (const char* a : {"CloseWindow", "RunMode", "SaveSizePos", "StayOnTop", "CloseQuery"})
        Set(root.get(), std::string("window_rules/all on/actions/") + a + "/params/enabled", "yes");
    Set(root.get(), "window_rules/all on/actions/RunMode/params/run_mode", "maximize");
    Set(root.get(), "window_rules/all on/actions/SaveSizePos/params/save_current_operation", "yes");
    Set(root.get(), "window_rules/odd {name} \\ here/actions/RunMode/params/enabled", "yes");
    Set(root.get(), "window_rules/odd {name} \\ here/actions/RunMode/params/run_mode", "min{imize}");
    Set(root.get(), "window_rules/lagged/triggers/WMCreateMessageTrigger/params/lag_enabled", "yes");
    Set(root.get(), "window_rules/lagged/triggers/WMCreateMessageTrigger/params/lag_interval", "500");
    Set(root.get(), "window_rules/lagged/triggers/WMCreateMessageTrigger/agents/RunModeAgent/params/enabled", "no");
    Set(root.get(), "window_rules/lagged/triggers/WMDestroyMessageTrigger/params/enabled", "no");

    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    ASSERT_EQ(rules->Count(), 4);
    for (int i = 0; i < rules->Count(); ++i) {
        Ref<IBOMObject> rule = rules->GetItem(Variant(i));
        const std::string text = rule->QueryRole("WindowRule").As<IWindowRule>()->CommandText();
        EXPECT_EQ(ReadBack(text), Expected(rule.get())) << text;
    }
    root->Disconnect();
}

TEST_F(ReaderRoundTrip, NamesInEveryScriptReadBackAsUTF8) {
    // Rule, action and caption texts beyond ASCII: the command text carries
    // them in UTF-8, byte for byte, and the reader builds the same items.
    const std::string names[] = {u8"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F642",  // Cyrillic, emoji
                                 u8"\u0393\u03b5\u03b9\u03ac \u03c3\u03bf\u03c5",      // Greek
                                 u8"\u4f60\u597d {\u4e16\u754c} \\ \u00e9"};  // CJK, command characters
    Ref<TTarvelWindows> root = New<TTarvelWindows>("TARVILWINDOWS", "root");
    root->SetOwner(nullptr);
    Ref<IBOMCollection> rules = root->GetObject("window_rules").As<IBOMCollection>();
    for (const std::string& name : names) {
        Ref<IBOMObjectSlave> rule = CreateBOMObject("WINDOWRULE", name);
        rules->AddItem(rule.get());
        for (const char* a : {"SaveSizePos", "StayOnTop", "CloseQuery"})
            Set(rule.get(), std::string("actions/") + a + "/params/enabled", "yes");
        Set(rule.get(), "conditions/DefaultCondition/criterions/WINDOWCaptionCriterion/params/window_caption",
            name);
    }
    ASSERT_EQ(rules->Count(), 3);
    for (int i = 0; i < rules->Count(); ++i) {
        Ref<IBOMObject> rule = rules->GetItem(Variant(i));
        EXPECT_EQ(rule->GetName(), names[i]);
        const std::string text = rule->QueryRole("WindowRule").As<IWindowRule>()->CommandText();
        EXPECT_EQ(text.rfind("\\WINDOWRULENAME=" + CommandValue(names[i]) + "\\", 0), 0u) << text;
        EXPECT_EQ(ReadBack(text), Expected(rule.get())) << text;
        EXPECT_NE(ReadBack(text).find("WINDOWRULENAME=" + CommandValue(names[i])), std::string::npos);
    }
    root->Disconnect();
}
