#include "column_colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace vocalume {
namespace {

// At 11025 samples per second with 256 bins: q = 64 and the 100 Hz cut is bin 4.
constexpr int32_t kRate = 11025;

// A record as a reset leaves it (ceilings 80 dB and 60 dB, all levels 0 dB),
// with 256 bins.
std::unique_ptr<FrameRecord> QuietRecord()
{
    auto r = std::make_unique<FrameRecord>();
    r->nbins = 256;
    r->specCeiling = 80.0f;
    r->energyCeiling = 60.0f;
    r->energy = 60.0f;
    r->analysed.store(1);
    return r;
}

// Puts every bin from `first` to `last` at the spectrum ceiling (level 1).
void Light(FrameRecord& r, int32_t first, int32_t last, float* levels = nullptr)
{
    float* x = levels != nullptr ? levels : r.spectrum;
    for (int32_t k = first; k <= last; ++k)
        x[k] = r.specCeiling;
}

class ColourTest : public ::testing::Test {
protected:
    void SetUp() override { BuildColourBands(bands, 256, kRate); }
    ColourBands bands;
};

TEST_F(ColourTest, ResetStateRecordIsBlack)
{
    auto ring = std::make_unique<FrameRing>();
    int64_t counter = 0;
    ring->Reset(counter, 256);
    BuildColourBands(bands, (*ring)[ring->WritePosition()].nbins, kRate);
    for (int32_t slot : {0, 1234, 4999}) {
        const ColumnRgb c = ColumnColour(bands, (*ring)[slot], 40);
        EXPECT_EQ(c.red, 0.0);
        EXPECT_EQ(c.green, 0.0);
        EXPECT_EQ(c.blue, 0.0);
    }
}

TEST_F(ColourTest, BrightnessIsSquareOfEnergyBelowCeiling)
{
    auto r = QuietRecord();
    Light(*r, 129, 192);
    // energy relative to the 60 dB ceiling -> dominant channel 255 e^2
    const struct {
        float energy;
        double blue;
    } cases[] = {{60.0f, 255.0}, {40.0f, 63.75}, {20.0f, 0.0}, {5.0f, 0.0}, {80.0f, 573.75}};
    for (const auto& c : cases) {
        r->energy = c.energy;
        const ColumnRgb rgb = ColumnColour(bands, *r, 40);
        EXPECT_DOUBLE_EQ(rgb.blue, c.blue) << "energy " << c.energy;
        EXPECT_EQ(rgb.red, 0.0);
        EXPECT_EQ(rgb.green, 0.0);
    }
}

TEST_F(ColourTest, BandEdgesForTwoHundredFiftySixBins)
{
    // One lit bin at a time; expected hue by band: below the cut nothing,
    // red up to q, green's rising ramp up to 2q, blue's up to 3q, then nothing.
    const struct {
        int32_t bin;
        double red, green, blue;
    } cases[] = {
        {0, 0, 0, 0},   {3, 0, 0, 0},     {4, 255, 0, 0},   {64, 255, 0, 0}, {128, 0, 255, 0},
        {129, 0, 0, 255}, {192, 0, 0, 255}, {193, 0, 0, 0}, {255, 0, 0, 0},
    };
    for (const auto& c : cases) {
        auto r = QuietRecord();
        Light(*r, c.bin, c.bin);
        const ColumnRgb rgb = ColumnColour(bands, *r, 40);
        EXPECT_DOUBLE_EQ(rgb.red, c.red) << "bin " << c.bin;
        EXPECT_DOUBLE_EQ(rgb.green, c.green) << "bin " << c.bin;
        EXPECT_DOUBLE_EQ(rgb.blue, c.blue) << "bin " << c.bin;
    }
}

TEST_F(ColourTest, BandHuesOverWholeStretches)
{
    auto blue = QuietRecord();
    Light(*blue, 129, 192);
    ColumnRgb rgb = ColumnColour(bands, *blue, 40);
    EXPECT_EQ(rgb.red, 0.0);
    EXPECT_EQ(rgb.green, 0.0);
    EXPECT_DOUBLE_EQ(rgb.blue, 255.0);

    auto top = QuietRecord();
    Light(*top, 193, 255);
    Light(*top, 0, 3);
    rgb = ColumnColour(bands, *top, 40);
    EXPECT_EQ(rgb.red + rgb.green + rgb.blue, 0.0);

    // Bins 65..128 hold all of green but also the falling half of red:
    // red weights there are (128 - i)/64 for 128 - i >= 4, i.e. j = 4..63,
    // out of a red total of (4 + ... + 64) + (4 + ... + 63) = 2074 + 2010.
    auto green = QuietRecord();
    Light(*green, 65, 128);
    rgb = ColumnColour(bands, *green, 40);
    EXPECT_DOUBLE_EQ(rgb.green, 255.0);
    EXPECT_NEAR(rgb.red, 255.0 * 2010.0 / 4084.0, 1e-9);
    EXPECT_EQ(rgb.blue, 0.0);
}

TEST_F(ColourTest, LevelsAtTheFloorWeighNothingAndSmoothedSpectrumWins)
{
    auto r = QuietRecord();
    for (float& x : r->spectrum)
        x = 40.0f;  // exactly 40 dB below the ceiling
    ColumnRgb rgb = ColumnColour(bands, *r, 40);
    EXPECT_EQ(rgb.red + rgb.green + rgb.blue, 0.0);

    auto s = QuietRecord();
    Light(*s, 10, 20);                      // red in the spectrum
    Light(*s, 150, 160, s->smoothSpectrum);  // blue in the smoothed one
    s->smoothed.store(1);
    rgb = ColumnColour(bands, *s, 40);
    EXPECT_EQ(rgb.red, 0.0);
    EXPECT_DOUBLE_EQ(rgb.blue, 255.0);
}

TEST_F(ColourTest, EntriesBeyondTheLayoutWeighNothing)
{
    // The table is reused from paint to paint: a 512-bin layout followed by a
    // 256-bin one must leave nothing behind from bin 256 on.
    BuildColourBands(bands, 512, kRate);
    BuildColourBands(bands, 256, kRate);
    for (int32_t k = 256; k < ColourBands::kEntries; ++k) {
        const BandWeight& w = bands.entry[k];
        ASSERT_EQ(w.red + w.green + w.blue, 0.0) << "entry " << k;
    }
    auto r = QuietRecord();
    r->nbins = 512;
    Light(*r, 256, 511);
    const ColumnRgb rgb = ColumnColour(bands, *r, 40);
    EXPECT_EQ(rgb.red + rgb.green + rgb.blue, 0.0);
}

TEST_F(ColourTest, DegenerateLayoutsHoldNoNaN)
{
    // 2 bins (q = 0) and 400 samples per second (the 100 Hz cut reaches 2q,
    // so red has no weight at all).
    for (const auto& [bins, rate] : {std::pair{2, kRate}, std::pair{256, 400}, std::pair{256, 0}}) {
        BuildColourBands(bands, bins, rate);
        for (const BandWeight& w : bands.entry)
            ASSERT_FALSE(std::isnan(w.red) || std::isnan(w.green) || std::isnan(w.blue)) << bins << " " << rate;
    }
}

TEST(Max3, LaterArgumentWinsTiesAndNaNComparesFalse)
{
    // Signed zeros compare equal but tell which argument came back.
    EXPECT_TRUE(std::signbit(Max3(0.0, -0.0, -1.0)));
    EXPECT_FALSE(std::signbit(Max3(-0.0, 0.0, -1.0)));
    EXPECT_TRUE(std::signbit(Max3(0.0, 0.0, -0.0)));
    EXPECT_EQ(Max3(3.0, 2.0, 1.0), 3.0);
    EXPECT_EQ(Max3(1.0, 3.0, 2.0), 3.0);
    EXPECT_EQ(Max3(std::nan(""), 1.0, 2.0), 2.0);
    EXPECT_EQ(Max3(1.0, std::nan(""), 0.0), 0.0);
}

}  // namespace
}  // namespace vocalume
