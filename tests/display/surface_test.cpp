#include "column_surface.h"

#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "column_painter.h"

namespace vocalume {
namespace {

namespace fs = std::filesystem;

// A colour that tells columns apart.
Rgb ColourOf(int32_t x) { return {static_cast<uint8_t>(x), static_cast<uint8_t>(255 - x), 7}; }

// Draws every column in colour `of(x)` through one paint; returns the paint
// rectangle the surface handed out.
template <typename F>
PixelRect PaintAll(ColumnSurface& surface, F of)
{
    const PixelRect rc = surface.BeginPaint();
    std::vector<uint8_t> column(static_cast<size_t>(surface.Height()) * 4);
    for (int32_t x = 0; x < surface.Width(); ++x) {
        const Rgb c = of(x);
        for (size_t r = 0; r < column.size(); r += 4) {
            column[r] = c.blue;
            column[r + 1] = c.green;
            column[r + 2] = c.red;
        }
        surface.DrawColumn(x, column.data(), surface.Height());
    }
    surface.EndPaint();
    return rc;
}

const Rgb kWhite{255, 255, 255};
Rgb White(int32_t) { return kWhite; }

TEST(ColumnSurface, ScrollMovesPixelsAndPaintTouchesOnlyTheStrip)
{
    ColumnSurface surface(100, 10);
    PaintAll(surface, ColourOf);
    EXPECT_TRUE(surface.IsValid());

    surface.ScrollLeft(7);
    for (int32_t x = 0; x < 93; ++x)
        ASSERT_EQ(surface.PixelAt(x, 4), ColourOf(x + 7)) << x;
    EXPECT_EQ(surface.PixelAt(95, 4), (Rgb{}));
    EXPECT_EQ(surface.InvalidBounds(), (PixelRect{93, 0, 100, 10}));

    EXPECT_EQ(PaintAll(surface, White), (PixelRect{93, 0, 100, 10}));
    for (int32_t x = 0; x < 100; ++x)
        for (int32_t y = 0; y < 10; ++y)
            ASSERT_EQ(surface.PixelAt(x, y), x < 93 ? ColourOf(x + 7) : kWhite) << x << "," << y;
    EXPECT_TRUE(surface.IsValid());
}

TEST(ColumnSurface, PendingInvalidAreaMovesWithTheScrollAndClipsExactly)
{
    ColumnSurface surface(100, 10);
    PaintAll(surface, ColourOf);
    surface.Invalidate({50, 2, 60, 5});
    surface.ScrollLeft(10);
    // Two separate areas: the moved rectangle and the new strip.
    EXPECT_EQ(surface.InvalidBounds(), (PixelRect{40, 0, 100, 10}));
    PaintAll(surface, White);
    for (int32_t x = 0; x < 100; ++x) {
        for (int32_t y = 0; y < 10; ++y) {
            const bool repainted = (x >= 40 && x < 50 && y >= 2 && y < 5) || x >= 90;
            ASSERT_EQ(surface.PixelAt(x, y), repainted ? kWhite : ColourOf(x + 10)) << x << "," << y;
        }
    }
}

TEST(ColumnSurface, ScrollsAndRegionsAtTheLimits)
{
    ColumnSurface surface(30, 5);
    PaintAll(surface, ColourOf);
    surface.ScrollLeft(0);
    EXPECT_TRUE(surface.IsValid());
    surface.ScrollLeft(30);
    EXPECT_EQ(surface.InvalidBounds(), surface.ClientRect());
    PaintAll(surface, ColourOf);

    // Consecutive strips join into one rectangle; many scattered areas fold
    // into their bounding box, which still covers every one of them.
    surface.ScrollLeft(3);
    surface.ScrollLeft(3);
    EXPECT_EQ(surface.InvalidBounds(), (PixelRect{24, 0, 30, 5}));
    for (int32_t k = 0; k < 12; ++k)
        surface.Invalidate({2 * k, k % 5, 2 * k + 1, k % 5 + 1});
    for (int32_t k = 0; k < 12; ++k)
        EXPECT_TRUE(surface.IsInvalid(2 * k, k % 5)) << k;
    surface.Invalidate({-10, -10, 5, 2});
    EXPECT_TRUE(surface.IsInvalid(0, 0));
    EXPECT_FALSE(surface.IsInvalid(-1, 0));
}

// What changed since the last look, in order: a repainted area moves with
// later scrolls, scrolls add up, and scrolling past the width, a resize or
// a restored picture change everything.
TEST(ColumnSurface, ChangesAddUpInTheOrderTheyHappened)
{
    ColumnSurface surface(30, 5);
    PaintAll(surface, ColourOf);
    EXPECT_TRUE(surface.TakeChange().whole);
    EXPECT_EQ(surface.TakeChange(), (PictureChange{}));

    surface.Invalidate({10, 0, 12, 5});
    PaintAll(surface, White);
    surface.ScrollLeft(4);
    surface.ScrollLeft(3);
    EXPECT_EQ(surface.TakeChange(), (PictureChange{7, 3, 29, false}));
    surface.ScrollLeft(20);
    EXPECT_EQ(surface.TakeChange(), (PictureChange{20, 10, 29, false}));
    surface.ScrollLeft(12);
    surface.ScrollLeft(18);
    EXPECT_TRUE(surface.TakeChange().whole);

    const std::vector<uint8_t> before(surface.Pixels(), surface.Pixels() + surface.Stride() * 5);
    EXPECT_TRUE(surface.Restore(30, 5, before));
    EXPECT_TRUE(surface.TakeChange().whole);
    surface.Resize(30, 5);
    EXPECT_TRUE(surface.TakeChange().whole);
}

class SurfaceWithRing : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ring = new FrameRing(); }
    static void TearDownTestSuite() { delete ring; }
    void SetUp() override
    {
        int64_t counter = 0;
        ring->Reset(counter, 256);
        view.m_showWaveform = 0;
        view.m_showTimescale = 0;
        for (int32_t s = 0; s < kRingSize; ++s) {
            FrameRecord& r = (*ring)[s];
            for (int32_t k = 129; k <= 192; ++k)
                r.spectrum[k] = r.specCeiling;
            r.energy = r.energyCeiling;
        }
    }
    static FrameRing* ring;
    PaintFields view;
};
FrameRing* SurfaceWithRing::ring = nullptr;

TEST_F(SurfaceWithRing, ExposureCopiesThePictureWithoutRepainting)
{
    ColumnSurface surface(30, 20);
    PaintColumns(*ring, view, surface);
    // The record of column 10 changes after it was drawn; the window copies
    // the exposed area from the surface and gets the picture as painted.
    const int32_t slot = (kRingSize - 110 - 19) % kRingSize;
    (*ring)[slot].energy = -100.0f;
    std::vector<uint8_t> exposed(5 * 4 * 3);
    surface.CopyRect({8, 3, 13, 7}, exposed.data(), 5 * 3);
    for (size_t i = 0; i < exposed.size(); i += 3)
        ASSERT_EQ((Rgb{exposed[i], exposed[i + 1], exposed[i + 2]}), (Rgb{0, 0, 255})) << i;
    EXPECT_TRUE(surface.IsValid());
    // A paint with nothing invalid redraws nothing either.
    PaintColumns(*ring, view, surface);
    EXPECT_EQ(surface.PixelAt(10, 5), (Rgb{0, 0, 255}));
}

TEST_F(SurfaceWithRing, InvalidRectangleRepaintsOnlyItsPixels)
{
    ColumnSurface surface(30, 20);
    PaintColumns(*ring, view, surface);
    for (int32_t s = 0; s < kRingSize; ++s)
        (*ring)[s].energy = (*ring)[s].energyCeiling - 20.0f;  // now 63 blue
    surface.Invalidate({10, 5, 15, 8});
    PaintColumns(*ring, view, surface);
    for (int32_t x = 0; x < 30; ++x) {
        for (int32_t y = 0; y < 20; ++y) {
            const uint8_t blue = x == 0 ? 0 : (x >= 10 && x < 15 && y >= 5 && y < 8) ? 63 : 255;
            ASSERT_EQ(surface.PixelAt(x, y), (Rgb{0, 0, blue})) << x << "," << y;
        }
    }
}

TEST_F(SurfaceWithRing, ResizeRepaintsEverything)
{
    ColumnSurface surface(30, 20);
    PaintColumns(*ring, view, surface);
    EXPECT_TRUE(surface.Resize(40, 25));
    EXPECT_EQ(surface.PixelAt(20, 10), (Rgb{}));
    // Every record is marked drawn, but the whole area is the paint rectangle.
    PaintColumns(*ring, view, surface);
    for (int32_t x = 1; x < 40; ++x)
        ASSERT_EQ(surface.PixelAt(x, 24), (Rgb{0, 0, 255})) << x;
}

TEST(ColumnSurface, SizeTooLargeToHoldGivesASmallerPictureThatStillPaints)
{
    ColumnSurface surface(30, 20);
    EXPECT_FALSE(surface.Resize(100000, 100000));
    EXPECT_GT(surface.Width(), 1000);
    EXPECT_GT(surface.Height(), 1000);
    EXPECT_LE(int64_t{surface.Width()} * surface.Height(), ColumnSurface::kMaxPixels);
    EXPECT_EQ(surface.InvalidBounds(), surface.ClientRect());
    const int32_t x = surface.Width() - 1;
    const std::vector<uint8_t> white(static_cast<size_t>(surface.Height()) * 4, 255);
    surface.BeginPaint();
    surface.DrawColumn(x, white.data(), surface.Height());
    surface.EndPaint();
    EXPECT_EQ(surface.PixelAt(x, surface.Height() - 1), (Rgb{255, 255, 255}));
}

class PngTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(::testing::TempDir()) /
              ("vocalume-png-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<fs::path> Entries() const
    {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(dir))
            out.push_back(e.path().filename());
        return out;
    }
    fs::path dir;
};

TEST_F(PngTest, RoundTripThroughAnIndependentReader)
{
    ColumnSurface surface(37, 11);
    PaintAll(surface, ColourOf);
    surface.ScrollLeft(5);
    const fs::path file = dir / "picture.png";
    for (int pass = 0; pass < 2; ++pass) {  // the second replaces the first
        ASSERT_EQ(surface.WritePng(file.string()), "");

        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&image, file.c_str())) << image.message;
        image.format = PNG_FORMAT_RGB;
        ASSERT_EQ(image.width, 37u);
        ASSERT_EQ(image.height, 11u);
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
        EXPECT_EQ(pixels, std::vector<uint8_t>(surface.Pixels(), surface.Pixels() + 37 * 11 * 3));
        EXPECT_EQ(Entries(), std::vector<fs::path>{"picture.png"});
    }
}

TEST_F(PngTest, FailureLeavesNothingBehind)
{
    ColumnSurface surface(4, 4);
    const std::string missing = (dir / "no-such-folder" / "x.png").string();
    const std::string error = surface.WritePng(missing);
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(missing));

    // A folder in the way: the picture cannot take its place.
    fs::create_directory(dir / "taken.png");
    EXPECT_NE(surface.WritePng((dir / "taken.png").string()), "");
    EXPECT_TRUE(fs::is_directory(dir / "taken.png"));
    EXPECT_EQ(Entries(), std::vector<fs::path>{"taken.png"});

    // An existing picture survives a failed write over it.
    { std::ofstream(dir / "old.png") << "old"; }
    ColumnSurface empty(0, 5);
    EXPECT_NE(empty.WritePng((dir / "old.png").string()), "");
    std::ifstream in(dir / "old.png");
    std::string content;
    in >> content;
    EXPECT_EQ(content, "old");
}

}  // namespace
}  // namespace vocalume
