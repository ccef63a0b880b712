// Published properties as texts and back: entry paths, binding and renaming
// of entry lists, every kind's conversion, nested objects, string lists,
// collections and component references, through an in-memory store.
#include "forms/rx_props.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace omb::forms;

// Sections of named texts, recording the order of writes.
struct MemoryStore {
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::vector<std::string> writes;
    std::vector<std::string> cleared;
    std::vector<std::string> reads;
    std::string failOn;  // a read of this value fails

    void Attach(TPropsStorage& s) {
        s.OnWriteText = [this](const std::string& sec, const std::string& id, const std::string& v) {
            sections[sec][id] = v;
            writes.push_back(sec + "/" + id + "=" + v);
        };
        s.OnReadText = [this](const std::string& sec, const std::string& id, const std::string& def) {
            reads.push_back(id);
            if (id == failOn) throw std::runtime_error("Invalid data type for '" + id + "'");
            auto s = sections.find(sec);
            if (s == sections.end()) return def;
            auto v = s->second.find(id);
            return v == s->second.end() ? def : v->second;
        };
        s.OnClearSection = [this](const std::string& sec) {
            sections.erase(sec);
            cleared.push_back(sec);
        };
    }
    bool Has(const std::string& sec, const std::string& id) const {
        auto s = sections.find(sec);
        return s != sections.end() && s->second.count(id) != 0;
    }
    std::string Get(const std::string& sec, const std::string& id) const { return sections.at(sec).at(id); }
};

enum class TColorKind { ckRed, ckGreen, ckBlue };

struct TFontLike : TPersistent {
    std::string name = "MS Sans Serif";
    int size = 8;
    const char* ClassName() const override { return "TFontLike"; }
    std::string Name() const { return name; }
    void SetName(const std::string& v) { name = v; }
    int Size() const { return size; }
    void SetSize(int v) { size = v; }
    static const TPropTable& StaticProps() {
        static const TPropTable t{&TPersistent::StaticProps(),
                                  {StrProp<TFontLike>("Name", &TFontLike::Name, &TFontLike::SetName),
                                   IntProp<TFontLike, int>("Size", &TFontLike::Size, &TFontLike::SetSize)}};
        return t;
    }
    const TPropTable& Props() const override { return StaticProps(); }
};

struct TItemLike : TCollectionItem {
    std::string caption;
    int tag = 0;
    const char* ClassName() const override { return "TItemLike"; }
    std::string Caption() const { return caption; }
    void SetCaption(const std::string& v) { caption = v; }
    int Tag() const { return tag; }
    void SetTag(int v) { tag = v; }
    static const TPropTable& StaticProps() {
        static const TPropTable t{&TPersistent::StaticProps(),
                                  {StrProp<TItemLike>("Caption", &TItemLike::Caption, &TItemLike::SetCaption),
                                   IntProp<TItemLike, int>("Tag", &TItemLike::Tag, &TItemLike::SetTag)}};
        return t;
    }
    const TPropTable& Props() const override { return StaticProps(); }
};

// A component with a property of every stored kind.
struct TSample : TComponent {
    int width = 100;
    int64_t big = 0;
    char letter = 'a';
    TColorKind color = TColorKind::ckGreen;
    unsigned options = 0;
    long double single = 0, dbl = 0, ext = 0;
    std::string text = "text";
    std::string variant;
    bool flag = false;
    TFontLike font;
    TStrings lines;
    TCollection items{[] { return new TItemLike; }};
    TComponent* link = nullptr;

    explicit TSample(TComponent* owner, const std::string& name = std::string()) : TComponent(owner) {
        SetName(name);
    }
    const char* ClassName() const override { return "TSample"; }
    static const TPropTable& StaticProps() {
        static const TPropTable t{&TComponent::StaticProps(), [] {
            std::vector<TPropInfo> p;
            p.push_back(IntProp<TSample, int>("Width", &TSample::Width, &TSample::SetWidth));
            p.push_back(IntProp<TSample, int64_t>("Big", &TSample::Big, &TSample::SetBig));
            TPropInfo c;
            c.name = "Letter";
            c.kind = TTypeKind::tkChar;
            c.getOrd = [](const TPersistent* o) { return int64_t(static_cast<const TSample*>(o)->letter); };
            c.setOrd = [](TPersistent* o, int64_t v) { static_cast<TSample*>(o)->letter = char(v); };
            p.push_back(c);
            p.push_back(EnumProp<TSample, TColorKind>("Color", {"ckRed", "ckGreen", "ckBlue"}, &TSample::Color,
                                                      &TSample::SetColor));
            p.push_back(SetProp<TSample>("Options", {"soOne", "soTwo", "soThree"}, &TSample::Options,
                                         &TSample::SetOptions));
            auto floatProp = [](const char* name, TFloatType type, long double TSample::*field) {
                TPropInfo f;
                f.name = name;
                f.kind = TTypeKind::tkFloat;
                f.floatType = type;
                f.getFloat = [field](const TPersistent* o) { return static_cast<const TSample*>(o)->*field; };
                f.setFloat = [field](TPersistent* o, long double v) { static_cast<TSample*>(o)->*field = v; };
                return f;
            };
            p.push_back(floatProp("Single", TFloatType::ftSingle, &TSample::single));
            p.push_back(floatProp("Double", TFloatType::ftDouble, &TSample::dbl));
            p.push_back(floatProp("Extended", TFloatType::ftExtended, &TSample::ext));
            p.push_back(StrProp<TSample>("Text", &TSample::Text, &TSample::SetText));
            TPropInfo v = StrProp<TSample>("Variant", &TSample::Variant, &TSample::SetVariant);
            v.kind = TTypeKind::tkVariant;
            p.push_back(v);
            p.push_back(BoolProp<TSample>("Flag", &TSample::Flag, &TSample::SetFlag));
            p.push_back(ObjProp<TSample, TFontLike>("Font", &TSample::FontObj));
            p.push_back(ObjProp<TSample, TStrings>("Lines", &TSample::LinesObj));
            p.push_back(ObjProp<TSample, TCollection>("Items", &TSample::ItemsObj));
            p.push_back(ObjProp<TSample, TComponent>("Link", &TSample::Link, &TSample::SetLink));
            TPropInfo m;
            m.name = "OnClick";
            m.kind = TTypeKind::tkMethod;
            p.push_back(m);
            return p;
        }()};
        return t;
    }
    const TPropTable& Props() const override { return StaticProps(); }

    int Width() const { return width; }
    void SetWidth(int v) { width = v; }
    int64_t Big() const { return big; }
    void SetBig(int64_t v) { big = v; }
    TColorKind Color() const { return color; }
    void SetColor(TColorKind v) { color = v; }
    unsigned Options() const { return options; }
    void SetOptions(unsigned v) { options = v; }
    std::string Text() const { return text; }
    void SetText(const std::string& v) { text = v; }
    std::string Variant() const { return variant; }
    void SetVariant(const std::string& v) { variant = v; }
    bool Flag() const { return flag; }
    void SetFlag(bool v) { flag = v; }
    TFontLike* FontObj() const { return const_cast<TFontLike*>(&font); }
    TStrings* LinesObj() const { return const_cast<TStrings*>(&lines); }
    TCollection* ItemsObj() const { return const_cast<TCollection*>(&items); }
    TComponent* Link() const { return link; }
    void SetLink(TComponent* v) { link = v; }
};

struct TFormLike : TComponent {
    explicit TFormLike(const std::string& name = "MainForm") : TComponent(nullptr) { SetName(name); }
    const char* ClassName() const override { return "TCBAppForm"; }
};

TStoredPropList Entries(std::vector<std::string> texts) {
    TStoredPropList list;
    for (auto& t : texts) list.push_back({std::move(t), nullptr});
    return list;
}

std::vector<std::string> Texts(const TStoredPropList& list) {
    std::vector<std::string> out;
    for (const auto& e : list) out.push_back(e.text);
    return out;
}

}  // namespace

TEST(PropPaths, SplitJoinRename) {
    struct Case { const char* path; bool ok; const char* component; const char* property; const char* renamed; };
    const std::vector<Case> cases = {
        {"TreeView.Width", true, "TreeView", "Width", "Tree2.Width"},
        {"  TreeView . Width ", true, "TreeView", "Width", "Tree2.Width"},
        {"Font.Name.Size", true, "Font", "Name.Size", "Tree2.Name.Size"},  // cut at the first "."
        {"TreeView", false, "", "", ""},
        {".Width", false, "", "Width", ""},
        {"TreeView.", false, "TreeView", "", ""},
        {"", false, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string component, property;
        EXPECT_EQ(SplitPropertyPath(c.path, component, property), c.ok);
        EXPECT_EQ(component, c.component);
        EXPECT_EQ(property, c.property);
        EXPECT_EQ(RenamePropertyPath(c.path, "Tree2"), c.renamed);
    }
    EXPECT_EQ(JoinPropertyPath("A", "B"), "A.B");
    EXPECT_EQ(JoinPropertyPath("", "B"), "");
    EXPECT_EQ(JoinPropertyPath("A", ""), "");
}

TEST(PropPaths, BindDropsWhatNamesNothingAndRenameFollowsTheComponent) {
    TFormLike form;
    auto* tree = new TSample(&form, "TreeView");
    new TSample(&form, "MenuToolBar");
    TStoredPropList list = Entries({"treeview.Width", "Missing.Width", "NoDot", "MenuToolBar.Height", "TreeView.Left"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"treeview.Width", "MenuToolBar.Height", "TreeView.Left"}));
    EXPECT_EQ(list[0].component, tree);
    tree->SetName("Tree");
    list.push_back({"Unbound.Width", nullptr});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmRename);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"Tree.Width", "MenuToolBar.Height", "Tree.Left"}));
    EXPECT_EQ(list[0].component, tree);
}

TEST(PropConversions, FloatsInTheGeneralFormat) {
    struct Case { long double value; int precision; const char* text; };
    const std::vector<Case> cases = {
        {1.5L, 15, "1.5"},
        {0.1L, 15, "0.1"},
        {0.1L, 7, "0.1"},
        {1.0L / 3, 7, "0.3333333"},
        {1.0L / 3, 15, "0.333333333333333"},
        {2.0L / 3, 18, "0.666666666666666667"},
        {-2.25L, 15, "-2.25"},
        {0, 15, "0"},
        {100, 15, "100"},
        {123456789012345.0L, 15, "123456789012345"},
        {1e15L, 15, "1E15"},
        {1e20L, 15, "1E20"},
        {1.5e-7L, 15, "1.5E-7"},
        {0.00001L, 15, "0.00001"},
        {0.000001L, 15, "1E-6"},
        {1234567.0L, 7, "1234567"},
        {12345678.0L, 7, "1.234568E7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatFloatGeneral(c.value, c.precision), c.text);
        long double back = -1;
        ASSERT_TRUE(ParseFloatText(c.text, back));
        if (c.precision >= 15) {
            EXPECT_NEAR(double(back), double(c.value), 1e-12 * (1 + std::abs(double(c.value))));
        }
    }
    EXPECT_EQ(FloatPrecision(TFloatType::ftSingle), 7);
    EXPECT_EQ(FloatPrecision(TFloatType::ftDouble), 15);
    EXPECT_EQ(FloatPrecision(TFloatType::ftExtended), 18);
    EXPECT_EQ(FloatPrecision(TFloatType::ftComp), 18);
    EXPECT_EQ(FloatPrecision(TFloatType::ftCurr), 19);
    long double v = 0;
    for (const char* bad : {"", "abc", "1.5x", "1,5", "0x10"}) EXPECT_FALSE(ParseFloatText(bad, v)) << bad;
}

TEST(PropConversions, DecimalPointWhateverTheLocale) {
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "German"})
        if (std::setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    if (!found) GTEST_SKIP() << "no locale with a decimal comma here";
    const std::string text = FormatFloatGeneral(1.5L, 15);
    long double v = 0;
    const bool parsed = ParseFloatText("1.5", v);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(text, "1.5");
    EXPECT_TRUE(parsed);
    EXPECT_EQ(v, 1.5L);
}

TEST(PropsStorage, EveryKindSavedAndRestored) {
    TFormLike form;
    auto* s = new TSample(&form, "Sample");
    s->width = -42;
    s->big = 1234567890123LL;
    s->letter = 'Q';
    s->color = TColorKind::ckBlue;
    s->options = 1 | 4;
    s->single = 1.0L / 3;
    s->dbl = 1.5L;
    s->ext = 2.0L / 3;
    s->text = "  padded  ";
    s->variant = "v";
    s->flag = true;
    MemoryStore store;
    TPropsStorage storage;
    storage.SectionName = "Sec";
    store.Attach(storage);
    TStoredPropList list = Entries({"Sample.Width", "Sample.Big", "Sample.Letter", "Sample.Color", "Sample.Options",
                                    "Sample.Single", "Sample.Double", "Sample.Extended", "Sample.Text",
                                    "Sample.Variant", "Sample.Flag", "Sample.OnClick", "Sample.NoSuch"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    storage.SaveComponentProps(&form, list);
    const std::vector<std::string> expected = {
        "Sec/Sample_Width=-42",        "Sec/Sample_Big=1234567890123",  "Sec/Sample_Letter=Q",
        "Sec/Sample_Color=ckBlue",     "Sec/Sample_Options=[soOne,soThree]", "Sec/Sample_Single=0.3333333",
        "Sec/Sample_Double=1.5",       "Sec/Sample_Extended=0.666666666666666667", "Sec/Sample_Text=padded",
        "Sec/Sample_Variant=v",        "Sec/Sample_Flag=True"};
    EXPECT_EQ(store.writes, expected);

    TFormLike other;
    auto* t = new TSample(&other, "Sample");
    storage.RestoreComponentProps(&other, list = Entries({"Sample.Width", "Sample.Big", "Sample.Letter",
                                                          "Sample.Color", "Sample.Options", "Sample.Single",
                                                          "Sample.Double", "Sample.Extended", "Sample.Text",
                                                          "Sample.Variant", "Sample.Flag"}));
    // Unbound entries are dropped by the rename pass: nothing restored yet.
    EXPECT_EQ(t->width, 100);
    list = Entries({"Sample.Width", "Sample.Big", "Sample.Letter", "Sample.Color", "Sample.Options", "Sample.Single",
                    "Sample.Double", "Sample.Extended", "Sample.Text", "Sample.Variant", "Sample.Flag"});
    ResolveStoredPropertyList(&other, list, TResolveMode::rmBind);
    t->variant = "old";  // an empty variant is not read back (see below)
    storage.RestoreComponentProps(&other, list);
    EXPECT_EQ(t->width, -42);
    EXPECT_EQ(t->big, 1234567890123LL);
    EXPECT_EQ(t->letter, 'Q');
    EXPECT_EQ(t->color, TColorKind::ckBlue);
    EXPECT_EQ(t->options, 5u);
    EXPECT_NEAR(double(t->single), 1.0 / 3, 1e-7);
    EXPECT_EQ(t->dbl, 1.5L);
    EXPECT_NEAR(double(t->ext), 2.0 / 3, 1e-15);
    EXPECT_EQ(t->text, "padded");
    EXPECT_EQ(t->variant, "v");
    EXPECT_TRUE(t->flag);
    EXPECT_EQ(storage.OwnerComponent, nullptr);  // cleared after the call
}

TEST(PropsStorage, RestoreRulesByKind) {
    struct Case {
        const char* property;
        const char* stored;  // nullptr: missing
        std::function<void(TSample&)> check;
    };
    const std::vector<Case> cases = {
        {"Width", "abc", [](TSample& s) { EXPECT_EQ(s.width, 0); }},
        {"Width", nullptr, [](TSample& s) { EXPECT_EQ(s.width, 100); }},
        {"Width", " $1F ", [](TSample& s) { EXPECT_EQ(s.width, 31); }},
        {"Big", "x", [](TSample& s) { EXPECT_EQ(s.big, 0); }},
        {"Letter", "", [](TSample& s) { EXPECT_EQ(s.letter, 'a'); }},
        {"Letter", "Zed", [](TSample& s) { EXPECT_EQ(s.letter, 'Z'); }},
        {"Color", "CKRED", [](TSample& s) { EXPECT_EQ(s.color, TColorKind::ckRed); }},
        {"Color", "purple", [](TSample& s) { EXPECT_EQ(s.color, TColorKind::ckGreen); }},
        {"Options", "[]", [](TSample& s) { EXPECT_EQ(s.options, 0u); }},
        {"Options", "[soOne, soTwo,  soThree]", [](TSample& s) { EXPECT_EQ(s.options, 7u); }},
        {"Options", "[soTwo,bogus]", [](TSample& s) { EXPECT_EQ(s.options, 2u); }},
        {"Double", "1.5", [](TSample& s) { EXPECT_EQ(s.dbl, 1.5L); }},
        {"Double", "lots", [](TSample& s) { EXPECT_EQ(s.dbl, 0.25L); }},
        {"Text", "  spaced  ", [](TSample& s) { EXPECT_EQ(s.text, "spaced"); }},
        {"Text", "", [](TSample& s) { EXPECT_EQ(s.text, ""); }},
        {"Flag", "true", [](TSample& s) { EXPECT_TRUE(s.flag); }},
        {"Variant", "v", [](TSample& s) { EXPECT_EQ(s.variant, ""); }},  // empty now: not read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.property) + " <- " + (c.stored ? c.stored : "(missing)"));
        TFormLike form;
        auto* s = new TSample(&form, "S");
        s->options = 1;
        s->dbl = 0.25L;
        MemoryStore store;
        if (c.stored) store.sections["Sec"][std::string("S_") + c.property] = c.stored;
        TPropsStorage storage;
        storage.SectionName = "Sec";
        store.Attach(storage);
        TStoredPropList list = Entries({std::string("s.") + c.property});
        ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
        storage.RestoreComponentProps(&form, list);
        c.check(*s);
    }
}

TEST(PropsStorage, EmptyTextStillWrittenEmptyOtherKindsNot) {
    TFormLike form;
    auto* s = new TSample(&form, "S");
    s->text = "";
    s->variant = "";
    MemoryStore store;
    TPropsStorage storage;
    storage.SectionName = "Sec";
    store.Attach(storage);
    TStoredPropList list = Entries({"S.Text", "S.Variant"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    storage.SaveComponentProps(&form, list);
    EXPECT_EQ(store.writes, std::vector<std::string>{"Sec/S_Text="});
    // A read whose handler fails leaves that property and goes on.
    store.sections["Sec"]["S_Width"] = "7";
    store.sections["Sec"]["S_Text"] = "new";
    store.failOn = "S_Width";
    list = Entries({"S.Width", "S.Text"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    storage.RestoreComponentProps(&form, list);
    EXPECT_EQ(s->width, 100);
    EXPECT_EQ(s->text, "new");
}

TEST(PropsStorage, RenamedComponentIsSavedUnderItsNewName) {
    TFormLike form;
    auto* s = new TSample(&form, "TreeView");
    s->width = 161;
    TStoredPropList list = Entries({"TREEVIEW.width"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    s->SetName("Tree");
    MemoryStore store;
    TPropsStorage storage;
    storage.SectionName = "TCBAppForm";
    store.Attach(storage);
    storage.SaveComponentProps(&form, list);
    // The declared property name's case, the component's current name.
    EXPECT_EQ(store.writes, std::vector<std::string>{"TCBAppForm/Tree_Width=161"});
    EXPECT_EQ(Texts(list), std::vector<std::string>{"Tree.width"});
}

TEST(PropsStorage, NestedObjectsListsAndCollections) {
    TFormLike form;
    auto* s = new TSample(&form, "TreeView");
    s->font.name = "Tahoma";
    s->lines.lines = {"one", "two"};
    for (int i = 0; i < 3; ++i) {
        auto* item = static_cast<TItemLike*>(s->items.Add());
        item->caption = "c" + std::to_string(i);
        item->tag = i * 10;
    }
    MemoryStore store;
    TPropsStorage storage;
    storage.SectionName = "Sec";
    store.Attach(storage);
    TStoredPropList list = Entries({"TreeView.Font", "TreeView.Lines", "TreeView.Items"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    storage.SaveComponentProps(&form, list);
    EXPECT_EQ(store.Get("Sec", "TreeView_FontName"), "Tahoma");  // nested prefix, no separator
    EXPECT_EQ(store.Get("Sec", "TreeView_FontSize"), "8");
    EXPECT_EQ(store.Get("Sec.TreeView_Lines", "Count"), "2");
    EXPECT_EQ(store.Get("Sec.TreeView_Lines", "Item1"), "two");
    EXPECT_EQ(store.Get("Sec", "TreeView_Items.Count"), "3");
    EXPECT_EQ(store.Get("Sec.TreeView_Items", "Item2_Caption"), "c2");
    EXPECT_EQ(store.Get("Sec.TreeView_Items", "Item2_Tag"), "20");
    EXPECT_EQ(store.cleared, (std::vector<std::string>{"Sec.TreeView_Lines", "Sec.TreeView_Items"}));

    // Onto a component with other lines and 5 items: exactly the 3 stored.
    TFormLike other;
    auto* t = new TSample(&other, "TreeView");
    t->lines.lines = {"x"};
    for (int i = 0; i < 5; ++i) t->items.Add();
    list = Entries({"TreeView.Font", "TreeView.Lines", "TreeView.Items"});
    ResolveStoredPropertyList(&other, list, TResolveMode::rmBind);
    storage.RestoreComponentProps(&other, list);
    EXPECT_EQ(t->font.name, "Tahoma");
    EXPECT_EQ(t->lines.lines, (std::vector<std::string>{"one", "two"}));
    ASSERT_EQ(t->items.Count(), 3);
    EXPECT_EQ(static_cast<TItemLike*>(t->items.Item(1))->caption, "c1");
    EXPECT_EQ(static_cast<TItemLike*>(t->items.Item(2))->tag, 20);
    EXPECT_EQ(t->items.UpdateCount(), 0);

    // An empty list is a cleared section without Count; restoring it keeps
    // the lines there are.
    s->lines.lines.clear();
    store.writes.clear();
    list = Entries({"TreeView.Lines"});
    ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
    storage.SaveComponentProps(&form, list);
    EXPECT_FALSE(store.Has("Sec.TreeView_Lines", "Count"));
    EXPECT_TRUE(store.writes.empty());
    list = Entries({"TreeView.Lines"});
    ResolveStoredPropertyList(&other, list, TResolveMode::rmBind);
    storage.RestoreComponentProps(&other, list);
    EXPECT_EQ(t->lines.lines, (std::vector<std::string>{"one", "two"}));
}

TEST(PropsStorage, ComponentReferences) {
    TFormLike form("MainForm");
    TFormLike unnamed("");
    auto* s = new TSample(&form, "S");
    auto* sibling = new TSample(&form, "Sibling");
    auto* foreign = new TSample(&unnamed, "Far");
    MemoryStore store;
    TPropsStorage storage;
    storage.SectionName = "Sec";
    store.Attach(storage);
    struct Case { TComponent* link; const char* text; };
    const std::vector<Case> cases = {{sibling, "Sibling"}, {foreign, "CBAppForm.Far"}, {nullptr, nullptr}};
    for (const Case& c : cases) {
        store.sections.clear();
        s->link = c.link;
        TStoredPropList list = Entries({"S.Link"});
        ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
        storage.SaveComponentProps(&form, list);
        if (c.text)
            EXPECT_EQ(store.Get("Sec", "S_Link"), c.text);
        else
            EXPECT_FALSE(store.Has("Sec", "S_Link"));  // "(null)" is never written
    }
    // Reading: by the form's name through the provider, "(null)" clears.
    FormByNameProvider = [&](const std::string& name) -> TComponent* {
        return name == "OTHERFORM" || name == "OtherForm" ? &unnamed : nullptr;
    };
    struct Read { const char* text; TComponent* expected; };
    const std::vector<Read> reads = {{"Sibling", sibling}, {"OtherForm.Far", foreign}, {"(NULL)", nullptr},
                                     {"Nowhere.Far", sibling}, {"NoSuch", nullptr}};
    for (const Read& r : reads) {
        SCOPED_TRACE(r.text);
        s->link = sibling;
        store.sections["Sec"]["S_Link"] = r.text;
        TStoredPropList list = Entries({"S.Link"});
        ResolveStoredPropertyList(&form, list, TResolveMode::rmBind);
        storage.RestoreComponentProps(&form, list);
        EXPECT_EQ(s->link, r.expected);
    }
    FormByNameProvider = nullptr;
}

TEST(PropsStorage, HandlersAreOptional) {
    TSample s(nullptr, "S");
    TPropsStorage storage;
    storage.Target = &s;
    storage.SaveProperties();  // no write handler: nothing happens
    storage.RestoreProperty(FindPropInfo(&s, "Width"));
    EXPECT_EQ(s.width, 0);  // no read handler reads an empty text
    storage.RestoreProperty(nullptr);
    TPropInfoList list(&s);
    EXPECT_EQ(list.FindByName("onclick"), nullptr);  // methods are never stored
    EXPECT_NE(list.FindByName("WIDTH"), nullptr);
    EXPECT_EQ(TPropInfoList(nullptr).Count(), 0);
}
