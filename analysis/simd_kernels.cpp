// Recorded twiddle tables, the choice of vector build, and the SSE2 build of
// the vectorised kernels. See simd_kernels.h; the level arithmetic is
// explained at SpectrumLevels.
#include "simd_kernels.h"

#include <emmintrin.h>

#include <atomic>
#include <cmath>
#include <memory>

#include "spectral_kernels.h"

namespace vocalume::simd {
namespace {

void RecordTwiddles(FftTwiddles& tw, int32_t direction)
{
    // The butterfly stages: the recurrence of ComplexFFT, value for value.
    for (int32_t mmax = 2; mmax <= kMaxComplexPoints; mmax *= 2) {
        const int32_t hs = mmax / 2;
        const double theta = kTwoPiTransform / (direction * mmax);
        const double t = std::sin(0.5 * theta);
        const double wpr = -2.0 * t * t;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int32_t p = 0; p < hs; ++p) {
            double* re = tw.stageRe + 2 * (hs + p);
            double* im = tw.stageIm + 2 * (hs + p);
            re[0] = wr;
            re[1] = wr;
            im[0] = wi;
            im[1] = -wi;
            const double wtemp = wr;
            wr = wr + (wr * wpr - wi * wpi);
            wi = wi + (wi * wpr + wtemp * wpi);
        }
    }
    // The untangling loop of RealFFT for every n.
    for (int32_t n = 4; n <= kMaxComplexPoints; n *= 2) {
        double theta = kPi / n;
        if (direction != 1)
            theta = -theta;
        const double t = std::sin(0.5 * theta);
        const double wpr = -2.0 * t * t;
        const double wpi = std::sin(theta);
        double wr = 1.0 + wpr;
        double wi = wpi;
        for (int32_t i = 2; i <= n / 2; ++i) {
            double* re = tw.postRe + 2 * (n / 2 + i - 2);
            double* im = tw.postIm + 2 * (n / 2 + i - 2);
            re[0] = wr;
            re[1] = wr;
            im[0] = wi;
            im[1] = wi;
            const double wtemp = wr;
            wr = wr + (wr * wpr - wi * wpi);
            wi = wi + (wi * wpr + wtemp * wpi);
        }
    }
}

std::unique_ptr<FftTwiddles> MakeTwiddles(int32_t direction)
{
    auto tw = std::make_unique<FftTwiddles>();
    RecordTwiddles(*tw, direction);
    return tw;
}

const Kernels kSse2Kernels = {sse2::FftStages, sse2::RealFftUntangle, sse2::LagProducts, sse2::SpectrumLevels};
const Kernels kAvx2Kernels = {avx2::FftStages, avx2::RealFftUntangle, avx2::LagProducts, avx2::SpectrumLevels};

Level DetectLevel()
{
#if defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return Level::kAvx2;
#endif
    return Level::kSse2;
}

std::atomic<const Kernels*>& ActivePointer()
{
    static std::atomic<const Kernels*> active{&ForLevel(BestLevel())};
    return active;
}

}  // namespace

const FftTwiddles& Twiddles(int32_t direction)
{
    static const std::unique_ptr<FftTwiddles> forward = MakeTwiddles(1);
    static const std::unique_ptr<FftTwiddles> inverse = MakeTwiddles(-1);
    return direction == 1 ? *forward : *inverse;
}

Level BestLevel()
{
    static const Level best = DetectLevel();
    return best;
}

const Kernels& ForLevel(Level level)
{
    return level == Level::kAvx2 && BestLevel() == Level::kAvx2 ? kAvx2Kernels : kSse2Kernels;
}

Level ActiveLevel()
{
    return ActivePointer().load(std::memory_order_relaxed) == &kAvx2Kernels ? Level::kAvx2 : Level::kSse2;
}

void UseLevel(Level level)
{
    ActivePointer().store(&ForLevel(level), std::memory_order_relaxed);
}

const Kernels& Active()
{
    return *ActivePointer().load(std::memory_order_relaxed);
}

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

inline uint32_t Sum32(__m128i v)
{
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

}  // namespace

namespace {

// The twiddle product {wr*re - wi*im, wr*im + wi*re} of a point; wiNeg holds
// {wi, -wi} so that the second lane is wr*im - (-wi)*re, which is
// wr*im + wi*re to the bit.
inline __m128d Twiddle(__m128d wr, __m128d wiNeg, __m128d v)
{
    return _mm_sub_pd(_mm_mul_pd(wr, v), _mm_mul_pd(wiNeg, _mm_shuffle_pd(v, v, 1)));
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
    for (; hs < n; hs *= 2) {
        const int32_t step = 2 * hs;
        for (int32_t p = 0; p < hs; ++p) {
            const __m128d wr = _mm_load_pd(tw.stageRe + 2 * (hs + p));  // {wr, wr}
            const __m128d wi = _mm_load_pd(tw.stageIm + 2 * (hs + p));  // {wi, -wi}
            for (int32_t k = p; k < n; k += step) {
                float* pk = d + 2 * k;
                float* pj = pk + step;
                const __m128d dk = Load2(pk);
                const __m128d t = Twiddle(wr, wi, Load2(pj));
                Store2(pj, _mm_sub_pd(dk, t));
                Store2(pk, _mm_add_pd(dk, t));
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
        const __m128d q = _mm_mul_pd(wi, _mm_shuffle_pd(h2, h2, 1));       // {wi*h2i, wi*h2r}
        // d(i1) = h1r + wr*h2r - wi*h2i, d(i2) = h1i + wr*h2i + wi*h2r
        Store2(p1, _mm_add_pd(_mm_add_pd(h1, p), _mm_xor_pd(q, signLo)));
        // d(i3) = h1r - wr*h2r + wi*h2i, d(i4) = -h1i + wr*h2i + wi*h2r
        Store2(p3, _mm_add_pd(_mm_add_pd(_mm_xor_pd(h1, signHi), _mm_xor_pd(p, signLo)), q));
    }
}

void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c)
{
    for (int32_t blk = 0; blk < blocks; ++blk) {
        const int32_t a = a0 + 4 * blk;
        double* out = c + 4 * blk;
        const int32_t m = count - a;
        if (m <= 0) {
            out[0] = out[1] = out[2] = out[3] = 0.0;
            continue;
        }
        const int32_t iters = (m + 7) / 8;
        __m128i s0 = _mm_setzero_si128(), s1 = s0, s2 = s0, s3 = s0;
        for (int32_t t = 0; t < iters; ++t) {
            const int16_t* p = xp + 8 * t;
            const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a))));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a + 1))));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a + 2))));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a + 3))));
        }
        const uint32_t low[4] = {Sum32(s0), Sum32(s1), Sum32(s2), Sum32(s3)};
        if (!wide[blk]) {
            for (int l = 0; l < 4; ++l)
                out[l] = static_cast<int32_t>(low[l]);  // exact in double
            continue;
        }
        s0 = s1 = s2 = s3 = _mm_setzero_si128();
        for (int32_t t = 0; t < iters; ++t) {
            const int16_t* p = xh + 8 * t;
            const __m128i x = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
            s0 = _mm_add_epi32(s0, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a))));
            s1 = _mm_add_epi32(s1, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a + 1))));
            s2 = _mm_add_epi32(s2, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a + 2))));
            s3 = _mm_add_epi32(s3, _mm_madd_epi16(x, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + a + 3))));
        }
        const uint32_t coarse[4] = {Sum32(s0), Sum32(s1), Sum32(s2), Sum32(s3)};
        for (int l = 0; l < 4; ++l) {
            // The coarse sum is exact (it stays within 2^30) and pins the
            // full sum down to within 2^31; the low 32 bits do the rest.
            const int64_t approx = static_cast<int64_t>(static_cast<int32_t>(coarse[l])) << (2 * kCoarseShift);
            const uint32_t diff = low[l] - static_cast<uint32_t>(approx);
            out[l] = static_cast<double>(approx + static_cast<int32_t>(diff));  // below 2^41: exact
        }
    }
}

namespace {

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

    // power = 2^e * m with m in [sqrt(1/2), sqrt(2)).
    const __m128d one = _mm_set1_pd(1.0);
    // e formed from the bits, as 2^52 + biased exponent less 2^52 + 1023.
    const __m128i bits = _mm_castpd_si128(power);
    __m128d m = _mm_castsi128_pd(
        _mm_or_si128(_mm_and_si128(bits, _mm_set1_epi64x(kMantissaBits)), _mm_set1_epi64x(kOneBits)));
    const __m128d big = _mm_cmpgt_pd(m, _mm_set1_pd(kSqrt2));
    m = _mm_or_pd(_mm_and_pd(big, _mm_mul_pd(m, _mm_set1_pd(0.5))), _mm_andnot_pd(big, m));
    const __m128d biased = _mm_castsi128_pd(_mm_or_si128(_mm_srli_epi64(bits, 52), _mm_set1_epi64x(kTwo52Bits)));
    const __m128d e = _mm_add_pd(_mm_sub_pd(biased, _mm_set1_pd(0x1p52 + 1023.0)), _mm_and_pd(big, one));
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

    // Trusted when the 29 bits single precision drops lie far from a tie.
    const __m128i tail = _mm_shuffle_epi32(_mm_castpd_si128(level), _MM_SHUFFLE(3, 3, 2, 0));
    const __m128i offTie = _mm_sub_epi32(_mm_and_si128(tail, _mm_set1_epi32(kDroppedBits)), _mm_set1_epi32(kTieBits));
    const __m128i far = _mm_or_si128(_mm_cmpgt_epi32(offTie, _mm_set1_epi32(kTieDistance)),
                                     _mm_cmplt_epi32(offTie, _mm_set1_epi32(-kTieDistance)));
    const __m128d normal = _mm_and_pd(_mm_cmple_pd(power, _mm_set1_pd(kLargestPower)),
                                      _mm_cmpge_pd(_mm_andnot_pd(_mm_set1_pd(-0.0), level), _mm_set1_pd(kSmallestLevel)));
    TwoLevels out;
    out.levels = _mm_cvtpd_ps(_mm_or_pd(_mm_and_pd(floored, _mm_set1_pd(-100.0)), _mm_andnot_pd(floored, level)));
    out.ok = (_mm_movemask_ps(_mm_castsi128_ps(far)) & _mm_movemask_pd(normal) & 3) | _mm_movemask_pd(floored);
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

}  // namespace sse2
}  // namespace vocalume::simd
