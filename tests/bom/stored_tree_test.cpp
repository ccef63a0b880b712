// Stored trees: equal content is one node, reading answers as the storage
// written to would, nodes go with their last reference, from any thread.
#include "bom/stored_tree.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace omb;

namespace {
// <rule name=N><params><param name="enabled">yes</param><param name="x">V</param></params><content/></rule>
TStoredRef Sample(const std::string& name, const std::string& value) {
    Ref<TStoredBuilder> builder = TStoredBuilder::Create("rule");
    builder->WriteAttribute("name", name);
    Ref<IHierStorage> params = builder->AddChild("params");
    Ref<IHierStorage> enabled = params->AddChild("param");
    enabled->WriteAttribute("name", "enabled");
    enabled->SetText("yes");
    params->WriteChildText("param", value);
    params->GetChild("param", 1)->WriteAttribute("name", "x");
    builder->AddChild("content");
    return builder->Freeze();
}
}  // namespace

TEST(StoredTree, EqualContentIsOneNodeAndReadsBackAsWritten) {
    const size_t before = TStoredNode::Count();
    {
        TStoredRef a = Sample("one", "v1"), b = Sample("one", "v1"), c = Sample("two", "v1");
        EXPECT_EQ(a, b);
        EXPECT_NE(a, c);
        // Only the root differs: the rest is shared.
        EXPECT_EQ(a->Children()[0], c->Children()[0]);
        EXPECT_EQ(TStoredNode::Count() - before, 6u);  // two roots, params, two params, content

        Ref<TStoredStorage> s = TStoredStorage::Create(a);
        EXPECT_EQ(s->ReadAttribute("name", "?"), "one");
        EXPECT_EQ(s->ReadAttribute("type", "fallback"), "fallback");
        EXPECT_EQ(s->ChildCount("params"), 1);
        EXPECT_EQ(s->ChildCount("param"), 0);  // direct children only
        EXPECT_EQ(s->ChildCount("content"), 1);
        Ref<IHierStorage> params = s->GetChild("params", 0);
        ASSERT_TRUE(params);
        EXPECT_FALSE(s->GetChild("params", 1));
        EXPECT_FALSE(s->GetChild("params", -1));
        EXPECT_EQ(params->ChildCount("param"), 2);
        EXPECT_EQ(params->GetChild("param", 1)->ReadAttribute("name", ""), "x");
        EXPECT_EQ(params->GetChild("param", 1)->GetText(), "v1");
        EXPECT_EQ(params->ReadChildText("param"), "yes");
        EXPECT_EQ(s->GetText(), "yesv1");  // the element's text and its descendants'
        EXPECT_THROW(s->WriteAttribute("a", "b"), EStoredTreeError);
        EXPECT_THROW(params->AddChild("param"), EStoredTreeError);
        EXPECT_THROW(params->SetText("t"), EStoredTreeError);
    }
    EXPECT_EQ(TStoredNode::Count(), before) << "the last reference frees the nodes";

    // A builder's text replaces its content; an attribute written again is
    // replaced in its place.
    Ref<TStoredBuilder> builder = TStoredBuilder::Create("e");
    builder->WriteAttribute("a", "1");
    builder->WriteAttribute("b", "2");
    builder->WriteAttribute("a", "3");
    builder->AddChild("child")->SetText("gone");
    builder->SetText("text");
    TStoredRef e = builder->Freeze();
    EXPECT_TRUE(e->Children().empty());
    EXPECT_EQ(e->Text(), "text");
    ASSERT_EQ(e->Attributes().size(), 2u);
    EXPECT_EQ(e->Attributes()[0], TStoredNode::Attribute("a", "3"));
}

// A node kept as its markup is interned like any other, is no child element
// to a reader, and is written as it is on a line of its own at its depth.
TEST(StoredTree, ANodeKeptAsMarkupIsWrittenAsItIs) {
    const size_t before = TStoredNode::Count();
    {
        auto make = [] {
            Ref<TStoredBuilder> builder = TStoredBuilder::Create("rule");
            builder->WriteAttribute("name", "r");
            builder->WriteAttribute("future", "1");
            Ref<IHierStorage> content = builder->AddChild("content");
            content->AddMarkup("<!-- first -->");
            content->AddChild("item")->SetText("v");
            content->AddMarkup("<future_thing a=\"1\"><x/></future_thing>");
            builder->AddMarkup("<?pi data?>");
            return builder->Freeze();
        };
        TStoredRef a = make(), b = make();
        EXPECT_EQ(a, b);
        Ref<TStoredStorage> s = TStoredStorage::Create(a);
        Ref<IHierStorage> content = s->GetChild("content", 0);
        ASSERT_TRUE(content);
        EXPECT_EQ(content->ChildCount("item"), 1);
        EXPECT_EQ(content->ChildNodeNames(), std::vector<std::string>{"item"});
        EXPECT_EQ(s->ChildNodeNames(), std::vector<std::string>{"content"});
        EXPECT_EQ(s->GetText(), "v") << "markup is no text";
        const std::vector<THierNode> nodes = content->ChildNodes();
        ASSERT_EQ(nodes.size(), 3u);
        EXPECT_EQ(nodes[0].markup, "<!-- first -->");
        EXPECT_EQ(nodes[1].name, "item");
        EXPECT_EQ(nodes[2].markup, "<future_thing a=\"1\"><x/></future_thing>");
        EXPECT_EQ(s->Attributes(), (std::vector<TStoredNode::Attribute>{{"name", "r"}, {"future", "1"}}));
        EXPECT_EQ(content->Markup(), "<content><!-- first --><item>v</item><future_thing a=\"1\"><x/></future_thing></content>");
        EXPECT_THROW(content->AddMarkup("<!-- -->"), EStoredTreeError);
        EXPECT_EQ(StoredMarkup(*a.get()),
                  "<rule name=\"r\" future=\"1\">\r\n"
                  "\t<content>\r\n"
                  "\t\t<!-- first -->\r\n"
                  "\t\t<item>v</item>\r\n"
                  "\t\t<future_thing a=\"1\"><x/></future_thing>\r\n"
                  "\t</content>\r\n"
                  "\t<?pi data?>\r\n"
                  "</rule>\r\n");
    }
    EXPECT_EQ(TStoredNode::Count(), before);
}

TEST(StoredTree, ThreadsMakeAndDropTheSameNodesAtOnce) {
    const size_t before = TStoredNode::Count();
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                TStoredRef a = Sample("r" + std::to_string(i % 7), "v" + std::to_string(i % 3));
                TStoredRef b = Sample("r" + std::to_string(i % 7), "v" + std::to_string(i % 3));
                if (a != b || TStoredStorage::Create(a)->GetChild("params", 0)->GetText() !=
                                  "yesv" + std::to_string(i % 3))
                    ++wrong[size_t(t)];
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_EQ(TStoredNode::Count(), before);
}
