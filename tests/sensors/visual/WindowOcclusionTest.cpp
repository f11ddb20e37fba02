#include <gtest/gtest.h>

#include "platform/linux/X11Occlusion.h"

using namespace velmora;

TEST(WindowOcclusionTest, RectanglesMeetOnlyWhenTheyShareArea) {
    const ScreenRect target{100, 100, 200, 100};
    const std::tuple<const char*, ScreenRect, bool> cases[] = {
        {"inside", {150, 120, 10, 10}, true},
        {"over the left edge", {90, 150, 11, 10}, true},
        {"touching the left edge", {90, 150, 10, 10}, false},
        {"touching the right edge", {300, 150, 10, 10}, false},
        {"touching the top edge", {150, 80, 10, 20}, false},
        {"touching the bottom edge", {150, 200, 10, 10}, false},
        {"one pixel over the bottom edge", {150, 199, 10, 10}, true},
        {"corner to corner", {300, 200, 10, 10}, false},
        {"enclosing it", {0, 0, 1000, 1000}, true},
        {"no width", {150, 120, 0, 10}, false},
        {"negative height", {150, 120, 10, -5}, false},
        {"far out", {2147483600, 2147483600, 2000, 2000}, false},
    };
    for (const auto& [label, other, meets] : cases) {
        EXPECT_EQ(intersects(target, other), meets) << label;
        EXPECT_EQ(intersects(other, target), meets) << label << " (swapped)";
    }
}

TEST(WindowOcclusionTest, OnlyShownWindowsAboveTheFrameCover) {
    const ScreenRect target{100, 100, 400, 300};  // the client inside frame 10
    const StackedWindow frame{10, {96, 76, 408, 328}, true};
    const StackedWindow over{20, {300, 200, 100, 100}, true};
    const StackedWindow beside{21, {500, 100, 100, 100}, true};   // touches the right edge
    const StackedWindow titleBar{22, {100, 80, 400, 20}, true};  // over the frame, not the client
    const StackedWindow unmapped{23, {300, 200, 100, 100}, false};
    const StackedWindow background{1, {0, 0, 1280, 800}, true};
    const std::tuple<const char*, std::vector<StackedWindow>, bool> cases[] = {
        {"alone", {background, frame}, false},
        {"a window over part of it", {background, frame, over}, true},
        {"the same window below it", {background, over, frame}, false},
        {"a window beside it", {frame, beside}, false},
        {"a window over its title bar only", {frame, titleBar}, false},
        {"an unmapped window over it", {frame, unmapped}, false},
        {"the covering one further up", {frame, beside, unmapped, over, titleBar}, true},
        {"frame not listed", {background, over}, true},
        {"nothing listed", {}, true},
    };
    for (const auto& [label, stack, covered] : cases)
        EXPECT_EQ(coveredInStacking(stack, 10, target), covered) << label;
}
