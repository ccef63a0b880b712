#include <gtest/gtest.h>

#include "bom_test_support.h"
#include "foundation/errors.h"
#include "tests/common/memory_storage.h"

using namespace omb;
using namespace omb::test;

namespace {
// A collection saved with item element "Beta", as in the documented example.
class AlphaCollection : public TBOMCollection {
public:
    void Initialize() override {
        TBOMCollection::Initialize();
        itemElementName_ = "Beta";
    }
};

// Holds anything, collections of its own kind included.
class NestCollection : public TBOMCollection {
public:
    void Initialize() override {
        TBOMCollection::Initialize();
        itemElementName_ = "item";
        typeName_ = "NEST";
    }
};

struct Persistence : BomTest {
    void SetUp() override {
        BomTest::SetUp();
        RegisterAbstractClass<AlphaCollection>("ALPHA");
        RegisterAbstractClass<NestCollection>("NEST");
    }
};
}  // namespace

TEST_F(Persistence, DocumentedCollectionLayout) {
    Ref<IBOMObjectSlave> alpha = CreateBOMObject("ALPHA", "Alpha");
    Ref<IBOMObjectSlave> gamma = CreateBOMObject("BOMOBJECT", "Gamma");
    alpha.As<IBOMCollection>()->AddItem(gamma.get());
    auto storage = MemoryStorage::NewRoot("collection");
    alpha.As<IPersistObject>()->SaveTo(storage.get());
    EXPECT_EQ(storage->Element().Dump(),
              "collection[name=Alpha]{params[name=params]{param[name=name]\"Alpha\"} "
              "content[]{Beta[name=Gamma,type=BOMOBJECT]{params[name=params]{param[name=name]\"Gamma\"}}}}");
    // Saving the same tree twice gives the same document.
    auto again = MemoryStorage::NewRoot("collection");
    alpha.As<IPersistObject>()->SaveTo(again.get());
    EXPECT_EQ(again->Element().Dump(), storage->Element().Dump());
    alpha->Disconnect();
    gamma->Disconnect();
}

TEST_F(Persistence, ParametersSaveTypeOnlyWhenNotPlainAndIntegersAsDigits) {
    Ref<Recorder> r = Make<Recorder>("RECORDER", "r");
    r->CreateParam("count", Variant(-1));
    auto storage = MemoryStorage::NewRoot("object");
    r->SaveTo(storage.get());
    EXPECT_EQ(storage->Element().Dump(),
              "object[name=r]{params[name=params]{param[name=name]\"r\" param[name=count]\"-1\"}}");
    Tear(r);
}

TEST_F(Persistence, LoadingOverlaysWhatExists) {
    // A document written by hand: an existing item in another case, a new one,
    // one without name, an unknown parameter, a second "content" (ignored).
    auto doc = MemoryStorage::NewRoot("recorders");
    doc->WriteAttribute("name", "ignored-for-a-root?");
    auto content = doc->AddChild("content");
    auto a = content->AddChild("item");
    a->WriteAttribute("name", "ALPHA");
    auto ap = a->AddChild("params");
    auto extraParam = ap->AddChild("param");
    extraParam->WriteAttribute("name", "colour");
    extraParam->SetText("blue");
    auto notAParam = ap->AddChild("param");  // a parameter set holds parameters only
    notAParam->WriteAttribute("name", "nested");
    notAParam->WriteAttribute("type", "BOMCOLLECTION");
    auto b = content->AddChild("item");
    b->WriteAttribute("name", "beta");
    b->WriteAttribute("type", "RECORDER");
    content->AddChild("other")->WriteAttribute("name", "skipped");
    auto unregistered = content->AddChild("item");
    unregistered->WriteAttribute("name", "gone");
    unregistered->WriteAttribute("type", "NOSUCHTYPE");
    auto wrongKind = content->AddChild("item");
    wrongKind->WriteAttribute("name", "plain");
    wrongKind->WriteAttribute("type", "BOMOBJECT");  // not a recorder: skipped
    content->AddChild("item");                       // no name: a new unnamed item
    doc->AddChild("content")->AddChild("item")->WriteAttribute("name", "second-content");

    Ref<RecorderCollection> c = Make<RecorderCollection>("RECORDERS", "recorders");
    Ref<Recorder> existing = Make<Recorder>("RECORDER", "alpha");
    existing->CreateParam("enabled", Variant("yes"));
    c->AddItem(existing->AsBOMObject());

    c->LoadFrom(doc.get());
    c->LoadFrom(doc.get());  // a second load adds nothing
    EXPECT_EQ(c->Count(), 3);
    EXPECT_EQ(c->GetItem(Variant(0)).get(), existing->AsBOMObject());
    EXPECT_EQ(existing->GetName(), "ALPHA");  // the document's spelling
    EXPECT_EQ(existing->GetParam("name")->GetValue().ToText(), "ALPHA");
    EXPECT_EQ(existing->GetParam("enabled")->GetValue().ToText(), "yes");  // kept
    EXPECT_EQ(existing->GetParam("colour")->GetValue().ToText(), "blue");  // created
    EXPECT_FALSE(existing->GetObject("params/nested"));
    EXPECT_EQ(c->GetItem(Variant(1))->GetName(), "beta");
    EXPECT_EQ(c->GetItem(Variant(2))->GetName(), "");
    EXPECT_FALSE(c->GetItem(Variant("gone")));
    EXPECT_FALSE(c->GetItem(Variant("plain")));
    EXPECT_FALSE(c->GetItem(Variant("second-content")));

    // The unknown parameter survives a round trip; values are strings now.
    auto saved = MemoryStorage::NewRoot("recorders");
    c->SaveTo(saved.get());
    Ref<RecorderCollection> copy = Make<RecorderCollection>("RECORDERS", "copy");
    copy->LoadFrom(saved.get());
    Ref<IBOMObject> alpha = copy->GetItem(Variant("alpha"));
    ASSERT_TRUE(alpha) << saved->Element().Dump();
    EXPECT_EQ(alpha->GetObject("params/colour").As<IBOMParam>()->GetValue().ToText(), "blue");
    existing = nullptr;
    alpha = nullptr;
    Tear(c);
    Tear(copy);
}

TEST_F(Persistence, FixedChildrenKeepTheirOwnNames) {
    Ref<TestRoot> root = Make<TestRoot>("TESTROOT", "root");
    root->CreateChild("RECORDERS", "rules");
    auto doc = MemoryStorage::NewRoot("root");
    doc->WriteAttribute("name", "root");
    auto rules = doc->AddChild("recorders");
    rules->WriteAttribute("name", "renamed-by-hand");
    rules->AddChild("params")->WriteAttribute("name", "also-renamed");
    rules->AddChild("content")->AddChild("item")->WriteAttribute("name", "r1");
    root->LoadFrom(doc.get());
    root->SetOwner(nullptr);
    Ref<IBOMObject> loaded = root->GetObject("rules");
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->GetName(), "rules");
    EXPECT_TRUE(loaded->GetObject("params"));
    // Renaming an item still works: the owners find their children.
    Ref<IBOMObjectSlave> r1 = root->GetObject("rules/r1").As<IBOMObjectSlave>();
    ASSERT_TRUE(r1);
    loaded.As<IBOMObjectOwner>()->RenameChild(r1.get(), "r2");
    EXPECT_EQ(r1->GetName(), "r2");
    loaded = nullptr;
    r1 = nullptr;
    Tear(root);
}

TEST_F(Persistence, CollectionWithoutItemElementNameLoadsNothing) {
    Ref<IBOMObjectSlave> c = CreateBOMObject("BOMCOLLECTION", "c");
    auto doc = MemoryStorage::NewRoot("collection");
    doc->AddChild("content")->AddChild("")->WriteAttribute("name", "x");
    c.As<IPersistObject>()->LoadFrom(doc.get());
    EXPECT_EQ(c.As<IBOMCollection>()->Count(), 0);
    c->Disconnect();
}

TEST_F(Persistence, DeepNestingEndsTheDescent) {
    // recorders > content > item(type RECORDERS) > content > item ... 500 deep
    auto doc = MemoryStorage::NewRoot("recorders");
    Ref<IHierStorage> at = doc.get();
    for (int i = 0; i < 500; ++i) {
        Ref<IHierStorage> item = at->AddChild("content")->AddChild("item");
        item->WriteAttribute("name", "n" + std::to_string(i));
        item->WriteAttribute("type", "NEST");
        at = item;
    }
    Ref<NestCollection> c = Make<NestCollection>("NEST", "top");
    c->LoadFrom(doc.get());  // must neither overflow the stack nor throw
    int depth = 0;
    for (Ref<IBOMObject> o = c->AsBOMObject(); o; ++depth) {
        Ref<IBOMCollection> coll = o.As<IBOMCollection>();
        o = coll && coll->Count() ? coll->GetItem(Variant(0)) : nullptr;
    }
    EXPECT_GT(depth, 5);
    EXPECT_LE(depth, kMaxLoadDepth + 1);
    Tear(c);
}

TEST_F(Persistence, ConsistencyChecksCarryTheirMessages) {
    Ref<Recorder> r = Make<Recorder>("RECORDER", "r");
    r->GetObject("params").As<IBOMCollection>()->DeleteItem(Variant("name"));
    try {
        r->UpdateNameParam();
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(
            e.what(),
            "TBOMObject.UpdateNameParam: Can\"t find param \"Name\" {50360B40-C9FD-489D-84B8-053539072DA8}");
    }
    r->All()->DeleteItem(Variant("params"));
    try {
        r->CreateParam("x", Variant(1));
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(),
                     u8"TBOMObject.CreateParam. Ошибка при "
                     u8"получении Params - {C0278020-676B-4FC2-9A4C-FBB34EB0B5D6}");
    }
    Tear(r);
}
