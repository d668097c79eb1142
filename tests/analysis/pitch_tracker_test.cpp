// The pitch tracker against signals whose pitch is known at every sample.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pitch_tracker.h"
#include "signals.h"

namespace vocalume {
namespace {

using testing::kRate;

constexpr double kTwoPi = 6.283185307179586;

double FrameCentreSeconds(int64_t frame) { return (11.0 * frame + 196.0) / kRate; }

// A band-limited buzz (harmonics falling as 1/h up to 4 kHz) whose pitch
// follows `f0` (Hz at a time in seconds).
std::vector<int16_t> Buzz(const std::function<double(double)>& f0, double seconds, double amplitude)
{
    const int count = static_cast<int>(seconds * kRate);
    std::vector<int16_t> out(static_cast<size_t>(count));
    double phase = 0.0;
    for (int i = 0; i < count; ++i) {
        const double f = f0(i / kRate);
        double v = 0.0;
        for (int h = 1; h * f < 4000.0; ++h)
            v += std::sin(h * phase) / h;
        out[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(amplitude * 0.5 * v));
        phase = std::fmod(phase + kTwoPi * f / kRate, kTwoPi * 1000.0);
    }
    return out;
}

std::vector<int16_t> WithNoise(std::vector<int16_t> x, double noiseRms, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, noiseRms);
    for (int16_t& s : x)
        s = static_cast<int16_t>(std::clamp(std::lround(s + n(rng)), -32768L, 32767L));
    return x;
}

double Rms(const std::vector<int16_t>& x)
{
    double sum = 0.0;
    for (int16_t s : x)
        sum += static_cast<double>(s) * s;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

struct Score {
    double grossShare = 0.0;  // of frames voiced in both, more than 20 % off
    double unvoicedShare = 0.0;
};

// Scores frames whose whole window lies in the sound against the known f0.
Score Compare(const std::vector<int16_t>& x, const std::function<double(double)>& f0)
{
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const std::vector<PitchEstimate> track = TrackPitch(x.data(), x.size(), frames);
    int64_t voiced = 0, gross = 0, unvoiced = 0, scored = 0;
    for (int64_t k = 20; k + 20 < frames; ++k) {
        ++scored;
        const PitchEstimate& e = track[static_cast<size_t>(k)];
        if (!e.voiced) {
            ++unvoiced;
            continue;
        }
        const double truth = f0(FrameCentreSeconds(k));
        ++voiced;
        if (std::abs(e.f0Hz - truth) > 0.2 * truth)
            ++gross;
    }
    return {voiced > 0 ? static_cast<double>(gross) / voiced : 1.0,
            static_cast<double>(unvoiced) / std::max<int64_t>(scored, 1)};
}

TEST(PitchTracker, FollowsVoicesOfKnownPitch)
{
    struct Case {
        std::string name;
        std::function<double(double)> f0;
        std::vector<int16_t> sound;
    };
    const auto steady = [](double) { return 110.0; };
    const auto glide = [](double t) { return 80.0 * std::pow(600.0 / 80.0, t / 1.5); };
    const auto vibrato = [](double t) { return 330.0 * std::pow(2.0, 0.08 * std::sin(kTwoPi * 5.5 * t)); };
    const auto jittered = [](double) { return 150.0; };
    const auto tone = [](double) { return 440.0; };
    std::vector<int16_t> toneInNoise = testing::Tone(440.0, 11025, 8000.0);
    toneInNoise = WithNoise(toneInNoise, Rms(toneInNoise) / std::pow(10.0, 15.0 / 20.0), 7u);
    const std::vector<Case> cases = {
        {"steady 110 Hz", steady, testing::Vowel(110.0, 11025, 12000.0)},
        {"glide 80 to 600 Hz", glide, Buzz(glide, 1.5, 9000.0)},
        {"vibrato", vibrato, Buzz(vibrato, 1.0, 9000.0)},
        {"jitter", jittered, testing::Vowel(150.0, 11025, 12000.0, 0.02)},
        {"tone at 15 dB over noise", tone, toneInNoise},
    };
    for (const Case& c : cases) {
        const Score s = Compare(c.sound, c.f0);
        EXPECT_LE(s.grossShare, 0.02) << c.name;
        EXPECT_LE(s.unvoicedShare, 0.05) << c.name;
    }
}

TEST(PitchTracker, SilenceAndBreathAreUnvoiced)
{
    const std::vector<int16_t> silence(11025, 0);
    std::vector<int16_t> breath(11025, 0);
    breath = WithNoise(breath, 3000.0, 11u);
    // Silence, then a vowel, then whispered noise: only the vowel is voiced.
    std::vector<int16_t> x = silence;
    const std::vector<int16_t> vowel = testing::Vowel(200.0, 11025, 12000.0);
    x.insert(x.end(), vowel.begin(), vowel.end());
    x.insert(x.end(), breath.begin(), breath.end());
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const std::vector<PitchEstimate> track = TrackPitch(x.data(), x.size(), frames);
    ASSERT_EQ(static_cast<int64_t>(track.size()), frames);
    int64_t wrong = 0;
    for (int64_t k = 0; k < frames; ++k) {
        const double t = FrameCentreSeconds(k);
        // Frames whose window straddles a boundary may go either way.
        if (std::abs(t - 1.0) < 0.04 || std::abs(t - 2.0) < 0.04)
            continue;
        const bool inVowel = t > 1.0 && t < 2.0;
        const PitchEstimate& e = track[static_cast<size_t>(k)];
        wrong += e.voiced != inVowel;
        if (!e.voiced) {
            EXPECT_EQ(e.f0Hz, 0.0f);
        }
    }
    EXPECT_LE(wrong, frames / 100);
}

// Fed in uneven pieces, the tracker gives what it gives over the whole sound,
// and every frame's estimate is out once the sound reaches 50 ms past its
// centre.
TEST(PitchTracker, StreamsWithBoundedLookAhead)
{
    const std::vector<int16_t> x = testing::SpeechLike(3 * 11025, 99u);
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const std::vector<PitchEstimate> whole = TrackPitch(x.data(), x.size(), frames);

    PitchTracker tracker;
    std::vector<PitchEstimate> streamed;
    std::mt19937 rng(5u);
    size_t fed = 0;
    while (fed < x.size()) {
        const size_t n = std::min<size_t>(x.size() - fed, rng() % 300);
        tracker.Push(x.data() + fed, n, streamed);
        fed += n;
        const int64_t due = static_cast<int64_t>(fed) - static_cast<int64_t>(0.05 * kRate) - 196;
        ASSERT_GE(tracker.FramesDone(), due < 0 ? 0 : due / 11 + 1) << "after " << fed << " samples";
        ASSERT_EQ(static_cast<int64_t>(streamed.size()), tracker.FramesDone());
    }
    tracker.Finish(frames, streamed);
    ASSERT_EQ(streamed.size(), whole.size());
    for (size_t k = 0; k < whole.size(); ++k) {
        ASSERT_EQ(streamed[k].voiced, whole[k].voiced) << "frame " << k;
        ASSERT_EQ(streamed[k].f0Hz, whole[k].f0Hz) << "frame " << k;
    }
}

}  // namespace
}  // namespace vocalume
