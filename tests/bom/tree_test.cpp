#include <gtest/gtest.h>

#include "bom_test_support.h"
#include "foundation/errors.h"

using namespace omb;
using namespace omb::test;

TEST(BomRoutines, PathPiecesAndPrefixes) {
    using P = std::pair<std::string, std::string>;
    EXPECT_EQ(SplitBOMPath(""), P("", ""));
    EXPECT_EQ(SplitBOMPath("/"), P("/", ""));
    EXPECT_EQ(SplitBOMPath("//a"), P("/", "/a"));
    EXPECT_EQ(SplitBOMPath("a/"), P("a", ""));
    EXPECT_EQ(SplitBOMPath("a//b"), P("a", "/b"));
    EXPECT_EQ(SplitBOMPath("abc"), P("abc", ""));
    EXPECT_FALSE(StartsWith("..", "."));
    EXPECT_TRUE(StartsWith("..", ".."));
    EXPECT_TRUE(StartsWith("..", "../x"));
    EXPECT_TRUE(StartsWith("", "anything"));
    EXPECT_EQ(ExcludeTrailingSlash("../"), "..");
    EXPECT_EQ(ExcludeTrailingSlash("a//"), "a/");
    EXPECT_EQ(ExcludeTrailingSlash(""), "");
}

namespace {
// root (TESTROOT) -> rules (RECORDERS) -> r1, r2 (RECORDER); root -> extra (RECORDER)
struct Tree : BomTest {
    void SetUp() override {
        BomTest::SetUp();
        root = Make<TestRoot>("TESTROOT", "root");
        rules = Ref<RecorderCollection>(
            dynamic_cast<RecorderCollection*>(root->CreateChild("RECORDERS", "rules").get()));
        extra = Ref<Recorder>(dynamic_cast<Recorder*>(root->CreateChild("RECORDER", "extra").get()));
        r1 = Make<Recorder>("RECORDER", "r1");
        r2 = Make<Recorder>("RECORDER", "r2");
        rules->AddItem(r1->AsBOMObject());
        rules->AddItem(r2->AsBOMObject());
        r1->CreateParam("enabled", Variant("yes"));
        root->SetOwner(nullptr);
        EventLog().clear();
    }
    void TearDown() override {
        r1 = nullptr;
        r2 = nullptr;
        rules = nullptr;
        extra = nullptr;
        Tear(root);
        BomTest::TearDown();
    }
    Ref<TestRoot> root;
    Ref<RecorderCollection> rules;
    Ref<Recorder> extra, r1, r2;
};
}  // namespace

TEST_F(Tree, PathResolution) {
    IBOMObject* r1o = r1->AsBOMObject();
    EXPECT_EQ(r1->GetObject("").get(), r1o);
    EXPECT_EQ(r1->GetObject(".").get(), r1o);
    EXPECT_EQ(r1->GetObject("..").get(), rules->AsBOMObject());
    EXPECT_EQ(r1->GetObject("/").get(), root->AsBOMObject());
    EXPECT_EQ(r1->GetObject("../r2").get(), r2->AsBOMObject());
    EXPECT_EQ(root->GetObject("RULES/R2").get(), r2->AsBOMObject());         // names ignore case
    EXPECT_EQ(root->GetObject("rules//extra").get(), extra->AsBOMObject());  // "/extra" is absolute
    EXPECT_EQ(root->GetObject("rules/all/params").get(), rules->GetObject("params").get());
    EXPECT_TRUE(r1->GetObject("params/NAME").As<IBOMParam>());
    EXPECT_FALSE(r1->GetObject("params/name/x"));
    EXPECT_FALSE(root->GetObject(".."));
    EXPECT_FALSE(root->GetObject("missing/x"));
    // Role components climb to the nearest object that has the role.
    EXPECT_EQ(r1->GetObject("Collection:").get(), rules->AsBOMObject());
    EXPECT_EQ(r1->GetObject("Collection:/../extra").get(), extra->AsBOMObject());
    EXPECT_FALSE(extra->GetObject("Collection:"));
    EXPECT_FALSE(rules->QueryRole("collection"));  // role names compare exactly
    EXPECT_TRUE(rules->QueryRole("Collection").As<IBOMCollection>());
    EXPECT_EQ(r1->GetFullPath(), "root/rules/r1");

    // Without any object answering IsRoot, "/" leads nowhere.
    Ref<Recorder> loose = Make<Recorder>("RECORDER", "loose");
    Ref<Recorder> child(dynamic_cast<Recorder*>(loose->CreateChild("RECORDER", "c").get()));
    loose->SetOwner(nullptr);
    EXPECT_FALSE(child->GetObject("/"));
    child = nullptr;
    Tear(loose);
}

TEST_F(Tree, ChangeEventsTravelUpAndIntoOtherBranches) {
    r1->GetParam("enabled")->SetValue(Variant("no"));
    std::vector<std::string> expected = {
        "r1:changed:params/enabled:params",
        // the collection passes it to its other items first, then up
        "rules:changed:r1/params/enabled:r1",
        "r2:changed:../r1/params/enabled:..",
        "root:changed:rules/r1/params/enabled:rules",
        "extra:changed:../rules/r1/params/enabled:..",
    };
    EXPECT_EQ(EventLog(), expected);

    EventLog().clear();
    r1->GetParam("enabled")->SetValueSilent(Variant("yes"));
    EXPECT_TRUE(EventLog().empty());
    // An unchanged value still sends an event.
    r1->GetParam("enabled")->SetValue(Variant("yes"));
    EXPECT_EQ(EventLog().size(), expected.size());
}

TEST_F(Tree, ChangeOfAParameterReachesTheOtherChildrenOfItsObject) {
    Ref<IBOMObjectSlave> inner = r1->CreateChild("RECORDER", "inner");
    root->SetOwner(nullptr);
    EventLog().clear();
    r1->GetParam("enabled")->SetValue(Variant("no"));
    EXPECT_EQ(EventLog()[0], "r1:changed:params/enabled:params");
    EXPECT_EQ(EventLog()[1], "inner:changed:../params/enabled:..");
    EXPECT_EQ(EventLog()[2], "rules:changed:r1/params/enabled:r1");
}

TEST_F(Tree, RenameThroughTheOwnerKeepsThePlaceAndSendsPaths) {
    Ref<IBOMObjectSlave> inner = r1->CreateChild("RECORDER", "inner");
    root->SetOwner(nullptr);
    EventLog().clear();
    rules->RenameChild(r1.get(), "r9");
    EXPECT_EQ(r1->GetName(), "r9");
    EXPECT_EQ(r1->GetParam("name")->GetValue().ToText(), "r9");
    // The first rule stays first: the order decides which rule answers.
    EXPECT_EQ(rules->GetItem(Variant(0)).get(), r1->AsBOMObject());
    EXPECT_EQ(rules->GetItem(Variant("R9")).get(), r1->AsBOMObject());
    EXPECT_FALSE(rules->GetItem(Variant("r1")));
    EXPECT_EQ(rules->GetItem(Variant(1)).get(), r2->AsBOMObject());
    std::vector<std::string> log = EventLog();
    auto has = [&](const std::string& e) { return std::find(log.begin(), log.end(), e) != log.end(); };
    EXPECT_TRUE(has("r9:renamed:::r1"));
    EXPECT_TRUE(has("inner:renamed:..:..:../r1"));
    EXPECT_TRUE(has("r2:renamed:../r9:..:../r9/r1"));
    EXPECT_TRUE(has("root:renamed:rules/r9:rules:rules/r9/r1"));
    // Only the capitals: the item holds the name itself.
    rules->RenameChild(r1.get(), "R9");
    EXPECT_EQ(r1->GetName(), "R9");
    EXPECT_EQ(rules->GetItem(Variant(0)).get(), r1->AsBOMObject());
}

TEST_F(Tree, RefusedRenamesChangeNothing) {
    auto names = [&] {
        std::string s;
        for (auto& i : rules->Items()) s += i->GetName() + ",";
        return s;
    };
    rules->RenameChild(r1.get(), "R2");  // held by another item
    rules->RenameChild(r1.get(), "");
    rules->RenameChild(r1.get(), "r1");
    rules->RenameChild(extra.get(), "x");  // not an item of this collection
    EXPECT_EQ(names(), "r1,r2,");
    EXPECT_EQ(extra->GetName(), "extra");
    // Rekeying to a name another item holds must not lose the item.
    rules->RekeyItem(r1->AsBOMObject(), "r2");
    EXPECT_EQ(rules->Count(), 2);
    EXPECT_EQ(names(), "r1,r2,");
    EXPECT_EQ(rules->GetItem(Variant("r1")).get(), r1->AsBOMObject());
}

TEST_F(Tree, RenamingAnAttachedAllChildDirectlyIsABrokenTree) {
    try {
        extra->SetName("other");
        FAIL() << "expected the consistency check";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()),
                  u8"AfterChangeObjectName - неверное имя "
                  u8"ребенка. {9FC4CBFB-E5CD-4B8E-A935-8F2E08202540}");
    }
}

TEST_F(Tree, BroadcastVisitsTheSubtreeDepthFirst) {
    root->Broadcast(1, 0, 0);
    EXPECT_EQ(EventLog(), (std::vector<std::string>{"root:broadcast:1", "r1:broadcast:1", "r2:broadcast:1",
                                                    "extra:broadcast:1"}));
}

TEST_F(Tree, ParametersAndCollectionsBasics) {
    EXPECT_EQ(r1->GetParam("ENABLED")->GetValue().ToText(), "yes");
    EXPECT_FALSE(r1->GetParam("missing"));
    r1->CreateParam("Enabled", Variant("no"));  // refused quietly
    EXPECT_EQ(r1->GetParam("enabled")->GetValue().ToText(), "yes");
    Ref<IBOMParam> p = CreateBOMParam("raw");
    EXPECT_TRUE(p->GetValue().IsInteger());  // a fresh parameter holds 0
    EXPECT_EQ(p->GetValue().ToText(), "0");
    // The parameter set is a collection to an interface query, not by role.
    Ref<IBOMObject> params = r1->GetObject("params");
    EXPECT_TRUE(params.As<IBOMCollection>());
    EXPECT_FALSE(params->SupportsRole("Collection"));
    // An item named "params" hides the parameter set.
    Ref<Recorder> shadow = Make<Recorder>("RECORDER", "params");
    rules->AddItem(shadow->AsBOMObject());
    EXPECT_EQ(rules->GetObject("params").get(), shadow->AsBOMObject());
    EXPECT_EQ(shadow->GetObject("..").get(), rules->AsBOMObject());  // linked at once
    // A duplicate is refused quietly and never linked (a link would keep the
    // tree alive past its disconnect: the leak check below would see it).
    Ref<Recorder> twin = Make<Recorder>("RECORDER", "R1");
    rules->AddItem(twin->AsBOMObject());
    EXPECT_EQ(rules->GetItem(Variant("r1")).get(), r1->AsBOMObject());
    EXPECT_FALSE(twin->GetObject(".."));
    twin = nullptr;
    // Added to an unlinked collection: no owner until the next linking pass.
    Ref<RecorderCollection> loose = Make<RecorderCollection>("RECORDERS", "loose");
    Ref<Recorder> item = Make<Recorder>("RECORDER", "i");
    loose->AddItem(item->AsBOMObject());
    EXPECT_FALSE(item->GetObject(".."));
    EXPECT_THROW(loose->GetItem(Variant(5)), EElHashListError);
    EXPECT_FALSE(loose->GetItem(Variant::OtherKind(1.0)));
    Tear(loose);
    shadow = nullptr;
    item = nullptr;
}

// The items and their children hold each other through their owner links:
// an item dropped from its collection without a disconnect goes with all
// its children, and nothing else goes.
TEST_F(Tree, DroppedItemsAreFreedWithTheirChildrenAndNothingElse) {
    auto live = [] { return TDebugInterfacedObject::LiveObjects(); };
    auto sizeOf = [&](bool withParam) {
        const long before = live();
        Ref<Recorder> probe = Make<Recorder>("RECORDER", "probe");
        if (withParam) probe->CreateParam("enabled", Variant("yes"));
        const long size = live() - before;
        Tear(probe);
        return size;
    };
    const long plain = sizeOf(false), withParam = sizeOf(true);
    ASSERT_GT(plain, 2);  // the object, its "all" set, its parameter set...

    const long before = live();
    Ref<Recorder> r3 = Make<Recorder>("RECORDER", "r3");
    rules->AddItem(r3->AsBOMObject());
    r3 = nullptr;
    rules->DeleteItem(Variant("r3"));
    EXPECT_EQ(live(), before);
    EXPECT_EQ(r2->GetObject("..").get(), rules->AsBOMObject());
    EXPECT_EQ(root->GetObject("rules/r2").get(), r2->AsBOMObject());

    // An item moved to another collection keeps its new links.
    Ref<RecorderCollection> other(
        dynamic_cast<RecorderCollection*>(root->CreateChild("RECORDERS", "other").get()));
    other->SetOwner(root.get());
    other->AddItem(r2->AsBOMObject());
    rules->DeleteItem(Variant("r2"));
    EXPECT_EQ(r2->GetObject("..").get(), other->AsBOMObject());
    EXPECT_EQ(r2->GetObject("params/name/..").get(), r2->GetObject("params").get());
    rules->AddItem(r2->AsBOMObject());
    other->DeleteItem(Variant("r2"));
    EXPECT_EQ(r2->GetObject("..").get(), rules->AsBOMObject());
    other = nullptr;

    r1 = nullptr;
    r2 = nullptr;
    const long full = live();
    rules->Clear();
    EXPECT_EQ(live(), full - plain - withParam);
    EXPECT_EQ(rules->Count(), 0);
    EXPECT_EQ(extra->GetObject("../rules").get(), rules->AsBOMObject());
}

TEST_F(Tree, CreationByTypeName) {
    EXPECT_FALSE(CreateBOMObject("NOSUCHTYPE", "x"));
    Ref<IBOMObjectSlave> o = CreateBOMObject("bomobject", "");
    ASSERT_TRUE(o);
    EXPECT_EQ(o->GetName(), "");
    EXPECT_EQ(o->GetTypeName(), "BOMOBJECT");
    EXPECT_FALSE(root->CreateChild("NOSUCHTYPE", "y"));
    EXPECT_FALSE(root->GetObject("y"));
    o->Disconnect();
}
