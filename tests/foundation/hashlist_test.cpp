#include <gtest/gtest.h>

#include <vector>

#include "foundation/crc32.h"
#include "foundation/hashlist.h"
#include "foundation/md5.h"
#include "foundation/strings.h"

using namespace omb;

namespace {
std::string Hex(const TMD5Digest& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

void ExpectError(const std::function<void()>& f, const char* message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const EElHashListError& e) {
        EXPECT_STREQ(e.what(), message);
    }
}

int g_freed = 0;
void FreeInt(void* p) {
    ++g_freed;
    delete static_cast<int*>(p);
}
}  // namespace

TEST(Crc32, SystemVariantWithoutInversions) {
    EXPECT_EQ(Crc32(""), 0u);
    EXPECT_EQ(Crc32("abc"), 0xCA6598D0u);
    EXPECT_EQ(Crc32("ABC"), 0x5CC2DA5Au);
    // A found collision of upper-case names.
    EXPECT_EQ(Crc32("RULEVQ4VN"), Crc32("RULEJS_6Z_H"));
}

TEST(Md5, Rfc1321TestSuiteAndLongTexts) {
    EXPECT_EQ(Hex(TCrMD5::Digest("")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Hex(TCrMD5::Digest("a")), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Hex(TCrMD5::Digest("abc")), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Hex(TCrMD5::Digest("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Hex(TCrMD5::Digest("12345678901234567890123456789012345678901234567890123456789012345678901234567890")),
              "57edf4a22be3c955ac49da2e2107b67a");
    // Far beyond any fixed work area; streamed in uneven pieces.
    std::string big(100000, 'a');
    TCrMD5 md5;
    md5.Update(big.data(), 7);
    md5.Update(big.data() + 7, big.size() - 7);
    EXPECT_EQ(Hex(md5.Final()), Hex(TCrMD5::Digest(big)));
    EXPECT_EQ(Hex(TCrMD5::Digest(std::string(1000000, 'a'))), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(ElHashList, IgnoreCaseWithCrcAndCollisions) {
    TElHashList list;
    list.SetHashKind(THashKind::CRC32);
    list.IgnoreCase = true;
    list.DuplicateMode = TDuplicateMode::Refuse;
    int a = 1, b = 2;
    list.Add("Name", &a);
    EXPECT_EQ(list.IndexOf("NAME"), 0);
    EXPECT_EQ(list.Find("name"), &a);
    // Equal checksums of the upper-cased text are the same key.
    list.Add("rulevq4vn", &b);
    EXPECT_EQ(list.Find("RuleJS_6z_h"), &b);
    ExpectError([&] { list.Add("RULEJS_6Z_H", &a); }, "Duplicate entry.");
    EXPECT_EQ(list.Count(), 2);
    // Only a to z are folded: accented letters differ from their capitals.
    list.Add("\xE9t\xE9", &a);
    EXPECT_EQ(list.IndexOf("\xC9T\xC9"), -1);
}

TEST(ElHashList, DuplicateModes) {
    std::vector<void*> deleted;  // outlives the list, whose destructor reports too
    TElHashList list;
    list.SetHashKind(THashKind::CRC32);
    list.OnDelete = [&](TElHashList&, void* d) { deleted.push_back(d); };
    int a = 1, b = 2;
    list.DuplicateMode = TDuplicateMode::Ignore;
    list.Add("k", &a);
    list.Add("k", &b);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Find("k"), &a);
    EXPECT_TRUE(deleted.empty());

    list.DuplicateMode = TDuplicateMode::Replace;
    list.Add("k", &b);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Find("k"), &b);
    EXPECT_EQ(deleted, std::vector<void*>{&a});

    list.DuplicateMode = TDuplicateMode::Allow;
    list.Add("k", &a);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Find("k"), &b);  // the first equal entry wins
}

TEST(ElHashList, MessagesAndUnchangedListOnFailure) {
    TElHashList list;
    int a = 1;
    ExpectError([&] { list.Insert(1, "x", &a); }, "Invalid position for HashList.");
    ExpectError([&] { list.Insert(-1, "x", &a); }, "Invalid position for HashList.");
    ExpectError([&] { list.Item(0); }, "Invalid index.");
    ExpectError([&] { list.Delete(0); }, "Invalid index.");
    ExpectError([&] { list.DeleteKey("x"); }, "Hash not found.");
    ExpectError([&] { list.SetCapacity(0x8000000); }, "Invalid ElHashList capacity.");
    list.Add("x", &a);
    ExpectError([&] { list.SetCapacity(0); }, "Invalid ElHashList capacity.");
    ExpectError([&] { list.Delete(1); }, "Invalid index.");
    list.RaiseIfAbsent = true;
    ExpectError([&] { list.IndexOf("y"); }, "Hash is absent.");
    ExpectError([&] { list.Find("y"); }, "Hash is absent.");
    ExpectError([&] { list.DeleteKey("y"); }, "Hash is absent.");
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Item(0), &a);
}

TEST(ElHashList, GrowthShrinkInsertAndOwnedClear) {
    TElHashList list;
    list.SetHashKind(THashKind::Custom);
    list.OwnsObjects = true;
    list.FreeObject = &FreeInt;
    std::vector<int> capacities;
    for (int i = 0; i < 77; ++i) {
        list.Add("k" + std::to_string(i), new int(i));
        if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44, 60, 76, 95}));
    // Insert places the entry at the position, the rest move up.
    list.Insert(0, "first", new int(-1));
    EXPECT_EQ(*static_cast<int*>(list.Item(0)), -1);
    EXPECT_EQ(*static_cast<int*>(list.Item(1)), 0);
    g_freed = 0;
    while (list.Count() >= 95 / 2) list.Delete(0);
    EXPECT_EQ(list.Capacity(), 47);
    list.Clear();
    EXPECT_EQ(g_freed, 78);  // every owned object freed once, by Delete or Clear
    EXPECT_EQ(list.Capacity(), 0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(ElHashList, ChangingTheKindClearsAndMd5IsTheDefault) {
    TElHashList list;
    EXPECT_EQ(list.HashKind(), THashKind::MD5);
    int a = 1;
    list.Add("a", &a);
    list.SetHashKind(THashKind::MD5);  // the same kind keeps the entries
    EXPECT_EQ(list.Count(), 1);
    list.SetHashKind(THashKind::CRC32);
    EXPECT_EQ(list.Count(), 0);
}

TEST(ElHashList, LongListsAnswerAsASearchFromTheStart) {
    // Random additions, insertions and removals on long lists of every kind,
    // with repeated keys allowed, checked against a plain search.
    for (THashKind kind : {THashKind::CRC32, THashKind::Custom, THashKind::MD5}) {
        TElHashList list;
        list.SetHashKind(kind);
        list.IgnoreCase = true;
        // The list's own notion of one key: equal hash values.
        auto identity = [&](const std::string& key) {
            const std::string k = UpperCaseAZ(key);
            if (kind == THashKind::MD5) {
                const TMD5Digest d = TCrMD5::Digest(k);
                return std::string(d.begin(), d.end());
            }
            uint32_t h = 0;
            if (kind == THashKind::CRC32) {
                h = Crc32(k);
            } else {
                for (unsigned char c : k) h = h * 5 + c;
            }
            return std::to_string(h);
        };
        struct Entry {
            std::string id;
            int* value;
        };
        std::vector<Entry> model;
        std::vector<int> values(3000);
        uint32_t seed = 12345;
        auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFFFF; };
        auto expected = [&](const std::string& id) {
            for (size_t i = 0; i < model.size(); ++i)
                if (model[i].id == id) return int(i);
            return -1;
        };
        for (int step = 0; step < 3000; ++step) {
            const std::string key = "Key" + std::to_string(next() % 700);
            const uint32_t what = next() % 10;
            int* value = &values[size_t(step)];
            if (what < 6 || model.empty()) {
                list.Add(key, value);
                model.push_back({identity(key), value});
            } else if (what == 6) {
                const int at = int(next() % uint32_t(model.size() + 1));
                list.Insert(at, key, value);
                model.insert(model.begin() + at, {identity(key), value});
            } else if (what == 7) {
                list.Delete(list.Count() - 1);
                model.pop_back();
            } else {
                const int at = int(next() % uint32_t(model.size()));
                list.Delete(at);
                model.erase(model.begin() + at);
            }
            const std::string probe = "KEY" + std::to_string(next() % 800);  // some never added
            const int want = expected(identity(probe));
            ASSERT_EQ(list.IndexOf(probe), want) << "step " << step;
            ASSERT_EQ(list.Find(probe), want >= 0 ? model[size_t(want)].value : nullptr);
        }
        ASSERT_EQ(list.Count(), int(model.size()));
        list.Clear();
        EXPECT_EQ(list.IndexOf("Key1"), -1);
        list.Add("Key1", &values[0]);
        EXPECT_EQ(list.IndexOf("key1"), 0);
    }
}
