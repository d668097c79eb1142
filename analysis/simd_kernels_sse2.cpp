// The SSE2 build of the analysis kernels (see simd_kernels.h), and the
// tables of the two x86-64 builds. Compiled only for x86-64. The level
// arithmetic is explained at SpectrumLevels in simd_kernels.h.
#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "simd_kernels.h"
#include "simd_kernels_x86.h"

namespace vocalume::simd {

namespace sse2 {
namespace {

// Two single-precision values (one complex point) widened to double.
inline __m128d Load2(const float* p)
{
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// Two doubles rounded to single precision and stored.
inline void Store2(float* p, __m128d v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
}

}  // namespace

namespace {

// The two halves of v swapped, by the integer shuffle, which leaves v in its
// register (the double one overwrites its operand and costs a copy).
inline __m128d Swap(__m128d v)
{
    return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_castpd_si128(v), _MM_SHUFFLE(1, 0, 3, 2)));
}

// The twiddle product {wr*re - wi*im, wr*im + wi*re} of a point; wiNeg holds
// {wi, -wi} so that the second lane is wr*im - (-wi)*re, which is
// wr*im + wi*re to the bit.
inline __m128d Twiddle(__m128d wr, __m128d wiNeg, __m128d v)
{
    return _mm_sub_pd(_mm_mul_pd(wr, v), _mm_mul_pd(wiNeg, Swap(v)));
}

// Rounds to single precision and back, as storing and reloading would.
inline __m128d Round(__m128d v)
{
    return _mm_cvtps_pd(_mm_cvtpd_ps(v));
}

}  // namespace

void FftStages(float* d, int32_t n, const FftTwiddles& tw)
{
    int32_t hs = 1;
    if (n >= 4) {
        // The first two stages together, four points at a time: points 0
        // and 1 and points 2 and 3 with the twiddle of stage 1, then points
        // 0 and 2 and points 1 and 3 with the two twiddles of stage 2.
        const __m128d wr1 = _mm_load_pd(tw.stageRe + 2), wi1 = _mm_load_pd(tw.stageIm + 2);
        const __m128d wr20 = _mm_load_pd(tw.stageRe + 4), wi20 = _mm_load_pd(tw.stageIm + 4);
        const __m128d wr21 = _mm_load_pd(tw.stageRe + 6), wi21 = _mm_load_pd(tw.stageIm + 6);
        for (int32_t k = 0; k < n; k += 4) {
            float* p = d + 2 * k;
            const __m128 v0 = _mm_loadu_ps(p);
            const __m128 v1 = _mm_loadu_ps(p + 4);
            const __m128d q0 = _mm_cvtps_pd(v0), q1 = _mm_cvtps_pd(_mm_movehl_ps(v0, v0));
            const __m128d q2 = _mm_cvtps_pd(v1), q3 = _mm_cvtps_pd(_mm_movehl_ps(v1, v1));
            const __m128d t1 = Twiddle(wr1, wi1, q1);
            const __m128d t3 = Twiddle(wr1, wi1, q3);
            const __m128d a0 = Round(_mm_add_pd(q0, t1)), a1 = Round(_mm_sub_pd(q0, t1));
            const __m128d a2 = Round(_mm_add_pd(q2, t3)), a3 = Round(_mm_sub_pd(q2, t3));
            const __m128d u2 = Twiddle(wr20, wi20, a2);
            const __m128d u3 = Twiddle(wr21, wi21, a3);
            _mm_storeu_ps(p, _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(a0, u2)), _mm_cvtpd_ps(_mm_add_pd(a1, u3))));
            _mm_storeu_ps(p + 4, _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(a0, u2)), _mm_cvtpd_ps(_mm_sub_pd(a1, u3))));
        }
        hs = 4;
    }
    if (n == 2) {
        // The single butterfly of a two-point transform.
        const __m128d d0 = Load2(d);
        const __m128d t = Twiddle(_mm_load_pd(tw.stageRe + 2), _mm_load_pd(tw.stageIm + 2), Load2(d + 2));
        Store2(d + 2, _mm_sub_pd(d0, t));
        Store2(d, _mm_add_pd(d0, t));
        return;
    }
    // The other stages two twiddles (two neighbouring butterflies) a step,
    // which halves the loop's own instructions (hs is 4 or more here).
    for (; hs < n; hs *= 2) {
        const int32_t step = 2 * hs;
        for (int32_t p = 0; p < hs; p += 2) {
            const __m128d wr0 = _mm_load_pd(tw.stageRe + 2 * (hs + p));  // {wr, wr}
            const __m128d wi0 = _mm_load_pd(tw.stageIm + 2 * (hs + p));  // {wi, -wi}
            const __m128d wr1 = _mm_load_pd(tw.stageRe + 2 * (hs + p + 1));
            const __m128d wi1 = _mm_load_pd(tw.stageIm + 2 * (hs + p + 1));
            for (int32_t k = p; k < n; k += step) {
                float* pk = d + 2 * k;
                float* pj = pk + step;
                const __m128d dk0 = Load2(pk), dk1 = Load2(pk + 2);
                const __m128d t0 = Twiddle(wr0, wi0, Load2(pj));
                const __m128d t1 = Twiddle(wr1, wi1, Load2(pj + 2));
                Store2(pj, _mm_sub_pd(dk0, t0));
                Store2(pj + 2, _mm_sub_pd(dk1, t1));
                Store2(pk, _mm_add_pd(dk0, t0));
                Store2(pk + 2, _mm_add_pd(dk1, t1));
            }
        }
    }
}

void RealFftUntangle(float* d, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw)
{
    const __m128d c1 = _mm_set1_pd(0.5);
    const __m128d c2v = _mm_set_pd(c2, -c2);
    const __m128d signLo = _mm_set_pd(0.0, -0.0);
    const __m128d signHi = _mm_set_pd(-0.0, 0.0);
    for (int32_t i = iFirst; i <= iLast; ++i) {
        float* p1 = d + 2 * (i - 1);      // d(i1), d(i2)
        float* p3 = d + 2 * (n + 1 - i);  // d(i3), d(i4)
        const __m128d a = Load2(p1);
        const __m128d b = Load2(p3);
        const __m128d s = _mm_add_pd(a, b);                                // {a1 + a3, a2 + a4}
        const __m128d m = _mm_sub_pd(a, b);                                // {a1 - a3, a2 - a4}
        const __m128d h1 = _mm_mul_pd(c1, _mm_move_sd(m, s));              // {h1r, h1i}
        const __m128d h2 = _mm_mul_pd(c2v, _mm_shuffle_pd(s, m, 1));       // {h2r, h2i}
        const __m128d wr = _mm_load_pd(tw.postRe + 2 * (n / 2 + i - 2));  // {wr, wr}
        const __m128d wi = _mm_load_pd(tw.postIm + 2 * (n / 2 + i - 2));  // {wi, wi}
        const __m128d p = _mm_mul_pd(wr, h2);                              // {wr*h2r, wr*h2i}
        const __m128d q = _mm_mul_pd(wi, Swap(h2));                        // {wi*h2i, wi*h2r}
        // d(i1) = h1r + wr*h2r - wi*h2i, d(i2) = h1i + wr*h2i + wi*h2r
        Store2(p1, _mm_add_pd(_mm_add_pd(h1, p), _mm_xor_pd(q, signLo)));
        // d(i3) = h1r - wr*h2r + wi*h2i, d(i4) = -h1i + wr*h2i + wi*h2r
        Store2(p3, _mm_add_pd(_mm_add_pd(_mm_xor_pd(h1, signHi), _mm_xor_pd(p, signLo)), q));
    }
}

namespace {

// Rows of eight samples in each shifted copy: enough for kMaxLagSamples
// samples, the zeros before them and the zeros read past their end.
constexpr int32_t kShiftedRows = kMaxLagSamples / 8 + 6;

// The samples (followed by their zeros) seen from every alignment: at[r] + q
// is the place of sample q in a row of eight that sits aligned, for every q
// >= -8 with (q + 8) % 8 == r; places before sample 0 read as zero.
// Alignment 0 is the aligned samples themselves; alignment r = 1 .. 7 is
// copy[r - 1], the samples shifted by r, made only when the lags ask for
// it. Unaligned loads that straddle cache lines cost the SSE2 build dearly;
// the copies take a few hundred stores per frame.
struct ShiftedSamples {
    const int16_t* at[8];
    alignas(16) int16_t copy[7][8 * kShiftedRows];
};

// x is 16-byte aligned and followed by kLagPadding zeros; `wanted` has bit r
// set for each alignment r to be made.
void MakeShifted(const int16_t* x, int32_t count, unsigned wanted, ShiftedSamples& sh)
{
    sh.at[0] = x;
    alignas(16) int16_t head[16] = {};  // eight zeros, then the first eight samples
    std::memcpy(head + 8, x, 8 * sizeof(int16_t));
    const int32_t rows = (count + 40) / 8 + 1;  // reads x up to sample count + 46
    for (int32_t r = 1; r < 8; ++r) {
        if (!(wanted & (1u << r)))
            continue;
        int16_t* copy = sh.copy[r - 1];
        // Row w holds samples 8w + r - 8 .. 8w + r - 1.
        _mm_store_si128(reinterpret_cast<__m128i*>(copy), _mm_loadu_si128(reinterpret_cast<const __m128i*>(head + r)));
        for (int32_t row = 1; row < rows; ++row)
            _mm_store_si128(reinterpret_cast<__m128i*>(copy + 8 * row),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 8 * row + r - 8)));
        sh.at[r] = copy + 8 - r;
    }
}

// The alignments EightLags reads for lags a0, a0 + 8, ...: those of the
// samples at the lags and of the samples shifted back by 1, 2 and 3.
unsigned WantedAlignments(int32_t a0)
{
    return (1u << (a0 % 8)) | (1u << ((a0 + 4) % 8)) | (1u << 7) | (1u << 6) | (1u << 5);
}

// The four lane sums of s[0] .. s[3] (wrapping), in order.
inline __m128i LaneSums(const __m128i* s)
{
    const __m128i t0 = _mm_add_epi32(_mm_unpacklo_epi32(s[0], s[1]), _mm_unpackhi_epi32(s[0], s[1]));
    const __m128i t1 = _mm_add_epi32(_mm_unpacklo_epi32(s[2], s[3]), _mm_unpackhi_epi32(s[2], s[3]));
    return _mm_add_epi32(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
}

// The products for lags a .. a+7 over iters groups of eight samples, as 32-bit
// sums that wrap. Lag a + l pairs x[j - l] with x[j + a] (and lag a + 4 + l
// x[j - l] with x[j + a + 4]), j = 0, 1, ...: the same products as
// x[i] x[i + a + l], so each load of the samples at the lag serves four lags
// and each load of the samples shifted back serves two.
void EightLags(const ShiftedSamples& sh, int32_t a, int32_t iters, uint32_t* sums)
{
    const int16_t* y0 = sh.at[a % 8] + a;
    const int16_t* y4 = sh.at[(a + 4) % 8] + a + 4;
    const int16_t* x0 = sh.at[0];
    const int16_t* x1 = sh.at[7] - 1;  // the first place of the copy for alignment 7
    const int16_t* x2 = sh.at[6] - 2;
    const int16_t* x3 = sh.at[5] - 3;
    __m128i s0 = _mm_setzero_si128(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
    // Per group of eight samples: the two rows at the lags and the four
    // shifted rows (all aligned), eight products into the eight sums.
    auto row = [](const int16_t* p, int32_t g) { return _mm_load_si128(reinterpret_cast<const __m128i*>(p + 8 * g)); };
    for (int32_t g = 0; g < iters; ++g) {
        const __m128i v0 = row(y0, g), v4 = row(y4, g);
        const __m128i u0 = row(x0, g), u1 = row(x1, g), u2 = row(x2, g), u3 = row(x3, g);
        s0 = _mm_add_epi32(s0, _mm_madd_epi16(u0, v0));
        s4 = _mm_add_epi32(s4, _mm_madd_epi16(u0, v4));
        s1 = _mm_add_epi32(s1, _mm_madd_epi16(u1, v0));
        s5 = _mm_add_epi32(s5, _mm_madd_epi16(u1, v4));
        s2 = _mm_add_epi32(s2, _mm_madd_epi16(u2, v0));
        s6 = _mm_add_epi32(s6, _mm_madd_epi16(u2, v4));
        s3 = _mm_add_epi32(s3, _mm_madd_epi16(u3, v0));
        s7 = _mm_add_epi32(s7, _mm_madd_epi16(u3, v4));
    }
    const __m128i s[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), LaneSums(s));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4), LaneSums(s + 4));
}

}  // namespace

// Two blocks (eight lags) at a time; a lone last block is computed as a pair
// whose second half is dropped. First the 32-bit sums of every pair, then,
// with the same buffer of copies, the coarse sums of the pairs that need
// them.
void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c)
{
    ShiftedSamples sh;
    uint32_t low[kMaxLagSamples + 8];
    MakeShifted(xp, count, WantedAlignments(a0), sh);
    bool anyWide = false;
    for (int32_t blk = 0; blk < blocks; blk += 2) {
        const int32_t a = a0 + 4 * blk;
        const int32_t m = count - a;
        const int32_t lags = blk + 1 < blocks ? 8 : 4;
        if (m <= 0) {
            for (int32_t l = 0; l < lags; ++l)
                c[4 * blk + l] = 0.0;
            continue;
        }
        uint32_t sums[8];
        EightLags(sh, a, (m + 7) / 8, sums);
        const bool wideHere = wide[blk] || (lags == 8 && wide[blk + 1]);
        anyWide = anyWide || wideHere;
        for (int32_t l = 0; l < lags; ++l) {
            low[4 * blk + l] = sums[l];
            c[4 * blk + l] = static_cast<int32_t>(sums[l]);  // exact in double
        }
    }
    if (!anyWide)
        return;
    MakeShifted(xh, count, WantedAlignments(a0), sh);
    for (int32_t blk = 0; blk < blocks; ++blk) {
        if (!wide[blk])
            continue;
        // The block and its partner were computed together: so are their coarse sums.
        const int32_t first = blk - blk % 2;
        const int32_t a = a0 + 4 * first;
        uint32_t coarse[8];
        EightLags(sh, a, (count - a + 7) / 8, coarse);
        for (int32_t b = first; b < first + 2 && b < blocks; ++b) {
            if (!wide[b])
                continue;
            for (int32_t l = 0; l < 4; ++l) {
                const int32_t k = 4 * b + l;
                // The coarse sum is exact (it stays within 2^30) and pins the
                // full sum down to within 2^31; the low 32 bits do the rest.
                const int64_t approx = static_cast<int64_t>(static_cast<int32_t>(coarse[4 * (b - first) + l]))
                                       << (2 * kCoarseShift);
                const uint32_t diff = low[k] - static_cast<uint32_t>(approx);
                c[k] = static_cast<double>(approx + static_cast<int32_t>(diff));  // below 2^41: exact
            }
        }
        blk = first + 1;  // the partner is done
    }
}

namespace {

// Added to the bits of a positive double with mantissa bits f, carries into
// the exponent exactly when f exceeds the mantissa bits of kSqrt2, i.e. when
// 1.f > kSqrt2. (Powers that are not positive normal numbers are floored or
// handed back whatever this gives them.)
constexpr int64_t kSqrt2Carry = (int64_t{1} << 52) - 1 - (std::bit_cast<int64_t>(kSqrt2) & kMantissaBits);

// The high 32 bits of kSmallestLevel (its low 32 bits are zero).
constexpr int32_t kSmallestLevelHigh = static_cast<int32_t>(std::bit_cast<int64_t>(kSmallestLevel) >> 32);
static_assert((std::bit_cast<int64_t>(kSmallestLevel) & 0xffffffffLL) == 0);

// Levels of two bins (re0 im0 re1 im1): the rounded levels, floored at
// -100 dB, and a two-bit mask of the bins that can be trusted.
struct TwoLevels {
    __m128 levels;
    int ok;
};

inline TwoLevels LevelsOfTwo(__m128 v, __m128d scale)
{
    const __m128d lo = _mm_cvtps_pd(v);
    const __m128d hi = _mm_cvtps_pd(_mm_movehl_ps(v, v));
    const __m128d lo2 = _mm_mul_pd(lo, lo);
    const __m128d hi2 = _mm_mul_pd(hi, hi);
    // (re*re + im*im) / f, the division by a power of two done as the
    // identical multiplication.
    const __m128d power = _mm_mul_pd(_mm_add_pd(_mm_unpacklo_pd(lo2, hi2), _mm_unpackhi_pd(lo2, hi2)), scale);
    const __m128d floored = _mm_cmpnge_pd(power, _mm_set1_pd(1e-10));  // below 1e-10 or not a number

    // power = 2^e * m with m in [sqrt(1/2), sqrt(2)), the same m and e as
    // taking m in [1, 2) and halving it (raising e) above sqrt(2), found
    // with integer steps: adding kSqrt2Carry to the bits carries into the
    // exponent exactly when the mantissa exceeds that of sqrt(2), so the
    // exponent field of the sum is the biased e; taking e from the
    // exponent field leaves m.
    const __m128d one = _mm_set1_pd(1.0);
    const __m128i bits = _mm_castpd_si128(power);
    const __m128i biasedE = _mm_srli_epi64(_mm_add_epi64(bits, _mm_set1_epi64x(kSqrt2Carry)), 52);
    const __m128d m = _mm_castsi128_pd(
        _mm_add_epi64(_mm_sub_epi64(bits, _mm_slli_epi64(biasedE, 52)), _mm_set1_epi64x(kOneBits)));
    // e as 2^52 + biased e less 2^52 + 1023.
    const __m128d e = _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(biasedE, _mm_set1_epi64x(kTwo52Bits))),
                                 _mm_set1_pd(0x1p52 + 1023.0));
    const __m128d s = _mm_div_pd(_mm_sub_pd(m, one), _mm_add_pd(m, one));
    const __m128d z = _mm_mul_pd(s, s);
    // Q(z) by Estrin's scheme (short chains of dependent operations).
    const __m128d z2 = _mm_mul_pd(z, z);
    const __m128d z4 = _mm_mul_pd(z2, z2);
    auto pair = [&](int j) {
        return _mm_add_pd(_mm_set1_pd(kAtanhSeries[j]), _mm_mul_pd(_mm_set1_pd(kAtanhSeries[j + 1]), z));
    };
    const __m128d poly = _mm_add_pd(_mm_add_pd(pair(0), _mm_mul_pd(z2, pair(2))),
                                    _mm_mul_pd(z4, _mm_add_pd(pair(4), _mm_mul_pd(z2, pair(6)))));
    const __m128d level = _mm_add_pd(_mm_mul_pd(e, _mm_set1_pd(kTenLog10Of2)),
                                     _mm_mul_pd(_mm_mul_pd(s, poly), _mm_set1_pd(kTwentyOverLn10)));

    // Trusted when the 29 bits single precision drops lie far from a tie
    // and the level is a normal single-precision number, both read off the
    // level's bits in one test of their 32-bit halves. Low half: with v its
    // 29 dropped bits, |v - tie| > distance exactly when
    // (v - tie + distance) mod 2^29 > 2 distance. High half: |level| >=
    // 2^-126 exactly when its magnitude bits reach those of 2^-126, whose
    // low half is zero.
    const __m128i halves = _mm_castpd_si128(level);
    const __m128i test = _mm_cmpgt_epi32(
        _mm_and_si128(_mm_add_epi32(halves, _mm_set_epi32(0, kTieDistance - kTieBits, 0, kTieDistance - kTieBits)),
                      _mm_set_epi32(0x7fffffff, kDroppedBits, 0x7fffffff, kDroppedBits)),
        _mm_set_epi32(kSmallestLevelHigh - 1, 2 * kTieDistance, kSmallestLevelHigh - 1, 2 * kTieDistance));
    const int passed = _mm_movemask_ps(_mm_castsi128_ps(test));  // far 0, normal 0, far 1, normal 1
    const int trusted = passed & (passed >> 1) & 0b0101;
    const int bounded = _mm_movemask_pd(_mm_cmple_pd(power, _mm_set1_pd(kLargestPower)));
    TwoLevels out;
    out.levels = _mm_cvtpd_ps(_mm_or_pd(_mm_and_pd(floored, _mm_set1_pd(-100.0)), _mm_andnot_pd(floored, level)));
    out.ok = (((trusted | (trusted >> 1)) & 3) & bounded) | _mm_movemask_pd(floored);
    return out;
}

}  // namespace

int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry)
{
    const __m128d scale = _mm_set1_pd(invF);
    int32_t nRetry = 0;
    auto note = [&](int ok, int32_t k) {
        if (!(ok & 1))
            retry[nRetry++] = k;
        if (!(ok & 2))
            retry[nRetry++] = k + 1;
    };
    int32_t k = 0;
    // Four bins a step, as two independent halves for the processor to overlap.
    for (; k + 4 <= bins; k += 4) {
        const TwoLevels a = LevelsOfTwo(_mm_loadu_ps(b + 2 * k), scale);
        const TwoLevels c = LevelsOfTwo(_mm_loadu_ps(b + 2 * k + 4), scale);
        _mm_storeu_ps(levels + k, _mm_movelh_ps(a.levels, c.levels));
        if ((a.ok & c.ok) != 3) {
            note(a.ok, k);
            note(c.ok, k + 2);
        }
    }
    for (; k < bins; ++k)
        retry[nRetry++] = k;
    return nRetry;
}


namespace {

// Two adjacent samples widened to double.
inline __m128d LoadSamples(const int16_t* p)
{
    int32_t pair;
    std::memcpy(&pair, p, sizeof pair);
    const __m128i v = _mm_cvtsi32_si128(pair);
    return _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}

// Four adjacent samples widened to 32 bits.
inline __m128i LoadFourSamples(const int16_t* p)
{
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
}

}  // namespace

// Two points (four samples) a step. Riding along: the first terms of the
// energy, one a point (each was stored a step or more before). That chain
// of dependent additions would leave the processor waiting if run alone;
// here it overlaps the independent work of the window, and the lifter adds
// the rest.
void WindowIntoTransform(const int16_t* x, int32_t n, double preEmphasis, const double* w, float* b,
                         int32_t points, EnergySum& energy)
{
    const BitReversal place(points);
    double* squares = energy.squares;
    auto value = [&](int32_t i) { return (x[i] - preEmphasis * x[i - 1]) * w[i]; };
    // Point 0: b[0] = 0 and b[1] = y[1].
    {
        float* p = b + 2 * place(0);
        p[0] = 0.0f;
        p[1] = 0.0f;
        if (n > 1) {
            const double y = value(1);
            p[1] = static_cast<float>(y);
            squares[0] = y * y;
        }
    }
    const __m128d pre = _mm_set1_pd(preEmphasis);
    double sum = energy.sum;
    int32_t c = 1;
    for (; 2 * c + 3 < n; c += 2) {
        const __m128i now = LoadFourSamples(x + 2 * c);
        const __m128i before = LoadFourSamples(x + 2 * c - 1);
        auto low = [](__m128i v) { return _mm_cvtepi32_pd(v); };
        auto high = [](__m128i v) { return _mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 2, 3, 2))); };
        const __m128d y0 = _mm_mul_pd(_mm_sub_pd(low(now), _mm_mul_pd(pre, low(before))), _mm_loadu_pd(w + 2 * c));
        const __m128d y1 = _mm_mul_pd(_mm_sub_pd(high(now), _mm_mul_pd(pre, high(before))), _mm_loadu_pd(w + 2 * c + 2));
        Store2(b + 2 * place(c), y0);
        Store2(b + 2 * place(c + 1), y1);
        _mm_storeu_pd(squares + 2 * c - 1, _mm_mul_pd(y0, y0));
        _mm_storeu_pd(squares + 2 * c + 1, _mm_mul_pd(y1, y1));
        sum += squares[c - 1];
        sum += squares[c];
    }
    for (; 2 * c + 1 < n; ++c) {
        const __m128d y = _mm_mul_pd(_mm_sub_pd(LoadSamples(x + 2 * c), _mm_mul_pd(pre, LoadSamples(x + 2 * c - 1))),
                                     _mm_loadu_pd(w + 2 * c));
        Store2(b + 2 * place(c), y);
        _mm_storeu_pd(squares + 2 * c - 1, _mm_mul_pd(y, y));
        sum += squares[c - 1];
    }
    energy.sum = sum;
    energy.next = c - 1;
    for (; c < points; ++c) {
        float* p = b + 2 * place(c);
        p[0] = 0.0f;
        p[1] = 0.0f;
        if (2 * c < n) {
            const double y = value(2 * c);
            p[0] = static_cast<float>(y);
            squares[2 * c - 1] = y * y;
        }
    }
}

float LargestLevel(const float* levels, int32_t bins, float floor)
{
    __m128 mx = _mm_set1_ps(floor);
    int32_t k = 0;
    for (; k + 4 <= bins; k += 4)
        mx = _mm_max_ps(mx, _mm_loadu_ps(levels + k));
    mx = _mm_max_ps(mx, _mm_movehl_ps(mx, mx));
    mx = _mm_max_ss(mx, _mm_shuffle_ps(mx, mx, 1));
    float largest = _mm_cvtss_f32(mx);
    for (; k < bins; ++k)
        largest = std::max(largest, levels[k]);
    return largest;
}

// When every partial sum is exact (the values span at most 53 - 24 -
// log2(2h) binary orders) the order does not matter and the sum is formed
// two lanes at a time; otherwise value after value.
double MirrorSum(const float* s, int32_t h)
{
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
    __m128 mx = _mm_setzero_ps();
    __m128 mn = inf;
    __m128d s0 = _mm_setzero_pd(), s1 = s0;
    int32_t k = 0;
    for (; k + 4 <= h; k += 4) {
        const __m128 v = _mm_loadu_ps(s + k);
        const __m128 a = _mm_and_ps(v, absMask);
        mx = _mm_max_ps(mx, a);
        const __m128 nonzero = _mm_cmpneq_ps(a, _mm_setzero_ps());
        mn = _mm_min_ps(mn, _mm_or_ps(_mm_and_ps(nonzero, a), _mm_andnot_ps(nonzero, inf)));
        s0 = _mm_add_pd(s0, _mm_cvtps_pd(v));
        s1 = _mm_add_pd(s1, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
    }
    float lanesMax[4], lanesMin[4];
    _mm_storeu_ps(lanesMax, mx);
    _mm_storeu_ps(lanesMin, mn);
    float largest = 0.0f, smallest = std::numeric_limits<float>::infinity();
    for (int l = 0; l < 4; ++l) {
        largest = std::max(largest, lanesMax[l]);
        smallest = std::min(smallest, lanesMin[l]);
    }
    bool exact = k == h;
    if (exact && largest > 0.0f) {
        int32_t log2f = 0;
        while ((1 << log2f) < 2 * h)
            ++log2f;
        uint32_t bigBits, smallBits;
        std::memcpy(&bigBits, &largest, sizeof bigBits);
        std::memcpy(&smallBits, &smallest, sizeof smallBits);
        const int32_t eBig = static_cast<int32_t>(bigBits >> 23);
        const int32_t eSmall = static_cast<int32_t>(smallBits >> 23);
        // Every value is a multiple of 2^(eSmall - 150) and the 2h values add
        // up to less than 2^(eBig - 126 + log2f) in magnitude: all partial
        // sums are exact when that is within 2^53 multiples. Subnormal values
        // (eSmall 0), infinities and not-a-numbers fail the test.
        exact = eSmall >= 1 && eBig <= 254 && eBig - eSmall <= 29 - log2f;
    }
    if (!exact)
        return PortableKernels().mirrorSum(s, h);
    // s[0] + s[h-1] + twice s[1] .. s[h-2].
    s0 = _mm_add_pd(s0, s1);
    const double all = _mm_cvtsd_f64(s0) + _mm_cvtsd_f64(_mm_unpackhi_pd(s0, s0));
    return 2.0 * all - s[0] - s[h - 1];
}

// Riding along: the rest of the energy, one term a point, overlapping the
// independent work of the lifter (see WindowIntoTransform for the terms
// before).
void LifterIntoTransform(const float* s, int32_t h, double mean, const double* lifter, float* b, EnergySum& energy)
{
    const BitReversal place(h);
    const __m128d mu = _mm_set1_pd(mean);
    auto put = [&](int32_t c, __m128d v) {
        Store2(b + 2 * place(c), _mm_mul_pd(_mm_sub_pd(v, mu), _mm_load_pd(lifter + 2 * c)));
    };
    // Kept in registers for the loop: point c carries term next + c.
    const double* squares = energy.squares;
    const int32_t count = energy.count;
    int32_t next = energy.next;
    double sum = energy.sum;
    auto add = [&] {
        if (next < count)
            sum += squares[next++];
    };
    put(0, _mm_set_pd(s[h - 1], 0.0f));
    add();
    for (int32_t c = 1; c < h / 2; ++c) {
        const __m128d v = Load2(s + h - 2 * c - 1);  // s[h-2c-1], s[h-2c]
        put(c, _mm_shuffle_pd(v, v, 1));
        add();
    }
    for (int32_t c = h / 2; c < h - 1; ++c) {
        put(c, Load2(s + 2 * c - h));
        add();
    }
    put(h - 1, _mm_set_pd(0.0f, s[h - 2]));
    add();
    energy.next = next;
    energy.sum = sum;
}

// The powers of the next bins are formed while the search and the sum, a
// chain of dependent additions, go on.
CepstralPeak CepstralSearch(const float* b, int32_t first, int32_t last, float start)
{
    CepstralPeak peak{1, start, 0.0};
    auto take = [&](int32_t q, double power) {
        if (power > peak.power) {
            peak.power = static_cast<float>(power);
            peak.index = q;
        }
        peak.total += power;
    };
    int32_t q = first;
    for (; q + 1 <= last; q += 2) {
        const __m128 v = _mm_loadu_ps(b + 2 * q);
        const __m128d lo = _mm_cvtps_pd(v);
        const __m128d hi = _mm_cvtps_pd(_mm_movehl_ps(v, v));
        const __m128d lo2 = _mm_mul_pd(lo, lo);
        const __m128d hi2 = _mm_mul_pd(hi, hi);
        const __m128d power = _mm_add_pd(_mm_unpacklo_pd(lo2, hi2), _mm_unpackhi_pd(lo2, hi2));
        take(q, _mm_cvtsd_f64(power));
        take(q + 1, _mm_cvtsd_f64(_mm_unpackhi_pd(power, power)));
    }
    for (; q <= last; ++q) {
        const double re = b[2 * q];
        const double im = b[2 * q + 1];
        take(q, re * re + im * im);
    }
    return peak;
}

// The running sums are whole numbers below 2^41, so every addition in double
// precision is exact and they may be formed in any grouping: four squares at
// a time, each group summed within itself and then added to the total so
// far. The chain from group to group is one addition.
void RunningEnergy(const int16_t* x, int32_t count, double* energy)
{
    energy[0] = 0.0;
    const __m128i zero = _mm_setzero_si128();
    const __m128d none = _mm_setzero_pd();
    __m128d total = none;
    int32_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i four = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + i));
        const __m128i v = _mm_unpacklo_epi16(four, zero);  // each sample beside a zero
        const __m128i sq = _mm_madd_epi16(v, v);  // x^2 <= 2^30: exact
        const __m128d s01 = _mm_cvtepi32_pd(sq);  // {x0^2, x1^2}
        const __m128d s23 = _mm_cvtepi32_pd(_mm_shuffle_epi32(sq, _MM_SHUFFLE(3, 2, 3, 2)));
        const __m128d p01 = _mm_add_pd(s01, _mm_unpacklo_pd(none, s01));  // {x0^2, x0^2 + x1^2}
        const __m128d p23 = _mm_add_pd(_mm_add_pd(s23, _mm_unpacklo_pd(none, s23)), _mm_unpackhi_pd(p01, p01));
        _mm_storeu_pd(energy + i + 1, _mm_add_pd(p01, total));
        const __m128d end = _mm_add_pd(p23, total);
        _mm_storeu_pd(energy + i + 3, end);
        total = _mm_unpackhi_pd(end, end);
    }
    double acc = _mm_cvtsd_f64(total);
    for (; i < count; ++i) {
        acc += static_cast<double>(static_cast<int32_t>(x[i]) * x[i]);
        energy[i + 1] = acc;
    }
}

float LagEstimates(const double* ab, const double* c, int32_t lags, float* estimate)
{
    __m128 largest = _mm_set1_ps(-std::numeric_limits<float>::infinity());
    for (int32_t j = 0; j < lags; j += 4) {
        const __m128 abv = _mm_movelh_ps(_mm_cvtpd_ps(_mm_load_pd(ab + j)), _mm_cvtpd_ps(_mm_load_pd(ab + j + 2)));
        const __m128 cv = _mm_movelh_ps(_mm_cvtpd_ps(_mm_load_pd(c + j)), _mm_cvtpd_ps(_mm_load_pd(c + j + 2)));
        const __m128 q = _mm_div_ps(cv, _mm_sqrt_ps(abv));
        _mm_storeu_ps(estimate + j, q);
        largest = _mm_max_ps(q, largest);  // a not-a-number q leaves largest as it is
    }
    largest = _mm_max_ps(largest, _mm_movehl_ps(largest, largest));
    largest = _mm_max_ss(largest, _mm_shuffle_ps(largest, largest, 1));
    return _mm_cvtss_f32(largest);
}

}  // namespace sse2

namespace {

constexpr Kernels kSse2 = {sse2::FftStages,          sse2::RealFftUntangle,     sse2::LagProducts,
                           sse2::SpectrumLevels,     sse2::LargestLevel,        sse2::WindowIntoTransform,
                           sse2::MirrorSum,          sse2::LifterIntoTransform, sse2::CepstralSearch,
                           sse2::RunningEnergy,      sse2::LagEstimates};
#if !VOCALUME_SSE2_ONLY
// AVX2 where the wider lanes pay; the glue of the analysis stays SSE2.
constexpr Kernels kAvx2 = {avx2::FftStages,          avx2::RealFftUntangle,     avx2::LagProducts,
                           avx2::SpectrumLevels,     sse2::LargestLevel,        sse2::WindowIntoTransform,
                           sse2::MirrorSum,          sse2::LifterIntoTransform, sse2::CepstralSearch,
                           sse2::RunningEnergy,      sse2::LagEstimates};
#endif

}  // namespace

const Kernels& Sse2Kernels() { return kSse2; }
#if !VOCALUME_SSE2_ONLY
const Kernels& Avx2Kernels() { return kAvx2; }
#endif

}  // namespace vocalume::simd
