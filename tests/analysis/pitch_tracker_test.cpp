// The pitch tracker against signals whose pitch is known at every sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pitch_tracker.h"
#include "signals.h"
#include "sung_voice.h"

namespace vocalume {
namespace {

using testing::kRate;

constexpr double kTwoPi = 6.283185307179586;

double FrameCentreSeconds(int64_t frame) { return (11.0 * frame + 196.0) / kRate; }

// A band-limited buzz (harmonics falling as 1/h up to `top`, 4 kHz unless
// told, each weighed by `gain` at its frequency where one is given) whose
// pitch follows `f0` (Hz at a time in seconds).
std::vector<int16_t> Buzz(const std::function<double(double)>& f0, double seconds, double amplitude,
                          const std::function<double(double)>& gain = {}, double top = 4000.0)
{
    const int count = static_cast<int>(seconds * kRate);
    std::vector<int16_t> out(static_cast<size_t>(count));
    double phase = 0.0;
    for (int i = 0; i < count; ++i) {
        const double f = f0(i / kRate);
        double v = 0.0;
        for (int h = 1; h * f < top; ++h)
            v += std::sin(h * phase) / h * (gain ? gain(h * f) : 1.0);
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
    double medianCents = 0.0;  // of frames voiced in both
};

constexpr PitchTracker::Reach kBothReaches[] = {PitchTracker::Reach::Live, PitchTracker::Reach::WholeSound};

const char* NameOf(PitchTracker::Reach reach)
{
    return reach == PitchTracker::Reach::Live ? "live" : "whole sound";
}

// Scores frames whose whole window lies in the sound against the known f0.
Score Compare(const std::vector<int16_t>& x, const std::function<double(double)>& f0,
              PitchTracker::Reach reach = PitchTracker::Reach::Live)
{
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const std::vector<PitchEstimate> track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
    int64_t voiced = 0, gross = 0, unvoiced = 0, scored = 0;
    std::vector<double> cents;
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
        cents.push_back(std::abs(1200.0 * std::log2(e.f0Hz / truth)));
    }
    std::nth_element(cents.begin(), cents.begin() + static_cast<std::ptrdiff_t>(cents.size() / 2), cents.end());
    return {voiced > 0 ? static_cast<double>(gross) / voiced : 1.0,
            static_cast<double>(unvoiced) / std::max<int64_t>(scored, 1),
            cents.empty() ? 1200.0 : cents[cents.size() / 2]};
}

TEST(PitchTracker, FollowsVoicesOfKnownPitch)
{
    struct Case {
        std::string name;
        std::function<double(double)> f0;
        std::vector<int16_t> sound;
    };
    const auto steady = [](double) { return 110.0; };
    const auto bass = [](double) { return 50.0; };
    const auto glide = [](double t) { return 80.0 * std::pow(600.0 / 80.0, t / 1.5); };
    const auto vibrato = [](double t) { return 330.0 * std::pow(2.0, 0.08 * std::sin(kTwoPi * 5.5 * t)); };
    const auto jittered = [](double) { return 150.0; };
    const auto tone = [](double) { return 440.0; };
    std::vector<int16_t> toneInNoise = testing::Tone(440.0, 11025, 8000.0);
    toneInNoise = WithNoise(toneInNoise, Rms(toneInNoise) / std::pow(10.0, 15.0 / 20.0), 7u);
    const std::vector<Case> cases = {
        {"steady 110 Hz", steady, testing::Vowel(110.0, 11025, 12000.0)},
        {"a bass at 50 Hz", bass, testing::Vowel(50.0, 11025, 12000.0)},
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

// Sung vowels with vibrato from A4 to C6 and a glissando over the whole of a
// soprano's upper range, as glottal pulses through formants with jitter,
// shimmer and breath, so that the pitch is known exactly: at most 1 % of the
// frames an octave or so off and a median error of at most 10 cents.
TEST(PitchTracker, FollowsSungNotesUpToC6)
{
    struct Case {
        std::string name;
        testing::SungVoice voice;
    };
    std::vector<Case> cases;
    const double notes[] = {440.0, 523.2511, 659.2551, 880.0, 1046.502};
    const char* names[] = {"A4", "C5", "E5", "A5", "C6"};
    // "ah", "oh" and "ee"; a soprano raises the first formant to the note
    // where it would lie below it.
    const double vowels[3][4] = {{800, 1150, 2900, 3900}, {450, 800, 2830, 3800}, {350, 2000, 2800, 3600}};
    for (int i = 0; i < 5; ++i) {
        const int v = i % 3;
        testing::SungVoice voice;
        voice.f0 = testing::WithVibrato(notes[i], 50.0, 5.5);
        voice.seconds = 1.5;
        voice.seed = static_cast<uint32_t>(10 + i);
        std::copy(vowels[v], vowels[v] + 4, voice.formants);
        voice.formants[0] = std::max(voice.formants[0], 1.1 * notes[i]);
        voice.formants[1] = std::max(voice.formants[1], voice.formants[0] + 400.0);
        cases.push_back({names[i], voice});
    }
    // C6 on "ee" too: its second formant on the second harmonic makes the
    // dips so narrow that twice the period, half way between two lags,
    // looks like no repeat.
    testing::SungVoice ee = cases[4].voice;
    std::copy(vowels[2], vowels[2] + 4, ee.formants);
    ee.formants[0] = 1.1 * notes[4];
    ee.seed = 24u;
    cases.push_back({"C6 on \"ee\"", ee});
    testing::SungVoice glissando;
    glissando.f0 = [](double t) { return 300.0 * std::pow(1100.0 / 300.0, std::clamp(t / 2.5, 0.0, 1.0)); };
    glissando.seconds = 2.5;
    cases.push_back({"glissando 300 to 1100 Hz", glissando});
    // The same on "ee" with its formants where speech has them: high up, the
    // fundamental is weak and the second and third harmonics carry the note,
    // and the period lies between lags while a multiple of it may not.
    ee.formants[0] = vowels[2][0];
    cases.push_back({"C6 on a spoken \"ee\"", ee});
    for (const Case& c : cases) {
        const std::vector<int16_t> sound = testing::Sing(c.voice);
        for (const PitchTracker::Reach reach : kBothReaches) {
            const Score s = Compare(sound, c.voice.f0, reach);
            EXPECT_LE(s.grossShare, 0.01) << c.name << ", " << NameOf(reach);
            EXPECT_LE(s.unvoicedShare, 0.01) << c.name << ", " << NameOf(reach);
            EXPECT_LE(s.medianCents, 10.0) << c.name << ", " << NameOf(reach);
        }
    }
    // A slow glissando on that "ee", as its harmonics alone: pulses made at
    // a finer rate than the recording's repeat better over two periods than
    // over one at the top of the range, where their corners fall between the
    // finer samples every other period.
    const auto spokenEe = [](double hz) {
        constexpr double kFormants[4][2] = {{300, 60}, {2300, 100}, {3000, 120}, {3700, 150}};
        double gain = 1.0;
        for (const auto& [formant, bandwidth] : kFormants)
            gain *= formant * formant / std::hypot(formant * formant - hz * hz, bandwidth * hz);
        return gain;
    };
    const auto slow = [](double t) { return 300.0 * std::pow(1100.0 / 300.0, std::clamp(t / 5.0, 0.0, 1.0)); };
    const std::vector<int16_t> slowEe = Buzz(slow, 5.0, 9000.0, spokenEe, 4950.0);
    for (const PitchTracker::Reach reach : kBothReaches) {
        const Score s = Compare(slowEe, slow, reach);
        EXPECT_LE(s.grossShare, 0.01) << "slow glissando on a spoken \"ee\", " << NameOf(reach);
        EXPECT_LE(s.medianCents, 10.0) << "slow glissando on a spoken \"ee\", " << NameOf(reach);
    }
}

// A tone that steps up an octave is followed within 30 ms: a period twice
// as long fits the new tone as well as its own, and must not hold the line
// an octave low.
TEST(PitchTracker, FollowsAnOctaveStepWithin30Ms)
{
    for (const double low : {110.0, 220.0, 440.0}) {
        std::vector<int16_t> x = testing::Tone(low, 11025, 16000.0);
        const std::vector<int16_t> high = testing::Tone(2.0 * low, 11025, 16000.0);
        x.insert(x.end(), high.begin(), high.end());
        const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
        for (const PitchTracker::Reach reach : kBothReaches) {
            const std::vector<PitchEstimate> track =
                TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
            for (int64_t k = 0; k < frames; ++k) {
                const double t = FrameCentreSeconds(k);
                const double truth = t < 1.0 ? low : 2.0 * low;
                if ((t > 0.05 && t < 0.97) || (t > 1.03 && t < 1.95)) {
                    ASSERT_TRUE(track[static_cast<size_t>(k)].voiced)
                        << low << " Hz, " << NameOf(reach) << ", frame at " << t << " s";
                    ASSERT_NEAR(track[static_cast<size_t>(k)].f0Hz, truth, 0.05 * truth)
                        << low << " Hz, " << NameOf(reach) << ", frame at " << t << " s";
                }
            }
        }
    }
}

// A voice as a telephone carries it (300 to 3400 Hz): the fundamental is
// gone, and on "ee" the second harmonic, next to the first formant, is
// nearly all that is left below 2 kHz. A whole sound is read at the voice's
// own period, not an octave above it (the live line reads half the frames
// of the "ee" at 150 Hz an octave up).
TEST(PitchTracker, AWholeSoundFollowsAVoiceThatLostItsFundamental)
{
    const double vowels[2][4] = {{350, 2000, 2800, 3600}, {800, 1150, 2900, 3900}};
    for (const double base : {110.0, 150.0}) {
        for (const auto& formants : vowels) {
            testing::SungVoice voice;
            // Speech's slow rise and fall, over a fifth.
            voice.f0 = [base](double t) { return base * std::pow(2.0, 0.3 * std::sin(kTwoPi * 0.4 * t)); };
            voice.seconds = 2.0;
            voice.jitter = 0.01;
            voice.seed = static_cast<uint32_t>(base) + static_cast<uint32_t>(formants[0]);
            std::copy(formants, formants + 4, voice.formants);
            const Score s =
                Compare(testing::TelephoneBand(testing::Sing(voice)), voice.f0, PitchTracker::Reach::WholeSound);
            EXPECT_LE(s.grossShare, 0.01) << base << " Hz, F1 " << formants[0];
            EXPECT_LE(s.unvoicedShare, 0.02) << base << " Hz, F1 " << formants[0];
            EXPECT_LE(s.medianCents, 10.0) << base << " Hz, F1 " << formants[0];
        }
    }
}

// Syllables through a telephone, their odd harmonics weak (0.175 of the
// even ones'), each swelling over 50 ms and fading over 120 ms: the longer
// the lag, the more a change of loudness adds to the difference, and whole
// syllables were read an octave up from their edges.
TEST(PitchTracker, AWholeSoundKeepsTheOctaveOfSyllablesThatSwellAndFade)
{
    constexpr int kSyllable = 2756;
    std::vector<int16_t> x(2205, 0);
    for (int s = 0; s < 6; ++s) {
        const double f0 = 180.0 * (1.0 + 0.03 * s);
        for (int i = 0; i < kSyllable; ++i) {
            const double t = i / kRate;
            double y = 0.0;
            for (int k = 2; k <= 12; ++k)
                y += (k % 2 == 1 ? 0.175 : 1.0) / k * std::sin(kTwoPi * k * f0 * t + 0.7 * k);
            const double swell = std::min({1.0, t / 0.05, (kSyllable / kRate - t) / 0.12});
            x.push_back(static_cast<int16_t>(std::lround(6000.0 * swell * y)));
        }
        x.insert(x.end(), 1102, 0);
    }
    x = testing::TelephoneBand(x);
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running,
                                  PitchTracker::Reach::WholeSound);
    int64_t voiced = 0, octaveUp = 0;
    for (const PitchEstimate& e : track) {
        voiced += e.voiced;
        octaveUp += e.voiced && e.f0Hz > 300.0f;  // the highest syllable is at 207 Hz
    }
    EXPECT_GT(voiced, frames / 2);
    EXPECT_EQ(octaveUp, 0);
}

// A whole sound's estimates do not depend on how the sound was divided up,
// and they come out as soon as the voice pauses and the 4 s after it are
// heard, never more than kLongestWait frames and those 4 s behind, so that
// a long file is read in bounded memory.
TEST(PitchTracker, AWholeSoundSettlesAtPausesWhateverThePieces)
{
    // Four seconds of speech-like sound, a pause, then a vowel held longer
    // than a whole sound may wait.
    std::vector<int16_t> x = testing::SpeechLike(4 * 11025, 21u);
    x.resize(x.size() + 11025 * 3 / 10, 0);
    const std::vector<int16_t> held = testing::Vowel(150.0, 6 * 11025, 12000.0, 0.01);
    x.insert(x.end(), held.begin(), held.end());
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const auto whole = PitchTracker::Reach::WholeSound;
    const std::vector<PitchEstimate> atOnce = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, whole);

    PitchTracker tracker(PitchTracker::Sums::Running, whole);
    std::vector<PitchEstimate> streamed;
    std::mt19937 rng(8u);
    size_t fed = 0;
    int64_t doneInThePause = 0;
    while (fed < x.size()) {
        const size_t n = std::min<size_t>(x.size() - fed, rng() % 3000);
        tracker.Push(x.data() + fed, n, streamed);
        fed += n;
        const int64_t cut = PitchFramesIn(static_cast<int64_t>(fed));
        const int64_t behind = PitchTracker::kLongestWait + PitchTracker::kLoudestAhead / PitchTracker::kHop;
        // (and up to 200 frames of a voiced stretch held until it is known to be voice)
        ASSERT_GE(tracker.FramesDone(), cut - behind - 250) << "after " << fed << " samples";
        if (doneInThePause == 0 && fed >= 11025u * 43u / 10u + PitchTracker::kLoudestAhead)
            doneInThePause = tracker.FramesDone();
    }
    // Everything before the pause was out once the 4 s after its end were.
    EXPECT_GE(doneInThePause, PitchFramesIn(4 * 11025));
    tracker.Finish(frames, streamed);
    ASSERT_EQ(streamed.size(), atOnce.size());
    for (size_t k = 0; k < atOnce.size(); ++k) {
        ASSERT_EQ(streamed[k].voiced, atOnce[k].voiced) << "frame " << k;
        ASSERT_EQ(streamed[k].f0Hz, atOnce[k].f0Hz) << "frame " << k;
    }
}

TEST(PitchTracker, BreathHissAndWhatThePictureShowsBlackAreUnvoiced)
{
    std::vector<int16_t> breath(11025, 0);
    breath = WithNoise(breath, 3000.0, 11u);
    // A hiss above 4 kHz, as of an "s", and a hum so quiet that the picture
    // shows it black, however periodic.
    std::vector<int16_t> hiss(11025, 0);
    std::mt19937 rng(13u);
    std::normal_distribution<double> n(0.0, 6000.0);
    double previous = 0.0;
    for (int16_t& s : hiss) {
        const double v = n(rng);
        s = static_cast<int16_t>(std::clamp(std::lround(0.5 * (v - previous)), -32768L, 32767L));
        previous = v;
    }
    const std::vector<int16_t> hum = testing::Vowel(150.0, 11025, 40.0);
    // The hum (the loudest sound so far, but the picture starts out with a
    // ceiling that shows it black), a vowel, whispered noise, a vowel, hiss
    // and the hum again: only the vowels are voiced.
    std::vector<int16_t> x = hum;
    const std::vector<int16_t> vowel = testing::Vowel(200.0, 11025, 12000.0);
    for (const std::vector<int16_t>* part : std::initializer_list<const std::vector<int16_t>*>{&vowel, &breath, &vowel, &hiss, &hum})
        x.insert(x.end(), part->begin(), part->end());
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    const std::vector<PitchEstimate> track = TrackPitch(x.data(), x.size(), frames);
    ASSERT_EQ(static_cast<int64_t>(track.size()), frames);
    int64_t wrong = 0;
    for (int64_t k = 0; k < frames; ++k) {
        const double t = FrameCentreSeconds(k);
        // Frames whose window straddles a boundary may go either way.
        if (std::abs(t - std::round(t)) < 0.04)
            continue;
        const bool inVowel = (t > 1.0 && t < 2.0) || (t > 3.0 && t < 4.0);
        const PitchEstimate& e = track[static_cast<size_t>(k)];
        wrong += e.voiced != inVowel;
        if (!e.voiced) {
            EXPECT_EQ(e.f0Hz, 0.0f);
        }
        // Never a spike to the top of the range in the hiss.
        if (t > 4.0 && t < 5.0) {
            EXPECT_FALSE(e.voiced) << "hiss at " << t << " s read as " << e.f0Hz << " Hz";
        }
        if (t < 1.0 || t > 5.0) {
            EXPECT_FALSE(e.voiced) << "a hum the picture shows black, at " << t << " s";
        }
    }
    EXPECT_LE(wrong, frames / 100);
}

// The hiss of an "sh" through a telephone, a band of noise around 2.9 kHz
// between a man's vowels, correlates with itself three of its cycles later
// about as well as a voice near 950 Hz does over one period. Neither reach
// reads it as his voice jumping nine times higher; his vowels, which keep
// only their harmonics from 300 Hz up, stay voiced.
TEST(PitchTracker, TheHissOfAFricativeThroughATelephoneIsNoVoice)
{
    // Through a telephone, two resonators at 2.9 kHz, each about 250 Hz
    // wide, between a man's vowels; recorded at 8 kHz, the band near 3.7 kHz
    // that an "s" leaves, which repeats over three of its cycles at a period
    // just short of the shortest lag, between a child's.
    for (const double centre : {2900.0, 3700.0}) {
        std::mt19937 rng(2u);
        std::normal_distribution<double> noise(0.0, 1.0);
        const double w = 2.0 * M_PI * centre / kRate, r = 0.93;
        std::array<double, 2> y1{}, y2{};
        std::vector<int16_t> hiss(static_cast<size_t>(0.15 * kRate));
        for (int16_t& s : hiss) {
            double v = noise(rng);
            for (size_t i = 0; i < y1.size(); ++i) {
                const double y = v + 2.0 * r * std::cos(w) * y1[i] - r * r * y2[i];
                y2[i] = y1[i];
                y1[i] = y;
                v = (1.0 - r) * y;
            }
            s = static_cast<int16_t>(std::lround(6000.0 * v));
        }
        const float voice = centre < 3400.0 ? 110.0f : 400.0f;
        const std::vector<int16_t> vowel = testing::Vowel(voice, static_cast<int>(0.3 * kRate), 12000.0);
        std::vector<int16_t> x;
        for (const std::vector<int16_t>* part : std::initializer_list<const std::vector<int16_t>*>{&vowel, &hiss, &vowel})
            x.insert(x.end(), part->begin(), part->end());
        if (centre < 3400.0)
            x = testing::TelephoneBand(x);
        const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
        for (PitchTracker::Reach reach : kBothReaches) {
            const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
            int64_t spikes = 0, vowelFrames = 0, vowelVoiced = 0;
            for (int64_t k = 0; k < frames; ++k) {
                const double t = FrameCentreSeconds(k);
                const PitchEstimate& e = track[static_cast<size_t>(k)];
                if (t > 0.3 && t < 0.45)
                    spikes += e.voiced && e.f0Hz > 2.0f * voice;
                else if ((t > 0.05 && t < 0.26) || (t > 0.49 && t < 0.7)) {
                    ++vowelFrames;
                    vowelVoiced += e.voiced;
                }
            }
            EXPECT_EQ(spikes, 0) << centre << " Hz, " << NameOf(reach);
            EXPECT_GT(vowelVoiced, vowelFrames * 9 / 10) << centre << " Hz, " << NameOf(reach);
        }
    }
}

// A voice going on softly after a loud vowel, little but its fundamental
// left, where the picture shows it dim (30 to 40 dB down), is still the voice
// in a whole sound; breath as loud is not, nor a mains hum after a loud
// whistle, as strong in its peaks but shown black. Live, only what the
// picture shows clearly is voiced.
TEST(PitchTracker, DimVoiceVoicedOnlyInAWholeSound)
{
    const std::vector<int16_t> dim = testing::Tone(180.0, 11025, 550.0);
    std::vector<int16_t> x = testing::Vowel(180.0, 11025, 12000.0);
    for (const std::vector<int16_t>& part : {dim, x, WithNoise(std::vector<int16_t>(11025, 0), Rms(dim), 5u),
                                             testing::Tone(1000.0, 11025, 12000.0), testing::Tone(50.0, 11025, 650.0)})
        x.insert(x.end(), part.begin(), part.end());
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    for (PitchTracker::Reach reach : kBothReaches) {
        const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
        int64_t dimVoiced = 0, wrong = 0;
        for (int64_t k = 0; k < frames; ++k) {
            const double t = FrameCentreSeconds(k);
            const PitchEstimate& e = track[static_cast<size_t>(k)];
            if (std::abs(t - std::round(t)) > 0.04 && static_cast<int>(t) == 1)
                dimVoiced += e.voiced && std::abs(e.f0Hz - 180.0f) < 9.0f;
            else if (std::abs(t - std::round(t)) > 0.04)
                wrong += e.voiced != (static_cast<int>(t) % 2 == 0);
        }
        EXPECT_LE(wrong, frames / 100) << NameOf(reach);
        EXPECT_TRUE(reach == PitchTracker::Reach::Live ? dimVoiced == 0 : dimVoiced > 860)
            << NameOf(reach) << ": " << dimVoiced << " dim frames voiced";
    }
}

// A whole sound is judged against its loudest moment for longer than the live
// line is, and before it comes: a vowel at a fortieth of the strength of one
// eight seconds before is voiced live, where the picture shows it plainly,
// but not in a whole sound, where it is an echo beside the voice; nor is
// one three seconds before a loud one, a murmur before the speech.
TEST(PitchTracker, AWholeSoundLeavesUnvoicedWhatIsFaintBesideItsLoudestMoment)
{
    const std::vector<int16_t> faint = testing::Vowel(180.0, 11025, 12000.0 / 40.0);
    std::vector<int16_t> x = faint;
    x.resize(3 * 11025, 0);
    const std::vector<int16_t> loud = testing::Vowel(180.0, 11025, 12000.0);
    x.insert(x.end(), loud.begin(), loud.end());
    x.resize(12 * 11025, 0);
    x.insert(x.end(), faint.begin(), faint.end());
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    for (PitchTracker::Reach reach : kBothReaches) {
        const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
        int64_t before = 0, after = 0;
        for (int64_t k = 0; k < frames; ++k) {
            const double t = FrameCentreSeconds(k);
            const bool voiced = track[static_cast<size_t>(k)].voiced;
            before += t > 0.04 && t < 0.96 && voiced;
            after += t > 12.04 && t < 12.96 && voiced;
        }
        if (reach == PitchTracker::Reach::Live) {
            EXPECT_GT(after, 900) << NameOf(reach);
        } else {
            EXPECT_EQ(before + after, 0) << NameOf(reach) << ": " << before << " faint frames voiced before, " << after
                                         << " after";
        }
    }
}

// After a second of a man's voice at 100 Hz, a tenth of a second read
// nearly three octaves above it, between pauses, is no voice of his: a
// whole sound leaves it unvoiced. A tenth of a second at 250 Hz, and a
// half-second note at 700 Hz, are his voice and stay voiced; after a voice
// at 60 Hz, so is a tenth of a second at 400 Hz, which anyone may speak.
// Live, all is followed as it comes.
TEST(PitchTracker, AWholeSoundLeavesABriefSqueakFarAboveTheVoiceUnvoiced)
{
    std::vector<int16_t> x(11025 / 4, 0);
    const auto add = [&x](double f0, double seconds) {
        const std::vector<int16_t> voice = testing::Vowel(f0, static_cast<int>(seconds * 11025), 12000.0);
        const double start = static_cast<double>(x.size()) / 11025;
        x.insert(x.end(), voice.begin(), voice.end());
        x.resize(x.size() + 11025 / 5, 0);
        return std::array<double, 2>{start, start + seconds};
    };
    add(100.0, 1.0);
    const auto squeak = add(700.0, 0.1);
    const auto near = add(250.0, 0.1);
    const auto note = add(700.0, 0.5);
    add(60.0, 1.0);
    const auto spoken = add(400.0, 0.1);
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    for (PitchTracker::Reach reach : kBothReaches) {
        const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
        const auto voiced = [&](const std::array<double, 2>& span) {
            int64_t count = 0;
            for (int64_t k = 0; k < frames; ++k) {
                const double t = FrameCentreSeconds(k);
                count += t > span[0] && t < span[1] && track[static_cast<size_t>(k)].voiced;
            }
            return count;
        };
        if (reach == PitchTracker::Reach::Live)
            EXPECT_GT(voiced(squeak), 60) << NameOf(reach);
        else
            EXPECT_EQ(voiced(squeak), 0) << NameOf(reach);
        EXPECT_GT(voiced(near), 60) << NameOf(reach);
        EXPECT_GT(voiced(note), 400) << NameOf(reach);
        EXPECT_GT(voiced(spoken), 60) << NameOf(reach);
    }
}

// A man at 110 Hz who drops to 52 Hz at a phrase's end is creaking: a whole
// sound leaves those frames unvoiced, while a bass who speaks at 52 Hz, with
// no higher voice heard before him, keeps them. Live, both are followed.
TEST(PitchTracker, AWholeSoundLeavesCreakFarBelowTheVoiceUnvoiced)
{
    const std::vector<int16_t> bass = testing::Vowel(52.0, 11025, 12000.0);
    const std::vector<int16_t> man = testing::Vowel(110.0, 11025, 12000.0);
    const std::vector<int16_t> creak = testing::Vowel(52.0, 11025 / 4, 12000.0);
    std::vector<int16_t> x(11025 / 4, 0);
    x.insert(x.end(), bass.begin(), bass.end());
    x.resize(x.size() + 11025 * 7 / 2, 0);  // longer than the voice is remembered
    const double creakStart = static_cast<double>(x.size() + man.size()) / 11025;
    x.insert(x.end(), man.begin(), man.end());
    x.insert(x.end(), creak.begin(), creak.end());
    x.resize(x.size() + 11025 / 4, 0);
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    for (PitchTracker::Reach reach : kBothReaches) {
        const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
        int64_t bassVoiced = 0, creakVoiced = 0, creakHeard = 0;
        for (int64_t k = 0; k < frames; ++k) {
            const double t = FrameCentreSeconds(k);
            const PitchEstimate& e = track[static_cast<size_t>(k)];
            const bool low = e.voiced && e.f0Hz > 47.0f && e.f0Hz < 57.0f;
            bassVoiced += t > 0.3 && t < 1.2 && low;
            const bool inCreak = t > creakStart + 0.05 && t < creakStart + 0.2;
            creakVoiced += inCreak && low;
            creakHeard += inCreak && e.voiced;
        }
        EXPECT_GT(bassVoiced, 800) << NameOf(reach);
        if (reach == PitchTracker::Reach::Live)
            EXPECT_GT(creakVoiced, 100) << NameOf(reach);
        else
            EXPECT_EQ(creakHeard, 0) << NameOf(reach);
    }
}

// Voice too short to weigh its octave on, a 20 ms blip, is left unvoiced in
// a whole sound where no voice was heard before it, or where it lies far
// from the voice heard; near that voice it is the voice, and kept, as a 60 ms
// syllable is. Live, every blip is followed.
TEST(PitchTracker, AWholeSoundVoicesBlipsOnlyNearTheVoiceHeard)
{
    std::vector<int16_t> x(11025 / 2, 0);
    std::vector<std::array<double, 2>> spans;
    for (const auto& [f0, length] : {std::pair{180.0, 220}, {180.0, 660}, {170.0, 11025}, {190.0, 220}, {400.0, 220}}) {
        const std::vector<int16_t> voice = testing::Vowel(f0, length, 12000.0);
        const double start = static_cast<double>(x.size()) / 11025;
        spans.push_back({start, start + length / 11025.0});
        x.insert(x.end(), voice.begin(), voice.end());
        x.resize(x.size() + 11025 / 2, 0);
    }
    const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
    for (PitchTracker::Reach reach : kBothReaches) {
        const auto track = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Running, reach);
        std::vector<int64_t> voiced(spans.size(), 0);
        for (int64_t k = 0; k < frames; ++k)
            for (size_t s = 0; s < spans.size(); ++s)
                voiced[s] += FrameCentreSeconds(k) > spans[s][0] - 0.02 &&
                             FrameCentreSeconds(k) < spans[s][1] + 0.02 && track[static_cast<size_t>(k)].voiced;
        const bool live = reach == PitchTracker::Reach::Live;
        EXPECT_TRUE(live ? voiced[0] > 10 : voiced[0] == 0) << NameOf(reach) << ": " << voiced[0];
        EXPECT_GT(voiced[1], 40) << NameOf(reach);
        EXPECT_GT(voiced[3], 10) << NameOf(reach);
        EXPECT_TRUE(live ? voiced[4] > 10 : voiced[4] == 0) << NameOf(reach) << ": " << voiced[4];
    }
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

// The sums kept up to date frame by frame, with vector instructions or in
// plain loops, give the very bits of sums formed afresh for every frame, on
// speech-like sound, a sung note and the full 16-bit range.
TEST(PitchTracker, RunningSumsGiveTheBitsOfSumsFormedAfresh)
{
    testing::SungVoice note;
    note.f0 = testing::WithVibrato(880.0, 50.0, 5.5);
    note.formants[0] = 970.0;
    note.formants[1] = 1370.0;
    for (const std::vector<int16_t>& x :
         {testing::SpeechLike(2 * 11025, 7u), testing::Sing(note), testing::RandomSamples(11025, 3u)}) {
        const int64_t frames = PitchFramesIn(static_cast<int64_t>(x.size()));
        const std::vector<PitchEstimate> afresh = TrackPitch(x.data(), x.size(), frames, PitchTracker::Sums::Afresh);
        for (const PitchTracker::Sums sums : {PitchTracker::Sums::Running, PitchTracker::Sums::RunningPortable}) {
            const std::vector<PitchEstimate> running = TrackPitch(x.data(), x.size(), frames, sums);
            ASSERT_EQ(running.size(), afresh.size());
            for (size_t k = 0; k < running.size(); ++k) {
                ASSERT_EQ(running[k].voiced, afresh[k].voiced) << "frame " << k;
                ASSERT_EQ(running[k].f0Hz, afresh[k].f0Hz) << "frame " << k;
            }
        }
    }
}

}  // namespace
}  // namespace vocalume
