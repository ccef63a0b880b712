#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "foundation/collections.h"

using namespace omb;

namespace {
// Counts its releases and can re-enter the collection that holds it.
class Probe : public TDebugInterfacedObject {
public:
    explicit Probe(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}
    ~Probe() override {
        log_->push_back("free " + name_);
        if (onFree) onFree();
    }
    std::function<void()> onFree;

private:
    std::vector<std::string>* log_;
    std::string name_;
};

void ExpectError(const std::function<void()>& f, const char* message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const EElHashListError& e) {
        EXPECT_STREQ(e.what(), message);
    }
}
}  // namespace

// A position is asked for in so many words: no number turns into one by
// itself, so a floating-point key can never select an item.
static_assert(!std::is_convertible<int, Variant>::value, "a position is explicit");
static_assert(!std::is_convertible<double, Variant>::value, "a floating-point key is no position");
static_assert(!std::is_constructible<Variant, double>::value, "not even when asked for");
static_assert(!std::is_convertible<long, Variant>::value, "nor is any other number");
static_assert(std::is_convertible<const char*, Variant>::value, "a name is one");

TEST(Collections, NamesIgnoreCaseAndDuplicatesAreRefusedQuietly) {
    TPointerCollection c;
    int a, b;
    EXPECT_EQ(c.Add(&a, false, "rule"), &a);
    EXPECT_EQ(c.Add(&b, false, "Rule"), nullptr);
    EXPECT_EQ(c.Count(), 1);
    EXPECT_EQ(c.Get(Variant("RULE")), &a);
    EXPECT_EQ(c.Get(Variant("missing")), nullptr);
    EXPECT_EQ(c.Get(Variant::OtherKind(0.0)), nullptr);
    EXPECT_EQ(c.Get(Variant()), nullptr);
    ExpectError([&] { c.Get(Variant(1)); }, "Invalid index.");
    ExpectError([&] { c.Get(Variant(-1)); }, "Invalid index.");
    ExpectError([&] { c.Delete(Variant(1)); }, "Invalid index.");
    ExpectError([&] { c.Delete(Variant("missing")); }, "Hash not found.");
    c.Delete(Variant::OtherKind(1.5));  // selects nothing
    EXPECT_EQ(c.Count(), 1);
    c.Delete(Variant("RULE"));
    EXPECT_EQ(c.Count(), 0);
}

TEST(Collections, AutomaticNames) {
    TPointerCollection c;
    int x;
    c.Add(&x, true, "");
    c.Add(&x, true, "");
    c.Add(&x, true, "");
    EXPECT_EQ(c.LastKey(), "#");
    EXPECT_EQ(c.IndexOf("!"), 0);
    EXPECT_EQ(c.IndexOf("\""), 1);

    TPointerCollection d;
    d.Add(&x, false, "Zeta");
    d.Add(&x, false, "alpha");  // smaller: LastKey stays
    d.Add(&x, true, "");
    EXPECT_EQ(d.LastKey(), "Zetb");
    EXPECT_TRUE(d.Exists("zetb"));

    TPointerCollection e;
    e.Add(&x, false, std::string("a\xFF"));
    e.Add(&x, true, "");
    EXPECT_EQ(e.LastKey(), std::string("a\xFF!"));
}

TEST(Collections, RenameKeepsThePlace) {
    // Long enough for the list's index of names, which a rename must follow.
    TPointerCollection c;
    std::vector<int> v(40);
    for (int i = 0; i < 40; ++i) c.Add(&v[size_t(i)], false, "item" + std::to_string(i));
    EXPECT_EQ(c.IndexOf("item0"), 0);  // the index is built
    EXPECT_TRUE(c.Rename(0, "zulu"));
    EXPECT_EQ(c.Count(), 40);
    EXPECT_EQ(c.IndexOf("ZULU"), 0);
    EXPECT_EQ(c.Get(Variant("zulu")), &v[0]);
    EXPECT_EQ(c.IndexOf("item0"), -1);
    EXPECT_EQ(c.Get(Variant(1)), &v[1]);
    EXPECT_EQ(c.LastKey(), "zulu");  // a name given by hand, as Add takes it
    EXPECT_TRUE(c.Rename(5, "ITEM5"));  // itself in another case
    EXPECT_EQ(c.IndexOf("item5"), 5);
    // A name another item holds is refused; nothing changes.
    EXPECT_FALSE(c.Rename(3, "Item7"));
    EXPECT_EQ(c.IndexOf("item3"), 3);
    EXPECT_EQ(c.IndexOf("item7"), 7);
    ExpectError([&] { c.Rename(40, "x"); }, "Invalid index.");
    // A renamed item's old name is free again.
    int extra;
    EXPECT_EQ(c.Add(&extra, false, "item0"), &extra);
    EXPECT_EQ(c.IndexOf("item0"), 40);

    // Strings stay owned by the collection through a rename.
    TStringCollection s;
    s.Add("one", false, "a");
    s.Add("two", false, "b");
    EXPECT_TRUE(s.Rename(0, "c"));
    EXPECT_EQ(s.Get(Variant(0)), "one");
    EXPECT_EQ(s.Get(Variant("c")), "one");
}

TEST(Collections, StringCollectionCopies) {
    TStringCollection s;
    EXPECT_EQ(s.Add("one", false, "k1"), "one");
    EXPECT_EQ(s.Add("two", false, "K1"), "two");  // value returned, nothing stored
    EXPECT_EQ(s.Count(), 1);
    EXPECT_EQ(s.Get(Variant("k1")), "one");
    EXPECT_EQ(s.Get(Variant("nope")), "");
    s.Delete(Variant(0));
    EXPECT_EQ(s.Count(), 0);
}

TEST(InterfaceCollection, ReleasesEachItemExactlyOnce) {
    std::vector<std::string> log;
    const long before = TDebugInterfacedObject::LiveObjects();
    {
        TInterfaceCollection c;
        Ref<Probe> kept(new Probe(&log, "kept"));
        c.Add(new Probe(&log, "a"), false, "a");
        c.Add(kept.get(), false, "kept");
        EXPECT_EQ(kept->RefCount(), 2);
        // Refused: no reference taken, and the caller's object is its own.
        Ref<Probe> dup(new Probe(&log, "dup"));
        EXPECT_EQ(c.Add(dup.get(), false, "A"), nullptr);
        EXPECT_EQ(dup->RefCount(), 1);
        dup = nullptr;

        Ref<IUnknown> got = c.Get(Variant("KEPT"));
        EXPECT_EQ(got.get(), static_cast<IUnknown*>(kept.get()));
        got = nullptr;
        c.Clear();
        EXPECT_EQ(log, (std::vector<std::string>{"free dup", "free a"}));
        EXPECT_EQ(kept->RefCount(), 1);
    }
    EXPECT_EQ(TDebugInterfacedObject::LiveObjects(), before);
    EXPECT_EQ(log.size(), 3u);
}

TEST(InterfaceCollection, EntryLeavesBeforeTheItemIsReleased) {
    std::vector<std::string> log;
    TInterfaceCollection c;
    auto* a = new Probe(&log, "a");
    auto* b = new Probe(&log, "b");
    c.Add(a, false, "a");
    c.Add(b, false, "b");
    int countSeen = -1;
    bool aStillThere = true;
    a->onFree = [&] {
        countSeen = c.Count();
        aStillThere = c.Exists("a");
        c.Delete(Variant("b"));  // re-enters while "a" is going
    };
    c.Delete(Variant("a"));
    EXPECT_EQ(countSeen, 1);
    EXPECT_FALSE(aStillThere);
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"free a", "free b"}));
}

TEST(InterfaceCollection, ClearSurvivesReentrantReleases) {
    std::vector<std::string> log;
    TInterfaceCollection c;
    auto* a = new Probe(&log, "a");
    c.Add(a, false, "a");
    c.Add(new Probe(&log, "b"), false, "b");
    c.Add(new Probe(&log, "c"), false, "c");
    auto* cp = &c;
    // Releasing "c" (the last) removes "a" as well.
    static_cast<Probe*>(c.Get(Variant("c")).get())->onFree = [cp] { cp->Delete(Variant("a")); };
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
    EXPECT_EQ(log.size(), 3u);
}
