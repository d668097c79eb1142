// The main frame's placement between runs, against an in-memory store.
#include <climits>

#include <gtest/gtest.h>

#include "placement.h"

namespace vocalume {

void PrintTo(const FrameRect& r, std::ostream* os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}

namespace {

const FrameRect kRect{100, 80, 640, 480};

TEST(PlacementTest, FirstRunOpensAtTheDefaultPlace)
{
    MemorySettingsStore store;
    EXPECT_EQ(LoadPlacement(store), std::nullopt);
}

TEST(PlacementTest, NormalFrameIsStoredWholeAndReopensThere)
{
    MemorySettingsStore store;
    SavePlacement(store, FrameShowState::Normal, kRect);
    EXPECT_EQ(store.GetProfileInt("position", "maximised", -1), 0);
    EXPECT_EQ(store.GetProfileInt("position", "left", -1), 100);
    EXPECT_EQ(store.GetProfileInt("position", "top", -1), 80);
    EXPECT_EQ(store.GetProfileInt("position", "width", -1), 640);
    EXPECT_EQ(store.GetProfileInt("position", "height", -1), 480);
    EXPECT_EQ(LoadPlacement(store), kRect);
}

TEST(PlacementTest, MaximisedFrameKeepsTheEarlierRectangleButOpensAtTheDefaultPlace)
{
    MemorySettingsStore store;
    SavePlacement(store, FrameShowState::Normal, kRect);
    SavePlacement(store, FrameShowState::Maximised, FrameRect{0, 0, 1024, 768});
    EXPECT_EQ(store.GetProfileInt("position", "maximised", -1), 1);
    EXPECT_EQ(store.GetProfileInt("position", "width", -1), 640);
    EXPECT_EQ(LoadPlacement(store), std::nullopt);

    // Leaving a normal frame again brings the stored rectangle back into use.
    SavePlacement(store, FrameShowState::Normal, FrameRect{5, 6, 300, 200});
    EXPECT_EQ(LoadPlacement(store), (FrameRect{5, 6, 300, 200}));
}

TEST(PlacementTest, MinimisedFrameWritesNothing)
{
    MemorySettingsStore empty;
    SavePlacement(empty, FrameShowState::Minimised, kRect);
    EXPECT_FALSE(empty.Has("position", "maximised"));
    EXPECT_FALSE(empty.Has("position", "left"));

    MemorySettingsStore store;
    SavePlacement(store, FrameShowState::Normal, kRect);
    SavePlacement(store, FrameShowState::Minimised, FrameRect{-32000, -32000, 160, 28});
    EXPECT_EQ(LoadPlacement(store), kRect);
}

TEST(PlacementTest, PartlyStoredRectangleFillsInTheDefaults)
{
    MemorySettingsStore store;
    store.WriteProfileInt("position", "maximised", 0);
    store.WriteProfileInt("position", "left", -20);
    EXPECT_EQ(LoadPlacement(store), (FrameRect{-20, 50, 700, 500}));
}

// A primary display of 1024 x 768 with a 28-pixel panel along its top, and a
// second one of 1280 x 1024 to its right.
const DisplayLayout kTwoDisplays{{{0, 28, 1024, 740}, {1024, 0, 1280, 1024}}, 0};

TEST(PlacementTest, StoredRectanglesAreFittedToTheDisplays)
{
    struct Case {
        const char* what;
        FrameRect stored;
        FrameRect opened;
    };
    const Case cases[] = {
        {"on the primary display", {100, 80, 640, 480}, {100, 80, 640, 480}},
        {"partly off the left edge", {-20, 50, 700, 500}, {-20, 50, 700, 500}},
        {"on the second display", {1500, 100, 600, 400}, {1500, 100, 600, 400}},
        {"across both displays", {900, 100, 300, 200}, {900, 100, 300, 200}},
        {"larger than the display it lies on", {50, 50, 100000, 100000}, {1024, 0, 1280, 1024}},
        {"taller than the primary display", {100, 60, 640, 2000}, {100, 28, 640, 740}},
        {"far off every display", {-50000, -60000, 700, 500}, {162, 148, 700, 500}},
        {"a sliver below the primary display", {100, 740, 640, 480}, {192, 158, 640, 480}},
        {"no size", {100, 80, 0, 0}, {100, 80, 700, 500}},
        {"a negative size", {100, 80, -5, -300}, {100, 80, 700, 500}},
        {"the largest values", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, {0, 28, 1024, 740}},
        {"the smallest values", {INT_MIN, INT_MIN, INT_MIN, INT_MIN}, {162, 148, 700, 500}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitToDisplays(c.stored, kTwoDisplays), c.opened) << c.what;

    // The display the frame lay on is gone: it comes back on the primary one.
    const DisplayLayout oneDisplay{{{0, 28, 1024, 740}}, 0};
    EXPECT_EQ(FitToDisplays({1500, 100, 600, 400}, oneDisplay), (FrameRect{212, 198, 600, 400}));
    // Nothing known about the displays: only the size is made usable.
    EXPECT_EQ(FitToDisplays({-50000, 5, 0, 300}, DisplayLayout{}), (FrameRect{-50000, 5, 700, 300}));
}

// The first frame keeps its default size where it fits, and leaves room for
// the window manager's frame where it does not (a screen at twice the scale).
TEST(PlacementTest, TheFirstFrameFitsASmallScreenWithItsDecorations)
{
    EXPECT_EQ(FirstFrameSize(kTwoDisplays), (FrameRect{0, 0, 700, 500}));
    EXPECT_EQ(FirstFrameSize(DisplayLayout{{{0, 0, 512, 384}}, 0}), (FrameRect{0, 0, 460, 345}));
    EXPECT_EQ(FirstFrameSize(DisplayLayout{{{0, 0, 640, 450}}, 0}), (FrameRect{0, 0, 576, 405}));
    EXPECT_EQ(FirstFrameSize(DisplayLayout{}), (FrameRect{0, 0, 700, 500}));
}

}  // namespace
}  // namespace vocalume
