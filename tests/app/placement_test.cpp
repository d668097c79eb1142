// The main frame's placement between runs, against an in-memory store.
#include <gtest/gtest.h>

#include "placement.h"

namespace vocalume {
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

}  // namespace
}  // namespace vocalume
