// Vectorised building blocks of the signal kernels and the frame analysis.
// Each block performs, for every element, exactly the double-precision
// operations of the plain formulation in the same order (no fused
// multiply-adds, no reassociation), so its results equal the plain ones bit
// for bit; vectors only group independent elements. Two builds exist: SSE2,
// which every x86-64 processor has, and AVX2, chosen at run time where the
// processor offers it. Internal to the analysis library.
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

// Which vector build runs.
enum class Level { kSse2 = 0, kAvx2 = 1 };

// The best build this processor supports.
Level BestLevel();
// The build in use; the best one unless a test chose another.
Level ActiveLevel();
// Chooses the build for every later call (tests compare the builds); a level
// the processor lacks is lowered to the best one it has. Not to be called
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
};

// The kernels of the active build.
const Kernels& Active();
// The kernels of one build (tests).
const Kernels& ForLevel(Level level);

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

namespace sse2 {
void FftStages(float* data, int32_t n, const FftTwiddles& tw);
void RealFftUntangle(float* data, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw);
void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c);
int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry);
}  // namespace sse2

namespace avx2 {
void FftStages(float* data, int32_t n, const FftTwiddles& tw);
void RealFftUntangle(float* data, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw);
void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c);
int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry);
}  // namespace avx2

}  // namespace vocalume::simd
