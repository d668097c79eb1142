// The frame analyser on frames with known answers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "analysis_worker.h"
#include "frame_analyser.h"
#include "signals.h"

namespace vocalume {
namespace {

class Analyser : public ::testing::Test {
protected:
    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    std::unique_ptr<AnalyserState> state = std::make_unique<AnalyserState>();
    int64_t counter = 0;

    void SetUp() override { core->ring.Reset(counter, 256); }

    void Publish(int32_t slot, const std::vector<int16_t>& x)
    {
        FrameRecord& r = core->ring[slot];
        std::copy(x.begin(), x.end(), r.samples);
        r.nsamples = static_cast<int32_t>(x.size());
        r.nspan = 11;
        r.analysed = 0;
        r.smoothed = 0;
        r.fresh = 1;
    }

    FrameRecord& Analyse(int32_t slot, const std::vector<int16_t>& x, int32_t ratio = 1)
    {
        Publish(slot, x);
        AnalyseFrame(core->ring, core->trackers, *state, ratio, slot);
        return core->ring[slot];
    }
};

TEST_F(Analyser, SilenceReadsAsTheFloorEverywhere)
{
    const FrameRecord& r = Analyse(10, std::vector<int16_t>(392, 0));
    EXPECT_EQ(r.energy, -100.0f);
    EXPECT_EQ(r.specMax, -100.0f);
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(r.spectrum[k], -100.0f) << k;
    EXPECT_EQ(r.nbins, 256);
    EXPECT_EQ(r.acLag, 0);
    EXPECT_EQ(r.acPeak, -1.0f);
    EXPECT_EQ(r.minSample, 0);
    EXPECT_EQ(r.maxSample, 0);
    EXPECT_EQ(core->trackers.energyFloor, -100.0f);
    EXPECT_EQ(r.fresh, 0);
    EXPECT_EQ(r.analysed, 1);
    EXPECT_EQ(r.drawn, 0);
    EXPECT_EQ(r.smoothed, 0);
    EXPECT_EQ(r.analysing, 0);
}

TEST_F(Analyser, VoicedVowelPitchFoundByBothEstimators)
{
    // The autocorrelation normalises each lag over its own overlap and has no
    // preference for short lags, so a whole multiple of the period can win
    // when it lies in the search range (the painter's octave rule exists for
    // that). Where the double period is out of range it must find the period.
    // The cepsPeak must find the period itself.
    for (double f0 : {80.0, 85.0, 100.0, 120.0, 150.0, 200.0, 250.0, 300.0, 400.0}) {
        const double period = 11025.0 / f0;
        const FrameRecord& r = Analyse(100, testing::Vowel(f0, 392, 16000, 0.002));
        EXPECT_NEAR(r.cepsPeak, period, 1.0) << "f0 " << f0;
        EXPECT_GT(r.cepsRatio, 1.0f) << "f0 " << f0;
        EXPECT_GT(r.acPeak, 0.8f) << "f0 " << f0;
        if (2.0 * period > kLagMax) {
            EXPECT_NEAR(r.acLag, period, 1.0) << "f0 " << f0;
        } else {
            const double multiple = std::round(r.acLag / period);
            EXPECT_GE(multiple, 1.0) << "f0 " << f0;
            EXPECT_NEAR(r.acLag, multiple * period, 1.0) << "f0 " << f0;
        }
    }
}

TEST_F(Analyser, ToneLightsItsOwnBin)
{
    for (int bin : {20, 50, 120, 200}) {
        const double hz = bin * 11025.0 / 512.0;
        const FrameRecord& r = Analyse(5, testing::Tone(hz, 392, 10000));
        int peak = 0;
        for (int k = 1; k < 256; ++k)
            if (r.spectrum[k] > r.spectrum[peak])
                peak = k;
        EXPECT_EQ(peak, bin);
        EXPECT_EQ(r.specMax, r.spectrum[peak]);
    }
}

TEST_F(Analyser, WaveformExtremesComeFromTheCentredSpan)
{
    std::vector<int16_t> x(392, 0);
    x[190] = 30000;   // just outside the span
    x[202] = -30000;  // just outside the span
    x[191] = -1234;
    x[201] = 4321;
    const FrameRecord& r = Analyse(7, x);
    EXPECT_EQ(r.minSample, -1234);
    EXPECT_EQ(r.maxSample, 4321);
}

TEST_F(Analyser, TrackersFallRiseAndJump)
{
    auto& t = core->trackers;
    // A loud frame lifts the peak at once to its energy.
    const FrameRecord& loud = Analyse(1, testing::Vowel(150, 392, 30000));
    const float loudEnergy = loud.energy;
    ASSERT_GT(loudEnergy, 60.0f);
    EXPECT_FLOAT_EQ(t.energyPeak, loudEnergy);
    EXPECT_FLOAT_EQ(loud.energyCeiling, loudEnergy);

    // 1000 quieter frames let it fall by 0.001 dB each, in single precision.
    t.energyPeak = 70.0f;
    for (int i = 0; i < 1000; ++i)
        Analyse(2, testing::Vowel(150, 392, 300));
    EXPECT_NEAR(t.energyPeak, 69.0005, 2e-4);
    EXPECT_NE(t.energyPeak, 69.0f);

    // The floor rises by 0.005 dB per frame; the ceiling is never below
    // floor + 20, equality included.
    t.energyPeak = 30.0f;
    t.energyFloor = 10.0f;
    const FrameRecord& mid = Analyse(3, testing::Tone(300, 392, 100));
    ASSERT_GT(mid.energy, 10.0f);
    ASSERT_LT(mid.energy, 29.9f);
    EXPECT_FLOAT_EQ(t.energyFloor, 10.005f);
    EXPECT_FLOAT_EQ(t.energyPeak, 29.999f);
    EXPECT_FLOAT_EQ(mid.energyCeiling, 30.005f);
}

TEST_F(Analyser, CopiedFramesLeaveTheTrackersAlone)
{
    Analyse(11, testing::Vowel(200, 392, 20000));
    const LevelTrackers before = core->trackers;
    const FrameRecord& copy = Analyse(10, testing::Vowel(120, 392, 500), 3);
    const FrameRecord& newer = core->ring[11];
    EXPECT_EQ(copy.energy, newer.energy);
    EXPECT_EQ(copy.cepsPeak, newer.cepsPeak);
    EXPECT_EQ(0, std::memcmp(copy.spectrum, newer.spectrum, sizeof(float) * 256));
    EXPECT_EQ(core->trackers.energyPeak, before.energyPeak);
    EXPECT_EQ(core->trackers.specFloor, before.specFloor);
    // Extremes always describe the record's own samples.
    EXPECT_LT(copy.maxSample, 600);
}

TEST_F(Analyser, UndersampledBacklogIsWorkedOffNewestFirst)
{
    // Slots 0..20 fresh, write position 21, ratio 3. Each frame differs, so a
    // copy shows as the newer neighbour's energy.
    for (int32_t s = 0; s <= 20; ++s)
        Publish(s, testing::Vowel(100 + 7 * s, 392, 1000 + 900 * s));
    core->ring[21].analysed = 0;
    core->ring.SetWritePosition(21);
    core->undersampling = 3;
    core->ScanUntilIdle(*state);

    std::string pattern;
    for (int32_t s = 20; s >= 0; --s) {
        ASSERT_EQ(core->ring[s].analysed, 1);
        const bool copied = s < 20 && core->ring[s].energy == core->ring[s + 1].energy;
        pattern += copied ? 'c' : 'F';
    }
    // 20 F, 19 c, 18 F, 17 c, 16 c, 15 F, ... : every slot divisible by 3 in
    // full, the newest always in full.
    EXPECT_EQ(pattern, "FcFccFccFccFccFccFccF");
}

TEST_F(Analyser, LastTwoSlotsAreAlwaysAnalysedInFull)
{
    for (int32_t s = 4990; s < 5000; ++s)
        Publish(s, testing::Vowel(100 + 9 * (s - 4990), 392, 2000 + 1000 * (s - 4990)));
    core->ring[0].analysed = 0;
    core->ring.SetWritePosition(0);
    core->undersampling = 5;
    core->ScanUntilIdle(*state);
    // 4998 is not a multiple of 5 and its newer neighbour is analysed, yet it
    // is analysed in full; 4997 and 4996 copy, 4995 is a multiple of 5.
    EXPECT_NE(core->ring[4998].energy, core->ring[4999].energy);
    EXPECT_EQ(core->ring[4997].energy, core->ring[4998].energy);
    EXPECT_EQ(core->ring[4996].energy, core->ring[4997].energy);
    EXPECT_NE(core->ring[4995].energy, core->ring[4996].energy);
}

// Measures taken ahead, on another state, give the very record and trackers
// of an analysis on the spot, and only measures of the record's own samples
// are taken: those of other samples are measured again.
TEST_F(Analyser, MeasuresOfTheSameSamplesGiveTheSameRecord)
{
    const std::vector<int16_t> vowel = testing::Vowel(150, 392, 12000);
    const std::vector<int16_t> other = testing::Vowel(230, 392, 3000);
    auto measures = std::make_unique<FrameMeasures>();
    auto elsewhere = std::make_unique<AnalyserState>();
    auto fresh = std::make_unique<AnalysisCore>();
    fresh->ring.Reset(counter, 256);

    for (const std::vector<int16_t>* measured : {&vowel, &other}) {
        std::copy(measured->begin(), measured->end(), measures->record.samples);
        measures->record.nsamples = 392;
        MeasureFrame(*measures, *elsewhere);
        Publish(40, vowel);
        AnalyseFrame(core->ring, core->trackers, *state, 1, 40, measures.get());

        FrameRecord& r = fresh->ring[40];
        std::copy(vowel.begin(), vowel.end(), r.samples);
        r.nsamples = 392;
        r.nspan = 11;
        r.fresh = 1;
        AnalyseFrame(fresh->ring, fresh->trackers, *state, 1, 40);

        const FrameRecord& a = core->ring[40];
        EXPECT_EQ(std::memcmp(a.spectrum, r.spectrum, sizeof(float) * 256), 0);
        for (const auto& [x, y] : {std::pair{a.energy, r.energy}, {a.specMax, r.specMax},
                                   {a.energyCeiling, r.energyCeiling}, {a.specCeiling, r.specCeiling},
                                   {a.cepsRatio, r.cepsRatio}, {a.acPeak, r.acPeak}})
            EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0);
        EXPECT_EQ(a.cepsPeak, r.cepsPeak);
        EXPECT_EQ(a.acLag, r.acLag);
        EXPECT_EQ(std::memcmp(&core->trackers, &fresh->trackers, sizeof(LevelTrackers)), 0);
    }
}

TEST_F(Analyser, WindowLengthsChooseTheFftSize)
{
    EXPECT_EQ(FftSizeFor(256), 256);
    EXPECT_EQ(FftSizeFor(257), 512);
    EXPECT_EQ(FftSizeFor(512), 512);
    EXPECT_EQ(FftSizeFor(513), 1024);
    // A short window still analyses without touching bins that do not exist.
    const FrameRecord& r = Analyse(3, testing::Vowel(150, 200, 8000));
    EXPECT_EQ(r.nbins, 128);
    EXPECT_GE(r.cepsPeak, 22);
    EXPECT_LE(r.cepsPeak, 127);
    const FrameRecord& wide = Analyse(4, testing::Vowel(150, 800, 8000, 0.01));
    EXPECT_EQ(wide.nbins, 512);
    EXPECT_NEAR(wide.acLag, 11025.0 / 150, 1);
}

}  // namespace
}  // namespace vocalume
