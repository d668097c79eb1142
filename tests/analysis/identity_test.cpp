// The program's analysis must equal the plain transcription bit for bit: the
// full analysis of a frame with its trackers, over many frames of every kind
// of material, and every kernel, under every build this program has and the
// processor offers (the portable one and, on x86-64, SSE2 and AVX2).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "analysis_worker.h"
#include "frame_analyser.h"
#include "frame_ring.h"
#include "reference_analysis.h"
#include "signals.h"
#include "simd_kernels.h"
#include "signal_kernels.h"

namespace vocalume {
namespace {

using testing::RandomSamples;
using testing::SpeechLike;
using testing::Tone;
using testing::Vowel;

uint32_t Bits(float v)
{
    uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return u;
}

// Same bits, or both not a number.
bool Same(float a, float b)
{
    return Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b));
}

bool SameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// Index of the first value that differs, or -1.
int FirstDifference(const float* a, const float* b, int n)
{
    for (int i = 0; i < n; ++i)
        if (!Same(a[i], b[i]))
            return i;
    return -1;
}

std::vector<simd::Level> Levels()
{
    std::vector<simd::Level> levels;
    for (simd::Level level : {simd::Level::kPortable, simd::Level::kSse2, simd::Level::kAvx2})
        if (level <= simd::BestLevel())
            levels.push_back(level);
    return levels;
}

const char* Name(simd::Level level)
{
    return level == simd::Level::kAvx2 ? "AVX2" : (level == simd::Level::kSse2 ? "SSE2" : "portable");
}

// Runs body once under every build, restoring the best one after.
void ForEachLevel(const std::function<void(simd::Level)>& body)
{
    for (simd::Level level : Levels()) {
        SCOPED_TRACE(Name(level));
        simd::UseLevel(level);
        body(level);
    }
    simd::UseLevel(simd::BestLevel());
}

// A transform under the portable build, the given build restored after: the
// plain kernels, which the direct-DFT tests pin down, are what every vector
// build must equal.
void PortableTransform(void (*transform)(float*, int32_t, int32_t), std::vector<float>& data, int32_t n,
                       int32_t direction, simd::Level restore)
{
    simd::UseLevel(simd::Level::kPortable);
    transform(data.data(), n, direction);
    simd::UseLevel(restore);
}

// Random single-precision values over many binary orders, with zeros.
std::vector<float> RandomFloats(int n, std::mt19937& rng)
{
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> order(-20, 20);
    std::uniform_int_distribution<int> kind(0, 15);
    std::vector<float> v(static_cast<size_t>(n));
    for (auto& x : v) {
        const int k = kind(rng);
        x = k == 0 ? 0.0f : static_cast<float>(std::ldexp(mantissa(rng), k < 4 ? order(rng) : 10));
    }
    return v;
}

TEST(KernelIdentity, ComplexFFTEqualsPortableForEveryLengthAndDirection)
{
    std::mt19937 rng(1);
    ForEachLevel([&](simd::Level level) {
        for (int32_t n = 1; n <= 1024; n *= 2) {
            for (int32_t direction : {1, -1}) {
                for (int trial = 0; trial < 4; ++trial) {
                    std::vector<float> data = RandomFloats(2 * n, rng);
                    std::vector<float> plain = data;
                    ComplexFFT(data.data(), n, direction);
                    PortableTransform(ComplexFFT, plain, n, direction, level);
                    ASSERT_EQ(FirstDifference(data.data(), plain.data(), 2 * n), -1)
                        << "n " << n << " direction " << direction;
                }
            }
        }
    });
}

TEST(KernelIdentity, RealFFTEqualsPortableForEveryLengthAndDirection)
{
    std::mt19937 rng(2);
    ForEachLevel([&](simd::Level level) {
        for (int32_t n = 2; n <= 1024; n *= 2) {
            for (int32_t direction : {1, -1}) {
                for (int trial = 0; trial < 4; ++trial) {
                    std::vector<float> data = RandomFloats(2 * n, rng);
                    std::vector<float> plain = data;
                    RealFFT(data.data(), n, direction);
                    PortableTransform(RealFFT, plain, n, direction, level);
                    ASSERT_EQ(FirstDifference(data.data(), plain.data(), 2 * n), -1)
                        << "n " << n << " direction " << direction;
                }
            }
        }
    });
}

// A transform of a frame the way the analysis feeds it: windowed samples and
// zeros; then the spectrum of that transform run through it again.
TEST(KernelIdentity, RealFFTEqualsPortableOnAnalysisShapedInput)
{
    const std::vector<int16_t> speech = SpeechLike(40000, 3);
    ForEachLevel([&](simd::Level level) {
        for (int frame = 0; frame < 60; ++frame) {
            std::vector<float> data(512, 0.0f);
            for (int i = 0; i < 392; ++i)
                data[static_cast<size_t>(i)] = static_cast<float>(speech[static_cast<size_t>(frame * 600 + i)]);
            std::vector<float> plain = data;
            RealFFT(data.data(), 256, 1);
            PortableTransform(RealFFT, plain, 256, 1, level);
            ASSERT_EQ(FirstDifference(data.data(), plain.data(), 512), -1) << "frame " << frame;
        }
    });
}

struct CorrCase {
    std::string name;
    std::vector<int16_t> x;
};

std::vector<CorrCase> CorrelationMaterial()
{
    std::vector<CorrCase> cases;
    cases.push_back({"silence", std::vector<int16_t>(1100, 0)});
    cases.push_back({"random", RandomSamples(1100, 5)});
    std::vector<int16_t> square(1100);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 37) % 2 ? int16_t{-32768} : int16_t{32767};
    cases.push_back({"full-scale square", square});
    std::vector<int16_t> bottom(1100, -32768);
    cases.push_back({"all -32768", bottom});
    std::vector<int16_t> extremes = RandomSamples(1100, 6);
    for (size_t i = 0; i < extremes.size(); i += 3)
        extremes[i] = (i / 3) % 2 ? int16_t{-32768} : int16_t{32767};
    cases.push_back({"random with extremes", extremes});
    cases.push_back({"speech", SpeechLike(1100, 7)});
    cases.push_back({"loud vowel", Vowel(150.0, 1100, 32767.0)});
    cases.push_back({"quiet vowel", Vowel(210.0, 1100, 900.0)});
    cases.push_back({"tone", Tone(440.0, 1100, 20000.0)});
    return cases;
}

void ExpectSameSearch(const int16_t* x, int32_t count, int32_t amin, int32_t amax, const std::string& what)
{
    std::vector<float> out(static_cast<size_t>(std::max(amax, 0) + 1), 7.0f);
    std::vector<float> plain = out;
    const int32_t lag = NormAutocorr(x, count, out.data(), amin, amax);
    const int32_t plainLag = reference::NormAutocorr(x, count, plain.data(), amin, amax);
    ASSERT_EQ(lag, plainLag) << what << " count " << count << " lags " << amin << ".." << amax;
    const int d = FirstDifference(out.data(), plain.data(), static_cast<int>(out.size()));
    ASSERT_EQ(d, -1) << what << " count " << count << " lags " << amin << ".." << amax << ": out[" << d
                     << "] " << out[static_cast<size_t>(std::max(d, 0))] << " vs "
                     << plain[static_cast<size_t>(std::max(d, 0))];
}

TEST(KernelIdentity, NormAutocorrEqualsPlainOnTheAnalysisRange)
{
    ForEachLevel([&](simd::Level) {
        for (const CorrCase& c : CorrelationMaterial())
            for (int32_t offset = 0; offset + 392 <= static_cast<int32_t>(c.x.size()); offset += 101)
                ExpectSameSearch(c.x.data() + offset, 392, kLagMin, kLagMax, c.name);
    });
}

TEST(KernelIdentity, NormAutocorrEqualsPlainOnRandomCountsAndRanges)
{
    std::mt19937 rng(8);
    std::uniform_int_distribution<int32_t> countOf(1, 1100);
    std::uniform_int_distribution<int32_t> lagOf(0, 300);
    const std::vector<CorrCase> material = CorrelationMaterial();
    ForEachLevel([&](simd::Level) {
        for (int trial = 0; trial < 400; ++trial) {
            const CorrCase& c = material[static_cast<size_t>(trial) % material.size()];
            const int32_t count = countOf(rng);
            int32_t amin = lagOf(rng);
            int32_t amax = lagOf(rng);
            if (trial % 5 != 0 && amin > amax)
                std::swap(amin, amax);  // mostly proper ranges, some empty ones
            ExpectSameSearch(c.x.data(), count, amin, amax, c.name);
        }
    });
}

TEST(KernelIdentity, NormAutocorrEqualsPlainAtTheEdges)
{
    const std::vector<int16_t> speech = SpeechLike(2000, 9);
    const std::vector<int16_t> zeros(2000, 0);
    ForEachLevel([&](simd::Level) {
        // Counts at and below the first lag: every value is not a number.
        for (int32_t count : {1, 2, 21, 22, 23, 183, 184})
            ExpectSameSearch(speech.data(), count, kLagMin, kLagMax, "short");
        // Silence: not a number everywhere in the range, lag 0.
        ExpectSameSearch(zeros.data(), 392, kLagMin, kLagMax, "silence");
        // Lag 0 included, single lags, ranges past the end of the samples.
        ExpectSameSearch(speech.data(), 392, 0, 183, "from lag 0");
        ExpectSameSearch(speech.data(), 392, 100, 100, "one lag");
        ExpectSameSearch(speech.data(), 392, 380, 420, "past the end");
        // The largest count of the fast path and the first beyond it.
        ExpectSameSearch(speech.data(), simd::kMaxLagSamples, kLagMin, kLagMax, "longest");
        ExpectSameSearch(speech.data(), simd::kMaxLagSamples + 1, kLagMin, kLagMax, "too long");
    });
}

// The levels of the spectrum: the fast logarithm must give the library's
// level to the bit, handing back what it cannot vouch for.
TEST(KernelIdentity, SpectrumLevelsEqualTheLibraryLogarithm)
{
    std::mt19937 rng(10);
    std::uniform_real_distribution<double> mantissa(0.5, 1.0);
    std::uniform_int_distribution<int> order(-40, 40);
    constexpr int32_t kBins = 512;
    std::vector<float> b(2 * kBins);
    std::vector<float> levels(kBins);
    std::vector<int32_t> retry(kBins);
    int64_t handedBack = 0;
    int64_t rounds = 0;
    ForEachLevel([&](simd::Level level) {
        if (level == simd::Level::kPortable)
            return;  // it takes the library's logarithm for every bin
        for (int round = 0; round < 3000; ++round, ++rounds) {
            for (int32_t k = 0; k < 2 * kBins; ++k) {
                const int o = order(rng);
                b[static_cast<size_t>(k)] = o < -38 ? 0.0f : static_cast<float>(std::ldexp(mantissa(rng), o / 2));
            }
            // Powers of exactly one, and values about the floor of 1e-10.
            b[0] = 16.0f;
            b[1] = 0.0f;
            b[2] = 1e-5f * 16.0f;
            b[3] = 0.0f;
            const int32_t n = simd::Active().spectrumLevels(b.data(), kBins, 1.0 / 256, levels.data(), retry.data());
            handedBack += n;
            std::vector<bool> retried(kBins, false);
            for (int32_t j = 0; j < n; ++j)
                retried[static_cast<size_t>(retry[static_cast<size_t>(j)])] = true;
            for (int32_t k = 0; k < kBins; ++k) {
                if (retried[static_cast<size_t>(k)])
                    continue;
                const double re = b[static_cast<size_t>(2 * k)];
                const double im = b[static_cast<size_t>(2 * k + 1)];
                const float want = static_cast<float>(10.0 * Log10Floor((re * re + im * im) / 256));
                ASSERT_EQ(Bits(levels[static_cast<size_t>(k)]), Bits(want))
                    << "bin " << k << " power " << (re * re + im * im) / 256;
            }
        }
    });
    // Besides the bin of power one in every round (level 0, always handed
    // back), a few bins in a hundred thousand come back.
    if (rounds == 0)
        GTEST_SKIP() << "this build has no vector kernels";
    EXPECT_GT(handedBack, rounds);
    EXPECT_LT(handedBack, rounds + rounds * kBins / 1000);
}

// One frame record loaded with samples, as the framer leaves it.
void Load(FrameRecord& r, const int16_t* x, int32_t n)
{
    std::memset(r.samples, 0, sizeof r.samples);
    std::memcpy(r.samples, x, sizeof(int16_t) * static_cast<size_t>(n));
    r.nsamples = n;
    r.nspan = std::min(n, 11);
}

void ExpectSameRecord(const FrameRecord& a, const FrameRecord& b, const std::string& what)
{
    EXPECT_EQ(a.minSample, b.minSample) << what;
    EXPECT_EQ(a.maxSample, b.maxSample) << what;
    EXPECT_EQ(Bits(a.energy), Bits(b.energy)) << what << " energy " << a.energy << " vs " << b.energy;
    EXPECT_EQ(Bits(a.energyCeiling), Bits(b.energyCeiling)) << what;
    EXPECT_EQ(a.acLag, b.acLag) << what;
    EXPECT_EQ(Bits(a.acPeak), Bits(b.acPeak)) << what;
    EXPECT_EQ(a.nbins, b.nbins) << what;
    const int d = FirstDifference(a.spectrum, b.spectrum, kMaxBins);
    EXPECT_EQ(d, -1) << what << " spectrum[" << d << "]";
    EXPECT_EQ(Bits(a.specMax), Bits(b.specMax)) << what;
    EXPECT_EQ(Bits(a.specCeiling), Bits(b.specCeiling)) << what;
    EXPECT_EQ(a.cepsPeak, b.cepsPeak) << what;
    EXPECT_EQ(Bits(a.cepsRatio), Bits(b.cepsRatio)) << what << " cepsRatio " << a.cepsRatio << " vs " << b.cepsRatio;
}

void ExpectSameTrackers(const LevelTrackers& a, const LevelTrackers& b, const std::string& what)
{
    EXPECT_EQ(Bits(a.specPeak), Bits(b.specPeak)) << what;
    EXPECT_EQ(Bits(a.specFloor), Bits(b.specFloor)) << what;
    EXPECT_EQ(Bits(a.energyPeak), Bits(b.energyPeak)) << what;
    EXPECT_EQ(Bits(a.energyFloor), Bits(b.energyFloor)) << what;
}

// Analyses consecutive frames of a signal (hop 11) with AnalyseFrame at R = 1
// and with the plain transcription, each with its own trackers, and compares
// every result and the trackers after every frame. Returns false at the
// first difference.
class AnalysisPair {
public:
    AnalysisPair() : m_ring(std::make_unique<FrameRing>()), m_state(std::make_unique<AnalyserState>()),
                     m_plain(std::make_unique<FrameRecord>()) {}

    bool Run(const std::vector<int16_t>& signal, int32_t n, int frames, const std::string& name, int hop = 11)
    {
        for (int i = 0; i < frames; ++i) {
            const size_t at = static_cast<size_t>(i * hop);
            if (at + static_cast<size_t>(n) > signal.size())
                break;
            const int32_t slot = m_slot;
            m_slot = (m_slot + 1) % kRingSize;
            FrameRecord& r = (*m_ring)[slot];
            Load(r, signal.data() + at, n);
            r.fresh.store(1, std::memory_order_release);
            AnalyseFrame(*m_ring, m_trackers, *m_state, 1, slot);
            Load(*m_plain, signal.data() + at, n);
            std::memcpy(m_plain->spectrum, r.spectrum, sizeof r.spectrum);  // bins beyond nbins are kept
            reference::AnalyseInFull(*m_plain, m_plainTrackers);
            const std::string what = name + " frame " + std::to_string(i) + " n " + std::to_string(n);
            ExpectSameRecord(r, *m_plain, what);
            ExpectSameTrackers(m_trackers, m_plainTrackers, what);
            ExpectSameWindows(n, what);
            if (::testing::Test::HasFailure())
                return false;
            ++m_frames;
        }
        return true;
    }

    int Frames() const { return m_frames; }

private:
    // The windows the analysis keeps: a wrong constant in them may change
    // only a few stored values in a million, but never leaves them equal.
    void ExpectSameWindows(int32_t n, const std::string& what)
    {
        for (int32_t i = 0; i < n; ++i) {
            const double want = reference::HammingWindow(i, n);
            ASSERT_TRUE(SameDouble(m_state->hamming[i], want)) << what << " Hamming " << i;
        }
        const int32_t f = FftSizeFor(n);
        for (int32_t i = 0; i < f; ++i) {
            const double want = reference::LifterWindow(i, f);
            ASSERT_TRUE(SameDouble(m_state->lifter[i], want)) << what << " lifter " << i;
        }
    }

    std::unique_ptr<FrameRing> m_ring;
    std::unique_ptr<AnalyserState> m_state;
    std::unique_ptr<FrameRecord> m_plain;
    LevelTrackers m_trackers, m_plainTrackers;
    int32_t m_slot = 0;
    int m_frames = 0;
};

// Speech pushed past full scale, as an overdriven microphone delivers it.
std::vector<int16_t> Clipped(const std::vector<int16_t>& x, double gain)
{
    std::vector<int16_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp(std::lround(x[i] * gain), -32768L, 32767L));
    return out;
}

std::vector<CorrCase> FrameMaterial()
{
    std::vector<CorrCase> m;
    m.push_back({"speech", SpeechLike(60000, 11)});
    m.push_back({"clipped speech", Clipped(SpeechLike(20000, 12), 6.0)});
    m.push_back({"random", RandomSamples(12000, 13)});
    m.push_back({"silence", std::vector<int16_t>(4000, 0)});
    m.push_back({"hiss", Clipped(RandomSamples(6000, 14), 1.0 / 10000)});
    std::vector<int16_t> square(12000);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 40) % 2 ? int16_t{-32768} : int16_t{32767};
    m.push_back({"full-scale square", square});
    std::vector<int16_t> symmetric(12000);
    for (size_t i = 0; i < symmetric.size(); ++i)
        symmetric[i] = (i / 25) % 2 ? int16_t{-32767} : int16_t{32767};
    m.push_back({"symmetric square", symmetric});
    m.push_back({"dc", std::vector<int16_t>(3000, 1234)});
    m.push_back({"vowels", Vowel(120.0, 20000, 16000.0)});
    m.push_back({"tone", Tone(1000.0, 6000, 30000.0)});
    return m;
}

TEST(AnalysisIdentity, FramesEqualThePlainTranscriptionWithTheirTrackers)
{
    const std::vector<CorrCase> material = FrameMaterial();
    ForEachLevel([&](simd::Level) {
        AnalysisPair pair;  // the trackers carry over from one material to the next
        for (const CorrCase& c : material)
            ASSERT_TRUE(pair.Run(c.x, 392, 1000000, c.name));
        EXPECT_GT(pair.Frames(), 10000);
    });
}

TEST(AnalysisIdentity, OtherWindowLengthsEqualThePlainTranscription)
{
    const std::vector<int16_t> speech = SpeechLike(30000, 15);
    const std::vector<int16_t> loud = Clipped(SpeechLike(30000, 16), 4.0);
    ForEachLevel([&](simd::Level) {
        AnalysisPair pair;
        for (int32_t n : {1, 2, 3, 22, 23, 100, 255, 256, 257, 391, 393, 511, 512, 513, 700, 800}) {
            ASSERT_TRUE(pair.Run(speech, n, 40, "speech", 613));
            ASSERT_TRUE(pair.Run(loud, n, 40, "loud speech", 613));
        }
    });
}

// The best build against the portable one directly, over a long stretch of
// speech: every field of every frame.
TEST(AnalysisIdentity, BestBuildAgreesWithThePortableFrameByFrame)
{
    if (simd::BestLevel() == simd::Level::kPortable)
        GTEST_SKIP() << "this build has only the portable kernels";
    const std::vector<int16_t> speech = Clipped(SpeechLike(80000, 17), 1.5);
    auto ringA = std::make_unique<FrameRing>();
    auto ringB = std::make_unique<FrameRing>();
    auto stateA = std::make_unique<AnalyserState>();
    auto stateB = std::make_unique<AnalyserState>();
    LevelTrackers trA, trB;
    for (int i = 0; i * 11 + 392 <= static_cast<int>(speech.size()); ++i) {
        const int32_t slot = i % kRingSize;
        for (auto [ring, state, tr, level] : {std::tuple{ringA.get(), stateA.get(), &trA, simd::Level::kPortable},
                                              std::tuple{ringB.get(), stateB.get(), &trB, simd::BestLevel()}}) {
            simd::UseLevel(level);
            FrameRecord& r = (*ring)[slot];
            Load(r, speech.data() + i * 11, 392);
            r.fresh.store(1, std::memory_order_release);
            AnalyseFrame(*ring, *tr, *state, 1, slot);
        }
        ExpectSameRecord((*ringA)[slot], (*ringB)[slot], "frame " + std::to_string(i));
        ExpectSameTrackers(trA, trB, "frame " + std::to_string(i));
        if (HasFailure())
            break;
    }
    simd::UseLevel(simd::BestLevel());
}

}  // namespace
}  // namespace vocalume
