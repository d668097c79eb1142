// The building blocks of the frame analysis, in interchangeable builds: a
// portable one, the plain loops any processor runs, and on x86-64 an SSE2
// build, which every such processor has, and an AVX2 build, chosen at run
// time where the processor offers it. Each block performs, for every
// element, exactly the double-precision operations of the plain formulation
// in the same order (no fused multiply-adds, no reassociation), so every
// build gives the same bits; vectors only group independent elements, and
// how a build schedules its work stays inside it. Internal to the analysis
// library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vocalume::simd {

// Largest complex transform with recorded twiddle factors (RealFFT of 2048
// real points; the analysis needs at most 512 complex points).
inline constexpr int32_t kMaxComplexPoints = 1024;

// Twiddle factors of one transform direction, recorded from the very
// trigonometric recurrence the transforms specify, so that the values are
// those the recurrence produces, not more exact ones. Each value is stored
// twice over to fill a pair of vector lanes.
struct FftTwiddles {
    // Butterfly stage with half-size hs (1, 2, 4, ...): twiddle p of that
    // stage at pair hs + p. re = {wr, wr}, im = {wi, -wi}.
    alignas(32) double stageRe[2 * kMaxComplexPoints];
    alignas(32) double stageIm[2 * kMaxComplexPoints];
    // RealFFT of n complex points, step i = 2 .. n/2 of its untangling loop,
    // at pair n/2 + i - 2. re = {wr, wr}, im = {wi, wi}.
    alignas(32) double postRe[2 * kMaxComplexPoints];
    alignas(32) double postIm[2 * kMaxComplexPoints];
};

// The tables for direction +1 or -1, built on first use (thread-safe).
const FftTwiddles& Twiddles(int32_t direction);

// Bit-reversed 10-bit indices; among n = 2^b points, k goes to
// kBitReversed[k] >> (10 - b).
inline constexpr auto kBitReversed = [] {
    std::array<uint16_t, kMaxComplexPoints> t{};
    for (int32_t k = 0; k < kMaxComplexPoints; ++k) {
        int32_t r = 0;
        for (int32_t bit = 0; bit < 10; ++bit)
            r |= ((k >> bit) & 1) << (9 - bit);
        t[static_cast<std::size_t>(k)] = static_cast<uint16_t>(r);
    }
    return t;
}();
static_assert(kMaxComplexPoints == 1 << 10);

// The shift that turns kBitReversed into the reversal among n points.
constexpr int32_t BitReverseShift(int32_t n)
{
    int32_t b = 0;
    while ((1 << b) < n)
        ++b;
    return 10 - b;
}

// The energy of a windowed frame: squares[0] + squares[1] + ... +
// squares[count - 1], added one after another in that order. The kernels
// that fill the transform store the squares and may add terms as they go,
// where that chain of dependent additions overlaps other work; Total adds
// whatever is left.
struct EnergySum {
    double* squares;
    int32_t count;
    int32_t next = 0;  // terms added so far
    double sum = 0.0;

    double Total()
    {
        while (next < count)
            sum += squares[next++];
        return sum;
    }
};

// The strongest cepstral bin of a search: its index and power (single
// precision, as the search keeps it) and the sum of all powers searched.
struct CepstralPeak {
    int32_t index;
    float power;
    double total;
};

// Which build runs.
enum class Level { kPortable = 0, kSse2 = 1, kAvx2 = 2 };

// The best build this processor (and this program's build) supports.
Level BestLevel();
// Chooses the build for every later call (tests compare the builds); a level
// this program lacks is lowered to the best one it has. Not to be called
// while analysis runs on another thread.
void UseLevel(Level level);

struct Kernels {
    // The butterfly stages of the radix-2 complex FFT of n points (2 <= n <=
    // kMaxComplexPoints), on data already in bit-reversed order.
    void (*fftStages)(float* data, int32_t n, const FftTwiddles& tw);
    // Steps i = iFirst .. iLast of RealFFT's untangling loop over n complex
    // points, with c2 = -0.5 (forward) or +0.5 (inverse).
    void (*realFftUntangle)(float* data, int32_t n, int32_t iFirst, int32_t iLast, double c2,
                            const FftTwiddles& tw);
    // Exact sums c[a] = x[0]x[a] + ... + x[count-1-a]x[count-1] for lags a =
    // a0 .. a0 + 4*blocks - 1, four lags per block. xp holds the samples and
    // then at least 64 zeros, xh the samples shifted right by kCoarseShift,
    // likewise padded; both 32-byte aligned. wide[b] tells whether block b
    // may exceed 32 bits (then xh is used); otherwise the sums are known to
    // lie within +-(2^31 - 1).
    void (*lagProducts)(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                        const uint8_t* wide, double* c);
    // Levels 10*log10((re^2 + im^2) * invF) of bins 0 .. bins-1 of the
    // packed spectrum b, floored at -100 dB, rounded to single precision
    // into levels. A bin whose level could round differently from the
    // system logarithm's is left for the caller and listed in retry; the
    // count is returned.
    int32_t (*spectrumLevels)(const float* b, int32_t bins, double invF, float* levels, int32_t* retry);
    // The largest of `floor` and levels[0 .. bins) (levels are never not a
    // number).
    float (*largestLevel)(const float* levels, int32_t bins, float floor);
    // y[i] = (x[i] - preEmphasis * x[i-1]) * w[i] for i = 1 .. n-1, written as
    // the real FFT input b[i] = y[i], b[0] = 0 and zeros up to 2 * points,
    // each complex point (pair of values) straight to its bit-reversed place
    // among `points`. energy.squares[i - 1] receives y[i] * y[i] (the
    // full-precision product); energy.count is n - 1 (or 0).
    void (*windowIntoTransform)(const int16_t* x, int32_t n, double preEmphasis, const double* w, float* b,
                                int32_t points, EnergySum& energy);
    // The sum of the mirrored spectrum 0, s[h-1] .. s[1], s[0], s[1] ..
    // s[h-2], 0 in that order, in double precision.
    double (*mirrorSum)(const float* s, int32_t h);
    // The mirrored spectrum (see mirrorSum) less mean, times lifter[i],
    // written as the real FFT input of h points, each complex point straight
    // to its bit-reversed place. May add terms to energy.
    void (*lifterIntoTransform)(const float* s, int32_t h, double mean, const double* lifter, float* b,
                                EnergySum& energy);
    // Over the packed bins q = first .. last of b: the power re^2 + im^2 of
    // each, the first strictly above every earlier one and above `start`
    // (index 1 and `start` when none is), and the sum of all in order.
    CepstralPeak (*cepstralSearch)(const float* b, int32_t first, int32_t last, float start);
    // energy[k] = x[0]^2 + ... + x[k-1]^2 for k = 0 .. count (exact).
    void (*runningEnergy)(const int16_t* x, int32_t count, double* energy);
    // estimate[j] = float(c[j]) / sqrt(float(ab[j])) in single precision for j
    // = 0 .. lags-1, rounded up to a whole group of four (ab, c and estimate
    // have room for it; ab and c 16-byte aligned); returns the largest
    // estimate that is a number (minus infinity when none is).
    float (*lagEstimates)(const double* ab, const double* c, int32_t lags, float* estimate);
};

// The kernels of the active build.
const Kernels& Active();
// The kernels of one build (tests); a level this program lacks gives the
// best one it has.
const Kernels& ForLevel(Level level);
// The portable build: the plain loops, on every processor.
const Kernels& PortableKernels();

// Where complex point c of a transform of `points` points goes in the
// bit-reversal that starts ComplexFFT.
class BitReversal {
public:
    explicit BitReversal(int32_t points) : m_shift(BitReverseShift(points)) {}
    int32_t operator()(int32_t c) const { return kBitReversed[static_cast<std::size_t>(c)] >> m_shift; }

private:
    int32_t m_shift;
};

// Spectrum levels without a library logarithm per bin.
//
// The level of a bin must be the single-precision rounding of
// D = 10 * log10(P) as the system library computes log10; only that value is
// the truth. The kernels compute an approximation A instead: with P = 2^e * m,
// m in [sqrt(1/2), sqrt(2)) and s = (m - 1)/(m + 1),
//   A = e * 10 log10(2) + s * Q(s^2) * 20/ln(10),
//   Q(z) = 1 + z/3 + z^2/5 + ... + z^7/15,
// the series ln(m) = 2 atanh(s) cut after eight terms. Bounds, relative to
// T = 10 log10(P):
// - |s| <= 0.17158, z <= 0.029438: the terms left out of Q sum to at most
//   z^8/17/(1 - z) < 3.5e-14 of Q (Q >= 1), all terms having one sign;
// - m - 1 is exact; m + 1, the quotient, the powers of z, the products and
//   sums of Q (all of its terms positive), the products and the final sum
//   each round by at most 2^-53 relatively; when e != 0 the two terms can
//   cancel at most by half (|e * 3.0103| >= 2 * 1.5052), so rounding adds
//   less than 40 * 2^-53 = 4.5e-15;
// - the library's log10 is within 2 units in the last place (its published
//   bound), and 10 * log10 rounds once more: D is within 5 * 2^-53 of T.
// So |A - D| < 4e-14 |A| < 2^-44 |A|. A bin is accepted only when A lies
// more than 2^13 units of its last place (at least 2^-40 |A|) away from the
// nearest value halfway between two single-precision numbers, which shows in
// the 29 low bits that single precision drops: then every value within
// 2^-40 |A| of A, D among them with sixteen times the room needed, rounds to
// the same single-precision value as A. (Values of A beyond the normal range
// of single precision, which never occur, are handed back too.) Any other bin
// (about one in thirty thousand) is handed back to be computed with the
// library.
inline constexpr int32_t kDroppedBits = 0x1fffffff;
inline constexpr int32_t kTieBits = 0x10000000;
inline constexpr int32_t kTieDistance = 1 << 13;
inline constexpr double kSmallestLevel = 0x1p-126;
inline constexpr double kLargestPower = 1e300;
inline constexpr int64_t kMantissaBits = 0x000fffffffffffffLL;
inline constexpr int64_t kOneBits = 0x3ff0000000000000LL;
inline constexpr int64_t kTwo52Bits = 0x4330000000000000LL;  // 2^52
inline constexpr double kSqrt2 = 1.4142135623730951;
inline constexpr double kAtanhSeries[8] = {1.0,       1.0 / 3.0,  1.0 / 5.0,  1.0 / 7.0,
                                           1.0 / 9.0, 1.0 / 11.0, 1.0 / 13.0, 1.0 / 15.0};
inline constexpr double kTenLog10Of2 = 3.0102999566398119521373889472449302676818988146211;
inline constexpr double kTwentyOverLn10 = 8.6858896380650365530225783783321016541219065037;

// Coarse copy of the samples used to pin down wide lag sums: x >> kCoarseShift.
inline constexpr int kCoarseShift = 5;
// Samples the lag sums accept (bounds of the wide reconstruction).
inline constexpr int32_t kMaxLagSamples = 1024;
inline constexpr int32_t kLagPadding = 64;

}  // namespace vocalume::simd
