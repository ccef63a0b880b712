// Alignment and anchors of a container's children, as rectangles.
#include "forms/layout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace omb::forms {
std::ostream& operator<<(std::ostream& os, const TBounds& b) {
    return os << "{" << b.left << "," << b.top << "," << b.width << "," << b.height << "}";
}
}  // namespace omb::forms

namespace {

using namespace omb::forms;

TLayoutChild Aligned(TAlign align, int width, int height, bool visible = true) {
    TLayoutChild c;
    c.align = align;
    c.bounds = {0, 0, width, height};
    c.visible = visible;
    return c;
}

// A free child placed at bounds while the container was refWidth x refHeight.
TLayoutChild Anchored(unsigned anchors, TBounds bounds, int refWidth, int refHeight) {
    TLayoutChild c;
    c.anchors = anchors;
    c.bounds = bounds;
    c.refWidth = refWidth;
    c.refHeight = refHeight;
    return c;
}

struct LayoutCase {
    std::string name;
    int width, height;
    std::vector<TLayoutChild> children;
    std::vector<TBounds> expected;
};

TEST(Layout, TableOfArrangements) {
    const std::vector<LayoutCase> cases = {
        {"top then bottom then left then right, client last, whatever the list order",
         200, 100,
         {Aligned(TAlign::alClient, 5, 5), Aligned(TAlign::alRight, 30, 5), Aligned(TAlign::alLeft, 20, 5),
          Aligned(TAlign::alBottom, 5, 15), Aligned(TAlign::alTop, 5, 10)},
         {{20, 10, 150, 75}, {170, 10, 30, 75}, {0, 10, 20, 75}, {0, 85, 200, 15}, {0, 0, 200, 10}}},
        {"each kind stacks in list order",
         100, 100,
         {Aligned(TAlign::alTop, 0, 10), Aligned(TAlign::alTop, 0, 20), Aligned(TAlign::alBottom, 0, 5),
          Aligned(TAlign::alBottom, 0, 7), Aligned(TAlign::alLeft, 11, 0), Aligned(TAlign::alLeft, 13, 0),
          Aligned(TAlign::alRight, 3, 0), Aligned(TAlign::alRight, 4, 0)},
         {{0, 0, 100, 10}, {0, 10, 100, 20}, {0, 95, 100, 5}, {0, 88, 100, 7}, {0, 30, 11, 58},
          {11, 30, 13, 58}, {97, 30, 3, 58}, {93, 30, 4, 58}}},
        {"client alone takes the whole area", 64, 48, {Aligned(TAlign::alClient, 1, 1)}, {{0, 0, 64, 48}}},
        {"an invisible child keeps its bounds and takes no space",
         100, 50,
         {Aligned(TAlign::alTop, 40, 20, false), Aligned(TAlign::alTop, 0, 10), Aligned(TAlign::alClient, 0, 0)},
         {{0, 0, 40, 20}, {0, 0, 100, 10}, {0, 10, 100, 40}}},
        {"an aligned child larger than what is left gets only the rest",
         100, 50,
         {Aligned(TAlign::alTop, 0, 40), Aligned(TAlign::alBottom, 0, 30), Aligned(TAlign::alClient, 0, 0)},
         {{0, 0, 100, 40}, {0, 40, 100, 10}, {0, 40, 100, 0}}},
        {"anchors: left-top stays, right moves, left and right stretch",
         300, 200,
         {Anchored(akLeft | akTop, {10, 10, 50, 20}, 200, 100),
          Anchored(akRight | akTop, {140, 10, 50, 20}, 200, 100),
          Anchored(akLeft | akRight | akTop, {10, 40, 180, 20}, 200, 100),
          Anchored(akLeft | akBottom, {10, 70, 50, 20}, 200, 100),
          Anchored(akLeft | akTop | akRight | akBottom, {10, 10, 180, 80}, 200, 100)},
         {{10, 10, 50, 20}, {240, 10, 50, 20}, {10, 40, 280, 20}, {10, 170, 50, 20}, {10, 10, 280, 180}}},
        {"a stretched child shrinks to nothing, never below",
         50, 100, {Anchored(akLeft | akRight | akTop, {10, 0, 100, 10}, 200, 100)}, {{10, 0, 0, 10}}},
        {"no anchor on an axis keeps the centre's share",
         400, 100, {Anchored(akTop, {80, 0, 40, 10}, 200, 100)}, {{180, 0, 40, 10}}},
        {"an invisible anchored child is left alone",
         400, 400, {[] { TLayoutChild c = Anchored(akRight | akBottom, {1, 2, 3, 4}, 10, 10); c.visible = false; return c; }()},
         {{1, 2, 3, 4}}},
        {"anchored children ignore the aligned ones",
         200, 100,
         {Aligned(TAlign::alTop, 0, 30), Anchored(akRight | akBottom, {150, 70, 20, 10}, 200, 100)},
         {{0, 0, 200, 30}, {150, 70, 20, 10}}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ArrangeChildren(c.width, c.height, c.children), c.expected);
    }
}

TEST(Layout, NestedContainersApplyTwice) {
    // A window: a tool bar on top, a tree on the left, a panel as client
    // holding an edit stretched across it and a button at its bottom right.
    const std::vector<TLayoutChild> outer = {Aligned(TAlign::alTop, 0, 26), Aligned(TAlign::alLeft, 150, 0),
                                             Aligned(TAlign::alClient, 0, 0)};
    std::vector<TBounds> o = ArrangeChildren(640, 480, outer);
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[2], (TBounds{150, 26, 490, 454}));
    // The panel's children were designed in a 400 x 300 panel.
    const std::vector<TLayoutChild> inner = {Anchored(akLeft | akTop | akRight, {8, 8, 384, 21}, 400, 300),
                                             Anchored(akRight | akBottom, {317, 267, 75, 25}, 400, 300)};
    std::vector<TBounds> i = ArrangeChildren(o[2].width, o[2].height, inner);
    EXPECT_EQ(i[0], (TBounds{8, 8, 474, 21}));
    EXPECT_EQ(i[1], (TBounds{407, 421, 75, 25}));
    // The window grows: both levels follow, the right and bottom gaps stay 8.
    o = ArrangeChildren(800, 600, outer);
    i = ArrangeChildren(o[2].width, o[2].height, inner);
    EXPECT_EQ(o[2].Right(), 800);
    EXPECT_EQ(o[2].width - i[0].Right(), 8);
    EXPECT_EQ(o[2].width - i[1].Right(), 8);
    EXPECT_EQ(o[2].height - i[1].Bottom(), 8);
}

TEST(Layout, ScaleDesignRounds) {
    EXPECT_EQ(ScaleDesign(100, 96), 100);
    EXPECT_EQ(ScaleDesign(100, 120), 125);
    EXPECT_EQ(ScaleDesign(-100, 144), -150);
    EXPECT_EQ(ScaleDesign(3, 144), 5);  // 4.5 rounds away from zero
    EXPECT_EQ(ScaleDesign(7, 0), 7);
}

}  // namespace
