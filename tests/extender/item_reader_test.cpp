// The item registry reading rule command texts, driven with probe classes
// registered under the type names the rule texts use. Each probe records the
// keys it receives and builds its children the way the library's items do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extender/items.h"

using namespace omb;
using namespace omb::ea;

namespace reader_test {
struct IProbe : IUnknown {
    virtual std::string Dump() = 0;
    virtual int Depth() = 0;
};
}  // namespace reader_test
using reader_test::IProbe;

OMB_DECLARE_IID(reader_test::IProbe, "{5E0C2D1A-7B43-4C59-9A1E-2F6B8D3C4E71}")

namespace {

enum class Kind { Plain, Extender, Trigger, Nest, Failing };

class TProbe : public TAbstractParamsItem, public IProbe {
public:
    explicit TProbe(Kind kind, const char* label) : kind_(kind), label_(label) {}
    OMB_IUNKNOWN

    void Init() override {
        TAbstractParamsItem::Init();
        entries_.push_back("init");
        if (kind_ == Kind::Failing) throw std::runtime_error("no");
    }
    void ParseParam(const std::string& key, const std::string& value) override {
        TAbstractParamsItem::ParseParam(key, value);
        Ref<IItem> child;
        bool isChild = true;
        if (kind_ == Kind::Extender && (key == "ACTION" || key == "TRIGGER"))
            child = CreateChildItemFromString(value);
        else if (kind_ == Kind::Trigger && key == "AGENT")
            child = CreateChildItem(value, "MESSAGEAGENT");
        else if (kind_ == Kind::Nest && key == "CHILD")
            child = CreateChildItemFromString(value);
        else
            isChild = false;
        if (!isChild) {
            entries_.push_back(key + "=" + value);
        } else if (Ref<IProbe> probe = child.As<IProbe>()) {
            entries_.push_back(key + ":" + probe->Dump());
        } else {
            entries_.push_back(key + ":none");
        }
    }

    std::string Dump() override {
        std::string s = label_ + "{";
        for (size_t i = 1; i < entries_.size(); ++i) s += (i > 1 ? ";" : "") + entries_[i];
        return s + "}";
    }
    int Depth() override { return BuildDepth(); }

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<IProbe>(this, iid, object)) return S_OK;
        return TAbstractParamsItem::QueryImpl(iid, object);
    }

private:
    Kind kind_;
    std::string label_;
    std::vector<std::string> entries_;  // "init" first
};

template <Kind K>
class Probe : public TProbe {
public:
    Probe()
        : TProbe(K, K == Kind::Extender  ? "extender"
                    : K == Kind::Trigger ? "trigger"
                    : K == Kind::Nest    ? "nest"
                                         : "plain") {}
};
class Action : public TProbe {
public:
    Action() : TProbe(Kind::Plain, "action") {}
};
class Agent : public TProbe {
public:
    Agent() : TProbe(Kind::Plain, "agent") {}
};

struct ItemReader : ::testing::Test {
    void SetUp() override {
        FreeItemClasses();
        CreateItemClasses();
        RegisterItemClass<Probe<Kind::Extender>>("WINDOWEXTENDER");
        for (const char* name : {"CLOSEWINDOWACTION", "RUNMODEACTION", "SAVESIZEPOSACTION", "STAYONTOPACTION",
                                 "CLOSEQUERYACTION"})
            RegisterItemClass<Action>(name);
        RegisterItemClass<Probe<Kind::Trigger>>("WMCREATEMESSAGETRIGGER");
        RegisterItemClass<Probe<Kind::Trigger>>("WMDESTROYMESSAGETRIGGER");
        RegisterItemClass<Agent>("MESSAGEAGENT");
        RegisterItemClass<Probe<Kind::Plain>>("PLAIN");
        RegisterItemClass<Probe<Kind::Plain>>("X");
        RegisterItemClass<Probe<Kind::Nest>>("NEST");
        RegisterItemClass<Probe<Kind::Failing>>("FAILING");
        live_ = TDebugInterfacedObject::LiveObjects();
    }
    void TearDown() override {
        FreeItemClasses();
        EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), live_) << "an item leaked";
    }

    static std::string Dump(const Ref<IItem>& item) {
        Ref<IProbe> probe = item.As<IProbe>();
        return probe ? probe->Dump() : "none";
    }
    static std::string Rule(const std::string& text) { return Dump(CreateItem(text, "WINDOWEXTENDER")); }

    long live_ = 0;
};

struct Case {
    const char* text;
    const char* expected;
};

}  // namespace

// The rule texts the rule model writes, every shape of them.
TEST_F(ItemReader, RuleTextsAsTheModelWritesThem) {
    const Case cases[] = {
        // A rule with nothing but its name.
        {"\\WINDOWRULENAME=Editor", "extender{WINDOWRULENAME=Editor}"},
        // Actions: a lone backslash before the closing brace, and two in a row
        // before the extra keys of run mode and close query.
        {"\\WINDOWRULENAME=R\\ACTION=CLOSEWINDOWACTION{\\NAME=CloseWindow\\SAVECURRENTOPERATION=no\\}",
         "extender{WINDOWRULENAME=R;ACTION:action{NAME=CloseWindow;SAVECURRENTOPERATION=no}}"},
        {"\\WINDOWRULENAME=R\\ACTION=RUNMODEACTION{\\NAME=RunMode\\SAVECURRENTOPERATION=yes\\\\RUNMODE="
         "maximize}",
         "extender{WINDOWRULENAME=R;ACTION:action{NAME=RunMode;SAVECURRENTOPERATION=yes;"
         "RUNMODE=maximize}}"},
        {"\\WINDOWRULENAME=R\\ACTION=CLOSEQUERYACTION{\\NAME=CloseQuery\\SAVECURRENTOPERATION=no\\\\"
         "CLOSE_QUERY_MESSAGE=Are you sure you want to close window?}",
         "extender{WINDOWRULENAME=R;ACTION:action{NAME=CloseQuery;SAVECURRENTOPERATION=no;"
         "CLOSE_QUERY_MESSAGE=Are you sure you want to close window?}}"},
        // A trigger without agents and one whose agent has no operation name.
        {"\\WINDOWRULENAME=R\\TRIGGER=WMDESTROYMESSAGETRIGGER{\\LAG_ENABLED=yes\\LAG_INTERVAL=500}",
         "extender{WINDOWRULENAME=R;TRIGGER:trigger{LAG_ENABLED=yes;LAG_INTERVAL=500}}"},
        {"\\WINDOWRULENAME=R\\TRIGGER=WMCREATEMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL=0"
         "\\AGENT={\\NAME=A\\ACTIONNAME=RunMode\\ACTIONKIND=next\\OPERATIONNAME=}}",
         "extender{WINDOWRULENAME=R;TRIGGER:trigger{LAG_ENABLED=no;LAG_INTERVAL=0;"
         "AGENT:agent{NAME=A;ACTIONNAME=RunMode;ACTIONKIND=next;OPERATIONNAME=}}}"},
        // Values are taken as they are: "=" after the first, blanks, case.
        {"\\WINDOWRULENAME=a=b c\\ACTION=stayontopaction{\\name=MiXeD}",
         "extender{WINDOWRULENAME=a=b c;ACTION:action{NAME=MiXeD}}"},
        // The example of the reader's documentation.
        {"\\WINDOWRULENAME=Editor\\ACTION=STAYONTOPACTION{\\NAME=Top\\SAVECURRENTOPERATION=yes}"
         "\\TRIGGER=WMCREATEMESSAGETRIGGER{\\AGENT={\\NAME=A1\\ACTIONNAME=Top\\ACTIONKIND=concrete"
         "\\OPERATIONNAME=STAYONTOPON}}",
         "extender{WINDOWRULENAME=Editor;ACTION:action{NAME=Top;SAVECURRENTOPERATION=yes};"
         "TRIGGER:trigger{AGENT:agent{NAME=A1;ACTIONNAME=Top;ACTIONKIND=concrete;"
         "OPERATIONNAME=STAYONTOPON}}}"},
    };
    for (const Case& c : cases) EXPECT_EQ(Rule(c.text), c.expected) << c.text;
}

TEST_F(ItemReader, TheFullRuleOfANewWindowRule) {
    const std::string text =
        "\\WINDOWRULENAME=Window Rule 1\\ACTION=STAYONTOPACTION{\\NAME=StayOnTop\\SAVECURRENTOPERATION="
        "no\\}\\TRIGGER=WMCREATEMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL=0\\AGENT={\\NAME="
        "CloseWindowAgent\\ACTIONNAME=CloseWindow\\ACTIONKIND=next\\OPERATIONNAME=}\\AGENT={\\NAME="
        "RunModeAgent\\ACTIONNAME=RunMode\\ACTIONKIND=next\\OPERATIONNAME=}\\AGENT={\\NAME="
        "RestoreSizePosAgent\\ACTIONNAME=SaveSizePos\\ACTIONKIND=concrete\\OPERATIONNAME="
        "RESTORESIZEPOS}\\AGENT={\\NAME=StayOnTopAgent\\ACTIONNAME=StayOnTop\\ACTIONKIND=concrete"
        "\\OPERATIONNAME=STAYONTOPON}}\\TRIGGER=WMDESTROYMESSAGETRIGGER{\\LAG_ENABLED=no\\LAG_INTERVAL"
        "=0\\AGENT={\\NAME=SaveSizePosAgent\\ACTIONNAME=SaveSizePos\\ACTIONKIND=concrete"
        "\\OPERATIONNAME=SAVESIZEPOS}}";
    const std::string expected =
        "extender{WINDOWRULENAME=Window Rule 1;"
        "ACTION:action{NAME=StayOnTop;SAVECURRENTOPERATION=no};"
        "TRIGGER:trigger{LAG_ENABLED=no;LAG_INTERVAL=0;"
        "AGENT:agent{NAME=CloseWindowAgent;ACTIONNAME=CloseWindow;ACTIONKIND=next;OPERATIONNAME=};"
        "AGENT:agent{NAME=RunModeAgent;ACTIONNAME=RunMode;ACTIONKIND=next;OPERATIONNAME=};"
        "AGENT:agent{NAME=RestoreSizePosAgent;ACTIONNAME=SaveSizePos;ACTIONKIND=concrete;"
        "OPERATIONNAME=RESTORESIZEPOS};"
        "AGENT:agent{NAME=StayOnTopAgent;ACTIONNAME=StayOnTop;ACTIONKIND=concrete;"
        "OPERATIONNAME=STAYONTOPON}};"
        "TRIGGER:trigger{LAG_ENABLED=no;LAG_INTERVAL=0;"
        "AGENT:agent{NAME=SaveSizePosAgent;ACTIONNAME=SaveSizePos;ACTIONKIND=concrete;"
        "OPERATIONNAME=SAVESIZEPOS}}}";
    EXPECT_EQ(Rule(text), expected);

    Ref<IItem> rule = CreateItem(text, "WINDOWEXTENDER");
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->GetName(), "");  // the rule's name is not the item's name
    EXPECT_EQ(rule.As<IProbe>()->Depth(), 0);
}

TEST_F(ItemReader, ParameterStringsAndTypeNames) {
    const Case params[] = {
        {"", "plain{}"},                               // Init defaults only
        {"\\NAME=a\\NAME=b", "plain{NAME=a;NAME=b}"},  // each occurrence is handled
        // A piece without "=" leaves an empty pair, handled after the others.
        {"\\FLAG\\K=v", "plain{K=v;=}"},
        {"  \\K=v \\L=w  ", "plain{K=v ;L=w}"},  // only the whole string is trimmed
        // Keys: only a to z change case; values stay as they are.
        {"\\aBc_1=xYz\\k\xe4y=\xe4", "plain{ABC_1=xYz;K\xe4Y=\xe4}"},
        {"\\K=\\L=", "plain{K=;L=}"},
        {"\\\\\\K=1\\\\", "plain{K=1}"},  // empty pieces are dropped
        {"\\K={}", "plain{K=}"},          // one pair of braces comes off
        {"\\K={{1}}", "plain{K={1}}"},
        {"\\K=a}", "plain{K=a}}"},
    };
    for (const Case& c : params) EXPECT_EQ(Dump(CreateItem(c.text, "PLAIN")), c.expected) << c.text;

    const Case texts[] = {
        {"X{\\A=1\\B={2}}", "plain{A=1;B=2}"},
        {"X{\\A=1", "plain{A=}"},  // the last character is dropped, whatever it is
        {"X", "plain{}"},
        {"X{", "plain{}"},
        {"X{}", "plain{}"},
        {"x{\\a=1}", "plain{A=1}"},       // type names in any case
        {"", "none"},                     // an empty text builds nothing
        {" X{}", "none"},                 // the type name is not trimmed
        {"Y{\\A=1}", "none"},             // not registered
        {"{\\A=1}", "none"},              // no type name
        {"STAYONTOPACTION", "action{}"},  // a type alone
    };
    for (const Case& c : texts) EXPECT_EQ(Dump(CreateItemFromString(c.text)), c.expected) << c.text;
}

TEST_F(ItemReader, ChildrenOfUnknownTypesAreSkippedAndTheRestIsRead) {
    EXPECT_EQ(Rule("\\ACTION=NOSUCHACTION{\\NAME=a}\\ACTION=TACTION{\\NAME=b}\\WINDOWRULENAME=R"
                   "\\ACTION=STAYONTOPACTION{\\NAME=c}\\ACTION=STAYONTOPACTION{\\NAME=c}"),
              "extender{ACTION:none;ACTION:none;WINDOWRULENAME=R;ACTION:action{NAME=c};"
              "ACTION:action{NAME=c}}");
    // An agent value names no type: its trigger gives the type, and a type
    // written there is only text.
    EXPECT_EQ(Rule("\\TRIGGER=WMCREATEMESSAGETRIGGER{\\AGENT=PLAIN{\\NAME=a}\\AGENT={\\NAME=b}}"),
              "extender{TRIGGER:trigger{AGENT:agent{PLAIN{\\NAME=a}};AGENT:agent{NAME=b}}}");
}

TEST_F(ItemReader, BooleansAreYesOnly) {
    for (const char* yes : {"yes", "Yes", "YES", "yEs"}) EXPECT_TRUE(IsYes(yes)) << yes;
    for (const char* no : {"no", "", "1", "true", "y", "yes ", " yes", "ye", "yess", "\xffyes"})
        EXPECT_FALSE(IsYes(no)) << no;
}

TEST_F(ItemReader, RegistryLookupAndRegistration) {
    EXPECT_EQ(FindItemClass("plain"), &ConstructItem<Probe<Kind::Plain>>);
    RegisterItemClass<Action>("Plain");  // the first registration stays
    EXPECT_EQ(FindItemClass("PLAIN"), &ConstructItem<Probe<Kind::Plain>>);
    RegisterItemClass(nullptr, "EMPTY");
    EXPECT_EQ(FindItemClass("EMPTY"), nullptr);
    EXPECT_EQ(FindItemClass("NOSUCH"), nullptr);
    EXPECT_EQ(FindItemClass(""), nullptr);

    FreeItemClasses();
    EXPECT_EQ(ItemClasses(), nullptr);
    RegisterItemClass<Action>("LATE");  // no registry: nothing happens
    EXPECT_EQ(FindItemClass("PLAIN"), nullptr);
    EXPECT_FALSE(CreateItem("\\NAME=a", "PLAIN"));
    EXPECT_FALSE(CreateItemFromString("PLAIN{\\NAME=a}"));
}

TEST_F(ItemReader, FailuresPassOnAndFreeTheItem) {
    EXPECT_THROW(CreateItem("\\NAME=a", "FAILING"), std::runtime_error);
    EXPECT_THROW(CreateItemFromString("FAILING"), std::runtime_error);
    // TearDown checks that nothing was left behind.
}

// Texts come from another process: whatever arrives builds nothing or less,
// and nesting and sizes are bounded.
TEST_F(ItemReader, HostileTextsAreBounded) {
    // Nesting stops at the depth limit.
    std::string text = "NEST{\\NAME=leaf}";
    for (int i = 0; i < 40; ++i) text = "NEST{\\CHILD=" + text + "}";
    Ref<IItem> top = CreateItemFromString(text);
    ASSERT_TRUE(top);
    const std::string dump = Dump(top);
    size_t levels = 0;
    for (size_t at = dump.find("nest{"); at != std::string::npos; at = dump.find("nest{", at + 1)) ++levels;
    EXPECT_EQ(levels, size_t(kMaxItemDepth));
    EXPECT_NE(dump.find("CHILD:none"), std::string::npos);
    EXPECT_EQ(dump.find("leaf"), std::string::npos);

    // The same through the rule reader: an action may not nest rules deeper.
    std::string rule = "\\WINDOWRULENAME=in";
    for (int i = 0; i < 40; ++i) rule = "\\ACTION=WINDOWEXTENDER{" + rule + "}";
    EXPECT_NE(Rule(rule).find("ACTION:none"), std::string::npos);

    // Sizes: a text above the limit builds nothing, one at the limit builds.
    std::string big = "\\K=" + std::string(kMaxItemText - 3, 'v');
    ASSERT_EQ(big.size(), kMaxItemText);
    EXPECT_TRUE(CreateItem(big, "PLAIN"));
    EXPECT_FALSE(CreateItem(big + "v", "PLAIN"));
    EXPECT_FALSE(CreateItemFromString("PLAIN{" + big + "}"));

    // Broken brace structure, stray separators, control characters.
    const char withNul[] = "X{\\A=\0\\B=1}";
    const std::string junk[] = {
        "{",
        "}",
        "{{{{",
        "}}}}",
        "\\",
        "=",
        "\\=",
        "\\={",
        "{\\",
        "}\\{",
        "X{\\A={\\B=}",
        "X{\\A=}}}}}",
        "X}{",
        std::string(withNul, sizeof withNul - 1),
        "\\ACTION=\\ACTION={\\ACTION=}",
        "\\TRIGGER=WMCREATEMESSAGETRIGGER{\\AGENT={{{{{{}",
        std::string(5000, '{'),
        std::string(5000, '}'),
        std::string(5000, '\\'),
    };
    for (const std::string& t : junk) {
        CreateItemFromString(t);
        CreateItem(t, "WINDOWEXTENDER");
        CreateItem(t, "NEST");
    }
    // Deep braces without items inside only nest in the splitter, which counts.
    const std::string braces = "\\K=" + std::string(10000, '{') + std::string(10000, '}');
    EXPECT_EQ(Dump(CreateItem(braces, "PLAIN")),
              "plain{K=" + std::string(9999, '{') + std::string(9999, '}') + "}");
}
