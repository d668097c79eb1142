// Note names and cents of the pitch readout at frequencies worked out by
// hand: n = 69 + 12 log2(f / 440), the nearest note and 100 (n - note) cents.
#include <gtest/gtest.h>

#include <cmath>

#include "pitch_readout.h"

namespace vocalume {
namespace {

TEST(PitchReadoutTest, NearestNoteAndCentsAtHandWorkedFrequencies)
{
    struct Case {
        double hz;
        const char* name;
        int cents;
    };
    const Case cases[] = {
        {440.0, "A4", 0},
        {261.6256, "C4", 0},             // middle C
        {185.0, "F\xE2\x99\xAF" "3", 0},  // F#3 is 184.997 Hz: +0.03 ct
        {182.0, "F\xE2\x99\xAF" "3", -28},  // 1200 log2(182 / 184.997) = -28.3
        {50.0, "G1", 35},                // G1 is 48.999 Hz: 1200 log2(50 / 48.999) = +35.0
        {800.0, "G5", 35},               // G5 is 783.99 Hz
        {110.0 * std::pow(2.0, -0.004 / 12), "A2", 0},  // -0.4 ct rounds to 0, never "-0"
    };
    for (const Case& c : cases) {
        const NoteName note = NearestNote(c.hz);
        EXPECT_EQ(note.name, c.name) << c.hz;
        EXPECT_EQ(note.cents, c.cents) << c.hz;
    }
    // Half way between A4 and A#4 (452.893 Hz): below it A4 +50, above A#4 -50.
    const double half = 440.0 * std::pow(2.0, 0.5 / 12);
    EXPECT_EQ(NearestNote(half * (1 - 1e-9)).name, "A4");
    EXPECT_EQ(NearestNote(half * (1 - 1e-9)).cents, 50);
    EXPECT_EQ(NearestNote(half * (1 + 1e-9)).name, "A\xE2\x99\xAF" "4");
    EXPECT_EQ(NearestNote(half * (1 + 1e-9)).cents, -50);
}

TEST(PitchReadoutTest, TextsOfTheStatusBar)
{
    EXPECT_EQ(FormatPitch(440.0), "440 Hz \xC2\xB7 A4 +0 ct");
    EXPECT_EQ(FormatPitch(182.0), "182 Hz \xC2\xB7 F\xE2\x99\xAF" "3 \xE2\x88\x92" "28 ct");
    EXPECT_EQ(FormatPitchAt(50.0, 12.344), "50 Hz \xC2\xB7 G1 +35 ct at 12.34 s");
    EXPECT_EQ(FormatPitchAt(0.0, 0.5), "unvoiced at 0.50 s");
}

}  // namespace
}  // namespace vocalume
