// AVX2 build of the vectorised kernels: the SSE2 ones (simd_kernels_sse2.cpp) with
// four double lanes and sixteen 16-bit lanes, performing per element the same
// operations in the same order. This file is compiled for AVX2 and must only
// run after the processor has been found to support it; it calls no inline
// functions of other headers, so no AVX2 copy of them can leak into the rest
// of the program.
#include <immintrin.h>

#include "simd_kernels_x86.h"

namespace vocalume::simd::avx2 {
namespace {

// Four single-precision values (two complex points) widened to double.
inline __m256d Load4(const float* p)
{
    return _mm256_cvtps_pd(_mm_loadu_ps(p));
}

inline void Store4(float* p, __m256d v)
{
    _mm_storeu_ps(p, _mm256_cvtpd_ps(v));
}

// Rounds to single precision and back, as storing and reloading would.
inline __m256d Round(__m256d v)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(v));
}

// The twiddle product {wr*re - wi*im, wr*im + wi*re} of each point; wiNeg
// holds {wi, -wi} so that the second lane is wr*im - (-wi)*re, which is
// wr*im + wi*re to the bit.
inline __m256d Twiddle(__m256d wr, __m256d wiNeg, __m256d v)
{
    return _mm256_sub_pd(_mm256_mul_pd(wr, v), _mm256_mul_pd(wiNeg, _mm256_permute_pd(v, 0b0101)));
}

inline uint32_t Sum32(__m256i v)
{
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(1, 0, 3, 2)));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(s));
}

// Four lags of products over iters blocks of sixteen samples.
inline void FourLags(const int16_t* x, int32_t a, int32_t iters, uint32_t* sums)
{
    __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
    for (int32_t t = 0; t < iters; ++t) {
        const int16_t* p = x + 16 * t;
        const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
        s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + a))));
        s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + a + 1))));
        s2 = _mm256_add_epi32(s2, _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + a + 2))));
        s3 = _mm256_add_epi32(s3, _mm256_madd_epi16(v, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + a + 3))));
    }
    sums[0] = Sum32(s0);
    sums[1] = Sum32(s1);
    sums[2] = Sum32(s2);
    sums[3] = Sum32(s3);
}

}  // namespace

void FftStages(float* d, int32_t n, const FftTwiddles& tw)
{
    if (n < 4) {
        sse2::FftStages(d, n, tw);
        return;
    }
    // The first two stages together, four points at a time: points 0 and 1
    // and points 2 and 3 with the twiddle of stage 1, then points 0 and 2
    // and points 1 and 3 with the two twiddles of stage 2.
    {
        const __m256d wr1 = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(tw.stageRe + 2));
        const __m256d wi1 = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(tw.stageIm + 2));
        const __m256d wr2 = _mm256_load_pd(tw.stageRe + 4);
        const __m256d wi2 = _mm256_load_pd(tw.stageIm + 4);
        for (int32_t k = 0; k < n; k += 4) {
            float* p = d + 2 * k;
            const __m256d y0 = Load4(p);      // points 0, 1
            const __m256d y1 = Load4(p + 4);  // points 2, 3
            const __m256d i1 = _mm256_permute2f128_pd(y0, y1, 0x20);  // points 0, 2
            const __m256d j1 = _mm256_permute2f128_pd(y0, y1, 0x31);  // points 1, 3
            const __m256d t1 = Twiddle(wr1, wi1, j1);
            const __m256d hi = Round(_mm256_add_pd(i1, t1));  // new points 0, 2
            const __m256d lo = Round(_mm256_sub_pd(i1, t1));  // new points 1, 3
            const __m256d i2 = _mm256_permute2f128_pd(hi, lo, 0x20);  // points 0, 1
            const __m256d j2 = _mm256_permute2f128_pd(hi, lo, 0x31);  // points 2, 3
            const __m256d t2 = Twiddle(wr2, wi2, j2);
            Store4(p + 4, _mm256_sub_pd(i2, t2));
            Store4(p, _mm256_add_pd(i2, t2));
        }
    }
    for (int32_t hs = 4; hs < n; hs *= 2) {
        const int32_t step = 2 * hs;
        for (int32_t p = 0; p < hs; p += 2) {
            const __m256d wr = _mm256_load_pd(tw.stageRe + 2 * (hs + p));  // twiddles p, p + 1
            const __m256d wi = _mm256_load_pd(tw.stageIm + 2 * (hs + p));
            for (int32_t k = p; k < n; k += step) {
                float* pk = d + 2 * k;
                float* pj = pk + step;
                const __m256d dk = Load4(pk);
                const __m256d t = Twiddle(wr, wi, Load4(pj));
                Store4(pj, _mm256_sub_pd(dk, t));
                Store4(pk, _mm256_add_pd(dk, t));
            }
        }
    }
}

void RealFftUntangle(float* d, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw)
{
    const __m256d c1 = _mm256_set1_pd(0.5);
    const __m256d c2v = _mm256_setr_pd(-c2, c2, -c2, c2);
    const __m256d signLo = _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0);
    const __m256d signHi = _mm256_setr_pd(0.0, -0.0, 0.0, -0.0);
    int32_t i = iFirst;
    // Steps i and i + 1 together: points i - 1, i from the front and
    // n + 1 - i, n - i from the back.
    for (; i + 1 <= iLast; i += 2) {
        float* p1 = d + 2 * (i - 1);
        float* p3 = d + 2 * (n - i);
        const __m256d a = Load4(p1);
        const __m256d b = _mm256_permute4x64_pd(Load4(p3), 0x4e);  // points n + 1 - i, n - i
        const __m256d s = _mm256_add_pd(a, b);
        const __m256d m = _mm256_sub_pd(a, b);
        const __m256d h1 = _mm256_mul_pd(c1, _mm256_blend_pd(m, s, 0b0101));      // {h1r, h1i}
        const __m256d h2 = _mm256_mul_pd(c2v, _mm256_shuffle_pd(s, m, 0b0101));   // {h2r, h2i}
        const __m256d wr = _mm256_loadu_pd(tw.postRe + 2 * (n / 2 + i - 2));
        const __m256d wi = _mm256_loadu_pd(tw.postIm + 2 * (n / 2 + i - 2));
        const __m256d p = _mm256_mul_pd(wr, h2);
        const __m256d q = _mm256_mul_pd(wi, _mm256_permute_pd(h2, 0b0101));
        Store4(p1, _mm256_add_pd(_mm256_add_pd(h1, p), _mm256_xor_pd(q, signLo)));
        const __m256d back = _mm256_add_pd(_mm256_add_pd(_mm256_xor_pd(h1, signHi), _mm256_xor_pd(p, signLo)), q);
        Store4(p3, _mm256_permute4x64_pd(back, 0x4e));
    }
    if (i <= iLast)
        sse2::RealFftUntangle(d, n, i, iLast, c2, tw);
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
        const int32_t iters = (m + 15) / 16;
        uint32_t low[4];
        FourLags(xp, a, iters, low);
        if (!wide[blk]) {
            for (int l = 0; l < 4; ++l)
                out[l] = static_cast<int32_t>(low[l]);  // exact in double
            continue;
        }
        uint32_t coarse[4];
        FourLags(xh, a, iters, coarse);
        for (int l = 0; l < 4; ++l) {
            const int64_t approx = static_cast<int64_t>(static_cast<int32_t>(coarse[l])) << (2 * kCoarseShift);
            const uint32_t diff = low[l] - static_cast<uint32_t>(approx);
            out[l] = static_cast<double>(approx + static_cast<int32_t>(diff));  // below 2^41: exact
        }
    }
}

namespace {

// Levels of four bins (re0 im0 .. re3 im3), as LevelsOfTwo of the SSE2 build.
struct FourLevels {
    __m128 levels;
    int ok;
};

inline FourLevels LevelsOfFour(__m256 v, __m256d scale)
{
    // re0 .. re3 in the low half, im0 .. im3 in the high half.
    const __m256 split = _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    const __m256d re = _mm256_cvtps_pd(_mm256_castps256_ps128(split));
    const __m256d im = _mm256_cvtps_pd(_mm256_extractf128_ps(split, 1));
    // (re*re + im*im) / f, the division by a power of two done as the
    // identical multiplication.
    const __m256d power = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im)), scale);
    const __m256d floored = _mm256_cmp_pd(power, _mm256_set1_pd(1e-10), _CMP_NGE_UQ);

    // power = 2^e * m with m in [sqrt(1/2), sqrt(2)); e formed from its
    // bits, as 2^52 + biased exponent less 2^52 + 1023.
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256i bits = _mm256_castpd_si256(power);
    __m256d m = _mm256_castsi256_pd(
        _mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi64x(kMantissaBits)), _mm256_set1_epi64x(kOneBits)));
    const __m256d big = _mm256_cmp_pd(m, _mm256_set1_pd(kSqrt2), _CMP_GT_OQ);
    m = _mm256_blendv_pd(m, _mm256_mul_pd(m, _mm256_set1_pd(0.5)), big);
    const __m256d biased = _mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(bits, 52), _mm256_set1_epi64x(kTwo52Bits)));
    const __m256d e = _mm256_add_pd(_mm256_sub_pd(biased, _mm256_set1_pd(0x1p52 + 1023.0)), _mm256_and_pd(big, one));
    const __m256d s = _mm256_div_pd(_mm256_sub_pd(m, one), _mm256_add_pd(m, one));
    const __m256d z = _mm256_mul_pd(s, s);
    const __m256d z2 = _mm256_mul_pd(z, z);
    const __m256d z4 = _mm256_mul_pd(z2, z2);
    auto pair = [&](int j) {
        return _mm256_add_pd(_mm256_set1_pd(kAtanhSeries[j]), _mm256_mul_pd(_mm256_set1_pd(kAtanhSeries[j + 1]), z));
    };
    const __m256d poly = _mm256_add_pd(_mm256_add_pd(pair(0), _mm256_mul_pd(z2, pair(2))),
                                       _mm256_mul_pd(z4, _mm256_add_pd(pair(4), _mm256_mul_pd(z2, pair(6)))));
    const __m256d level = _mm256_add_pd(_mm256_mul_pd(e, _mm256_set1_pd(kTenLog10Of2)),
                                        _mm256_mul_pd(_mm256_mul_pd(s, poly), _mm256_set1_pd(kTwentyOverLn10)));

    const __m256i offTie = _mm256_sub_epi64(_mm256_and_si256(_mm256_castpd_si256(level), _mm256_set1_epi64x(kDroppedBits)),
                                            _mm256_set1_epi64x(kTieBits));
    const __m256i far = _mm256_or_si256(_mm256_cmpgt_epi64(offTie, _mm256_set1_epi64x(kTieDistance)),
                                        _mm256_cmpgt_epi64(_mm256_set1_epi64x(-kTieDistance), offTie));
    const __m256d normal =
        _mm256_and_pd(_mm256_cmp_pd(power, _mm256_set1_pd(kLargestPower), _CMP_LE_OQ),
                      _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), level), _mm256_set1_pd(kSmallestLevel), _CMP_GE_OQ));
    FourLevels out;
    out.levels = _mm256_cvtpd_ps(_mm256_blendv_pd(level, _mm256_set1_pd(-100.0), floored));
    out.ok = (_mm256_movemask_pd(_mm256_castsi256_pd(far)) & _mm256_movemask_pd(normal)) | _mm256_movemask_pd(floored);
    return out;
}

}  // namespace

int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry)
{
    const __m256d scale = _mm256_set1_pd(invF);
    int32_t nRetry = 0;
    auto note = [&](int ok, int32_t k) {
        for (int l = 0; l < 4; ++l)
            if (!(ok & (1 << l)))
                retry[nRetry++] = k + l;
    };
    int32_t k = 0;
    // Eight bins a step, as two independent halves for the processor to overlap.
    for (; k + 8 <= bins; k += 8) {
        const FourLevels a = LevelsOfFour(_mm256_loadu_ps(b + 2 * k), scale);
        const FourLevels c = LevelsOfFour(_mm256_loadu_ps(b + 2 * k + 8), scale);
        _mm_storeu_ps(levels + k, a.levels);
        _mm_storeu_ps(levels + k + 4, c.levels);
        if ((a.ok & c.ok) != 15) {
            note(a.ok, k);
            note(c.ok, k + 4);
        }
    }
    if (k < bins) {
        // The remaining bins, numbered from their own start.
        const int32_t tail = sse2::SpectrumLevels(b + 2 * k, bins - k, invF, levels + k, retry + nRetry);
        for (int32_t j = 0; j < tail; ++j)
            retry[nRetry++] += k;
    }
    return nRetry;
}

}  // namespace vocalume::simd::avx2
