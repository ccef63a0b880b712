#include <gtest/gtest.h>

#include "foundation/params.h"

using namespace omb;

namespace {
TTwoArrayOfString Pairs(const std::string& text, char sep = '\\') {
    TTwoArrayOfString pairs;
    ParseKeyValues(text, pairs, sep, '=');
    return pairs;
}
TOneArrayOfString Pieces(const std::string& text) {
    TOneArrayOfString pieces;
    SplitList(text, pieces, '\\');
    return pieces;
}
}  // namespace

TEST(FindClosingBrace, CountsDepthFromStart) {
    EXPECT_EQ(FindClosingBrace("a{b}d", 2), 4u);
    EXPECT_EQ(FindClosingBrace("a{b", 2), 0u);
    EXPECT_EQ(FindClosingBrace("abd", 1), 1u);  // not a brace: answers start
    EXPECT_EQ(FindClosingBrace("{{x}}", 1), 5u);
    EXPECT_EQ(FindClosingBrace("ab", 3), 0u);   // text shorter than start
}

TEST(SplitList, EmptyTextLeavesOutputUntouched) {
    TOneArrayOfString pieces{"keep"};
    EXPECT_EQ(SplitList("", pieces, '\\'), 0);
    EXPECT_EQ(SplitList("  \t ", pieces, '\\'), 0);
    EXPECT_EQ(pieces, TOneArrayOfString{"keep"});
    TTwoArrayOfString pairs{{"k", "v"}};
    EXPECT_EQ(ParseKeyValues("   ", pairs, '\\', '='), 0);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0][0], "k");
}

TEST(SplitList, DropsEmptyPiecesAndTrimsOnlyTheWholeText) {
    EXPECT_EQ(Pieces("\\a=1\\\\b=2\\"), (TOneArrayOfString{"a=1", "b=2"}));
    EXPECT_EQ(Pieces("  a=1 \\ b=2  "), (TOneArrayOfString{"a=1 ", " b=2"}));
    auto pairs = Pairs("a=1 \\ b=2");
    EXPECT_EQ(pairs[1][0], " b");
}

TEST(SplitList, GroupsKeepTheirSeparators) {
    EXPECT_EQ(Pieces("K={x\\y=1}\\L=2"), (TOneArrayOfString{"K={x\\y=1}", "L=2"}));
    // Only the first group of a piece is skipped.
    EXPECT_EQ(Pieces("K={a}{b\\d}"), (TOneArrayOfString{"K={a}{b", "d}"}));
    // An unclosed group does not protect its separator.
    EXPECT_EQ(Pieces("K={a\\b=1"), (TOneArrayOfString{"K={a", "b=1"}));
}

TEST(ParseKeyValues, ValuesAndBraces) {
    auto p = Pairs("K={x\\y=1}\\L=2");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0][0], "K");
    EXPECT_EQ(p[0][1], "x\\y=1");
    EXPECT_EQ(p[1][1], "2");

    p = Pairs("K={{a\\b}\\d}");  // nesting is counted; one pair of braces goes
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0][1], "{a\\b}\\d");

    EXPECT_EQ(Pairs("K=")[0][1], "");
    EXPECT_EQ(Pairs("=v")[0][0], "");
    EXPECT_EQ(Pairs("=v")[0][1], "v");
    EXPECT_EQ(Pairs("K={}")[0][1], "");
    EXPECT_EQ(Pairs("K={")[0][1], "{");
    EXPECT_EQ(Pairs("a=b=d")[0][1], "b=d");
    // The brace is not the value's first character: the braces stay.
    EXPECT_EQ(Pairs("ACTION=TYPE{\\NAME=a}")[0][1], "TYPE{\\NAME=a}");
}

TEST(ParseKeyValues, PiecesWithoutDelimiterLeaveEmptyEntriesAtTheEnd) {
    TTwoArrayOfString pairs;
    EXPECT_EQ(ParseKeyValues("x\\K=1", pairs, '\\', '='), 2);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0][0], "K");
    EXPECT_EQ(pairs[0][1], "1");
    EXPECT_EQ(pairs[1][0], "");
    EXPECT_EQ(pairs[1][1], "");
}

TEST(ParseKeyValues, RuleTextOfTheDocumentedExample) {
    auto p = Pairs("\\NAME=Rule 1\\ACTION=TYPE{\\NAME=a\\RUNMODE=2}");
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[0][0], "NAME");
    EXPECT_EQ(p[0][1], "Rule 1");
    EXPECT_EQ(p[1][0], "ACTION");
    EXPECT_EQ(p[1][1], "TYPE{\\NAME=a\\RUNMODE=2}");
}

TEST(FindKeyValue, FirstKeyWithoutRegardToCase) {
    std::string value = "stale";
    EXPECT_TRUE(FindKeyValue("K=1;k=2", "k", ';', value, '='));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(FindKeyValue("K=1;k=2", "x", ';', value, '='));
    EXPECT_EQ(value, "");
    // A blank is significant.
    EXPECT_FALSE(FindKeyValue(" a=1;b =2", "b", ';', value, '='));
    EXPECT_TRUE(FindKeyValue("DefaultDetailPanel=WindowRuleDetailPanel", "defaultdetailpanel", ';',
                             value, '='));
    EXPECT_EQ(value, "WindowRuleDetailPanel");
}
