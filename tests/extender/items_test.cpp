// Item collections and publishers with their observers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extender/publisher.h"

using namespace omb;
using namespace omb::ea;

namespace items_test {
struct INamed : omb::ea::IItem {};
struct INamedList : omb::ea::ITypedCollection<INamed> {};
}  // namespace items_test
using items_test::INamed;
using items_test::INamedList;

OMB_DECLARE_IID(items_test::INamed, "{0B7F5C62-93D4-4E2A-8C1B-6A4D2E9F1357}")
OMB_DECLARE_IID(items_test::INamedList, "{7C2E9A14-5F3B-4D86-B0A7-E1C94F2D6B38}")

namespace {

class TNamed : public TAbstractItem, public INamed {
public:
    explicit TNamed(std::string name) { name_ = std::move(name); }
    OMB_IUNKNOWN
    OMB_EA_IITEM

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<INamed>(this, iid, object)) return S_OK;
        return TAbstractItem::QueryImpl(iid, object);
    }
};

class TNamedList : public TTypedCollection<INamedList> {};

std::vector<std::string> g_log;

class TObserver : public TDebugInterfacedObject, public IObserver {
public:
    explicit TObserver(std::string tag, bool fails = false) : tag_(std::move(tag)), fails_(fails) {}
    OMB_IUNKNOWN
    void Update(IPublisher* publisher) override {
        g_log.push_back("update " + tag_);
        if (fails_) throw std::runtime_error("observer failed");
        if (detachOnUpdate) publisher->Detach(this);
    }
    void Detached(IPublisher*) override {
        g_log.push_back("detached " + tag_);
        if (fails_) throw std::runtime_error("observer failed");
    }
    bool detachOnUpdate = false;

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<IObserver>(this, iid, object)) return S_OK;
        return TDebugInterfacedObject::QueryImpl(iid, object);
    }

private:
    std::string tag_;
    bool fails_;
};

class TOwner : public TAbstractItem, public IPublisherOwner {
public:
    OMB_IUNKNOWN
    OMB_EA_IITEM
    void NotifyOwner(IItem*) override {}

protected:
    HRESULT QueryImpl(REFIID iid, void** object) override {
        if (Offer<IPublisherOwner>(this, iid, object) || Offer<IOwner>(this, iid, object)) return S_OK;
        return TAbstractItem::QueryImpl(iid, object);
    }
};

struct Items : ::testing::Test {
    void SetUp() override {
        g_log.clear();
        live_ = TDebugInterfacedObject::LiveObjects();
    }
    void TearDown() override { EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), live_); }
    long live_ = 0;
};

}  // namespace

TEST_F(Items, TypedCollectionKeepsItemsByName) {
    Ref<INamedList> list(new TNamedList());
    Ref<TNamed> a(new TNamed("Alpha")), b(new TNamed("beta")), a2(new TNamed("ALPHA"));
    list->Add(a.get());
    list->Add(b.get());
    list->Add(a2.get());  // the name is present already, without regard to case
    list->Add(nullptr);
    ASSERT_EQ(list->GetCount(), 2);
    EXPECT_EQ(a->RefCount(), 2);
    EXPECT_EQ(a2->RefCount(), 1);

    EXPECT_EQ(list->Get("alpha").get(), static_cast<INamed*>(a.get()));
    EXPECT_EQ(list->Get(Variant(1)).get(), static_cast<INamed*>(b.get()));
    EXPECT_EQ(list->IndexOf("BETA"), 1);
    EXPECT_EQ(list->IndexOf("gamma"), -1);
    // Keys that name nothing give nothing and raise nothing.
    EXPECT_FALSE(list->Get("gamma"));
    EXPECT_FALSE(list->Get(Variant(2)));
    EXPECT_FALSE(list->Get(Variant(-1)));
    EXPECT_FALSE(list->Get(Variant()));
    EXPECT_FALSE(list->Get(Variant::OtherKind(0.0)));
    list->Remove("gamma");
    list->Remove(Variant(7));
    EXPECT_EQ(list->GetCount(), 2);

    // The collection as its other interfaces.
    EXPECT_EQ(list->GetCollection().get(), list.As<ICollection>().get());
    EXPECT_TRUE(list.As<IItem>());
    EXPECT_TRUE(SameObject(list.As<IItem>().get(), list.get()));

    list->Remove("ALPHA");
    EXPECT_EQ(a->RefCount(), 1);
    EXPECT_EQ(list->Get(Variant(0)).get(), static_cast<INamed*>(b.get()));
    list->Clear();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(b->RefCount(), 1);
}

TEST_F(Items, PublisherAttachDetachAndNotify) {
    Ref<TPublisher> publisher(new TPublisher());
    Ref<IPublisher> pub = publisher.As<IPublisher>();
    Ref<IPublisherSlave> slave = publisher.As<IPublisherSlave>();
    ASSERT_TRUE(pub && slave && publisher.As<ISlave>() && publisher.As<IItem>());
    EXPECT_EQ(slave->GetName(), "Publisher");
    slave->SetName("Other");
    EXPECT_EQ(slave->GetName(), "Other");

    slave->Notify();  // no observers: nothing happens
    EXPECT_TRUE(g_log.empty());

    Ref<TObserver> a(new TObserver("a")), b(new TObserver("b"));
    pub->Attach(a.get());
    pub->Attach(b.get());
    pub->Attach(a.get());  // observers need no name and may stand twice
    pub->Attach(nullptr);
    EXPECT_EQ(slave->GetObservers()->GetCount(), 3);
    EXPECT_EQ(a->RefCount(), 3);
    slave->Notify();
    EXPECT_EQ(g_log, (std::vector<std::string>{"update a", "update b", "update a"}));

    // Detach removes the first entry of that object only.
    pub->Detach(a.get());
    ASSERT_EQ(slave->GetObservers()->GetCount(), 2);
    EXPECT_EQ(slave->GetObservers()->Get(Variant(0)).get(), static_cast<IObserver*>(b.get()));
    EXPECT_EQ(slave->GetObservers()->Get(Variant(1)).get(), static_cast<IObserver*>(a.get()));
    Ref<TObserver> stranger(new TObserver("s"));
    pub->Detach(stranger.get());
    pub->Detach(nullptr);
    EXPECT_EQ(slave->GetObservers()->GetCount(), 2);

    // An observer may leave while it is notified.
    g_log.clear();
    b->detachOnUpdate = true;
    slave->Notify();
    EXPECT_EQ(slave->GetObservers()->GetCount(), 1);
    slave->ClearOwner();
}

TEST_F(Items, ClearOwnerReleasesObserversLastFirst) {
    Ref<TPublisher> publisher(new TPublisher());
    Ref<IPublisherSlave> slave = publisher.As<IPublisherSlave>();
    Ref<TOwner> owner(new TOwner());
    Ref<INamed> plain(new TNamed("plain"));

    slave->SetOwner(plain.get());  // offers no IPublisherOwner: no owner
    EXPECT_FALSE(publisher->GetOwner());
    slave->SetOwner(static_cast<IPublisherOwner*>(owner.get()));
    EXPECT_TRUE(SameObject(publisher->GetOwner().get(), static_cast<IOwner*>(owner.get())));

    Ref<TObserver> a(new TObserver("a")), b(new TObserver("b")), c(new TObserver("c"));
    for (TObserver* o : {a.get(), b.get(), c.get()}) publisher->Attach(o);
    slave->ClearOwner();
    EXPECT_EQ(g_log, (std::vector<std::string>{"detached c", "detached b", "detached a"}));
    EXPECT_EQ(slave->GetObservers()->GetCount(), 0);
    EXPECT_FALSE(publisher->GetOwner());
    EXPECT_EQ(a->RefCount(), 1);
}

TEST_F(Items, AFailingObserverEndsTheWalkButNothingEscapes) {
    Ref<TPublisher> publisher(new TPublisher());
    Ref<TObserver> a(new TObserver("a")), bad(new TObserver("bad", true)), c(new TObserver("c"));
    for (TObserver* o : {a.get(), bad.get(), c.get()}) publisher->Attach(o);

    publisher->Notify();
    EXPECT_EQ(g_log, (std::vector<std::string>{"update a", "update bad"}));

    g_log.clear();
    Ref<TOwner> owner(new TOwner());
    publisher->SetOwner(static_cast<IPublisherOwner*>(owner.get()));
    publisher->ClearOwner();
    EXPECT_EQ(g_log, (std::vector<std::string>{"detached c", "detached bad"}));
    EXPECT_EQ(publisher->GetObservers()->GetCount(), 1);  // "a" is still attached
    EXPECT_FALSE(publisher->GetOwner());                  // the owner goes all the same
    publisher->ClearOwner();
    EXPECT_EQ(publisher->GetObservers()->GetCount(), 0);
}
