// The pitch line over a grey picture, at rows worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "pitch_line.h"

namespace vocalume {
namespace {

TEST(PitchLine, DrawsVoicedColumnsAtTheirPitchWithEdgeGuidesAndLabels)
{
    // 91 rows, twenty to an octave: 50 Hz at row 90, 1131 Hz (four and a
    // half octaves up) at row 0, and 200 Hz, two octaves up, at row 50.
    constexpr int32_t kWidth = 60, kHeight = 91;
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth * kHeight * 3), 100);
    PixelImage image{rgb.data(), kWidth, kHeight, static_cast<size_t>(kWidth) * 3};
    std::vector<PitchEstimate> columns(kWidth);
    for (int32_t x = 0; x < 30; ++x)
        columns[static_cast<size_t>(x)] = {200.0f, true};
    columns[40] = {0.0f, false};
    DrawPitchLine(image, columns.data());

    const auto at = [&](int32_t x, int32_t y) {
        const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * kWidth + x) * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    const Rgb white{255, 255, 255}, black{0, 0, 0}, grey{100, 100, 100};
    EXPECT_EQ(at(10, 50), white);
    EXPECT_EQ(at(10, 51), white);
    EXPECT_EQ(at(10, 49), black);  // the dark edge
    EXPECT_EQ(at(10, 52), black);
    EXPECT_EQ(at(30, 50), black);  // edge beside the last voiced column
    EXPECT_EQ(at(31, 50), grey);
    EXPECT_EQ(at(40, 50), grey);  // unvoiced: nothing
    // C3 (130.81 Hz) lies 1.3875 octaves up: row 62.25, a faint guide on 62.
    const Rgb guide = at(40, 62);
    EXPECT_GT(guide.red, 110);
    EXPECT_LT(guide.red, 160);
    EXPECT_EQ(at(40, 61), grey);
    // Its label sits above the guide at the right edge.
    int lit = 0;
    for (int32_t y = 55; y < 62; ++y)
        for (int32_t x = kWidth - 10; x < kWidth; ++x)
            lit += at(x, y) == white;
    EXPECT_GT(lit, 8);
    // An octave's step between neighbours (the tracker settling on another
    // octave) is no stroke across the picture; a glide stays joined.
    std::fill(rgb.begin(), rgb.end(), 100);
    for (int32_t x = 20; x < 30; ++x)
        columns[static_cast<size_t>(x)] = {400.0f, true};  // row 30
    for (int32_t x = 30; x < 40; ++x)
        columns[static_cast<size_t>(x)] = {400.0f * (1.0f + 0.02f * static_cast<float>(x - 29)), true};
    DrawPitchLine(image, columns.data());
    EXPECT_EQ(at(20, 30), white);
    EXPECT_NE(at(20, 40), white);
    EXPECT_EQ(at(32, 30), white);  // 416 -> 424 Hz: row 29 to 28, joined
    EXPECT_EQ(PitchLineRow(1100.0, kHeight), 1);
    EXPECT_EQ(PitchLineRow(1131.4, kHeight), 0);
    EXPECT_EQ(PitchLineRow(2000.0, kHeight), 0);
    EXPECT_EQ(PitchLineRow(30.0, kHeight), kHeight - 1);
}

}  // namespace
}  // namespace vocalume
