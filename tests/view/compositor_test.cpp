// The compositor: the retained picture itself while nothing is drawn over
// it; otherwise a copy with the layers drawn in the order they were added,
// the retained picture below any lane above it, and the columns a paint
// shows copied afresh.
#include "compositor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace vocalume {
namespace {

// Paints one column of the session lane in its colour.
struct ColumnLayer final : PictureLayer {
    ColumnLayer(int32_t column, Rgb colour) : column(column), colour(colour) {}
    bool Shown() const override { return shown; }
    void Draw(const Canvas& canvas) override
    {
        PixelImage lane = canvas.SessionLane();
        for (int32_t y = 0; y < lane.height; ++y)
            lane.Set(column, y, colour);
    }
    int32_t column;
    Rgb colour;
    bool shown = false;
};

// A retained picture whose column x is grey x * 10.
void Fill(ColumnSurface& surface, uint8_t add = 0)
{
    std::vector<uint8_t> column(static_cast<size_t>(surface.Height()) * 4);
    surface.InvalidateAll();
    surface.BeginPaint();
    for (int32_t x = 0; x < surface.Width(); ++x) {
        std::fill(column.begin(), column.end(), static_cast<uint8_t>(x * 10 + add));
        surface.DrawColumn(x, column.data(), surface.Height());
    }
    surface.EndPaint();
}

Rgb At(const Compositor& c, int32_t x, int32_t y)
{
    const uint8_t* p = c.Rgb() + c.Stride() * static_cast<size_t>(y) + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

TEST(Compositor, LayersAreDrawnInOrderOverACopyOfTheRetainedPicture)
{
    ColumnSurface retained(20, 10);
    Fill(retained);
    const std::vector<uint8_t> kept(retained.Pixels(), retained.Pixels() + retained.Stride() * 10);
    Compositor compositor(retained);
    ColumnLayer below(5, Rgb{255, 0, 0}), above(5, Rgb{255, 255, 255}), elsewhere(9, Rgb{0, 255, 0});
    compositor.Add(below);
    compositor.Add(above);
    compositor.Add(elsewhere);
    const LaneRows alone{0, 0, 10};
    compositor.Compose(alone);
    EXPECT_EQ(compositor.Rgb(), retained.Pixels()) << "nothing over it: the retained picture itself";

    below.shown = above.shown = true;
    compositor.Compose(alone);
    ASSERT_NE(compositor.Rgb(), retained.Pixels());
    EXPECT_EQ(At(compositor, 5, 3), (Rgb{255, 255, 255})) << "the layer added last is on top";
    EXPECT_EQ(At(compositor, 9, 3), (Rgb{90, 90, 90}));
    EXPECT_EQ(std::vector<uint8_t>(retained.Pixels(), retained.Pixels() + kept.size()), kept)
        << "never drawn into the retained picture";

    // A paint of columns 0 to 4 shows them as the retained picture has them now.
    Fill(retained, 1);
    compositor.Compose(alone, 0, 4);
    EXPECT_EQ(At(compositor, 2, 3), (Rgb{21, 21, 21}));

    // A lane of 4 rows above and its separator: the retained picture below.
    compositor.Compose(LaneRows{4, 5, 10});
    EXPECT_EQ(compositor.Height(), 15);
    EXPECT_EQ(At(compositor, 2, 5), (Rgb{21, 21, 21}));
    EXPECT_EQ(At(compositor, 5, 5), (Rgb{255, 255, 255}));
}

}  // namespace
}  // namespace vocalume
