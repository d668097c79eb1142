#include "lag_sums.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace vocalume {

void PrepareLagSums(const int16_t* x, int32_t count, LagSums& sums)
{
    std::memcpy(sums.samples, x, sizeof(int16_t) * static_cast<size_t>(count));
    std::memset(sums.samples + count, 0, sizeof(int16_t) * simd::kLagPadding);
    // The running sums are whole numbers below 2^41, so every addition in
    // double precision is exact and they may be formed in any grouping: four
    // squares at a time, each group summed within itself and then added to
    // the total so far. The chain from group to group is one addition.
    sums.energy[0] = 0.0;
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
        _mm_storeu_pd(sums.energy + i + 1, _mm_add_pd(p01, total));
        const __m128d end = _mm_add_pd(p23, total);
        _mm_storeu_pd(sums.energy + i + 3, end);
        total = _mm_unpackhi_pd(end, end);
    }
    double acc = _mm_cvtsd_f64(total);
    for (; i < count; ++i) {
        acc += static_cast<double>(static_cast<int32_t>(x[i]) * x[i]);
        sums.energy[i + 1] = acc;
    }
}

void ComputeLagSums(LagSums& sums, int32_t count, int32_t amin, int32_t amax)
{
    const int32_t blocks = (amax - amin + 4) / 4;
    // Lags whose segments overlap: amin .. last.
    const int32_t last = std::min(amax, count - 1);
    const double total = sums.energy[count];
    int32_t j = 0;
    for (; j + amin <= last; ++j)
        sums.segmentEnergies[j] = sums.energy[count - amin - j] * (total - sums.energy[amin + j]);
    for (; j < 4 * blocks; ++j)
        sums.segmentEnergies[j] = 0.0;
    // A block may use the cheap 32-bit sums when every lag in it has
    // A * B < 2^62 (the rounded product being below 2^62 shows that the exact
    // one is): then |C| <= sqrt(A * B) < 2^31 (Cauchy-Schwarz), and the
    // wrapped 32-bit sum is C itself.
    bool anyWide = false;
    for (int32_t blk = 0; blk < blocks; ++blk) {
        const double* ab = sums.segmentEnergies + 4 * blk;
        const bool wide = !(std::max(std::max(ab[0], ab[1]), std::max(ab[2], ab[3])) < 0x1p62);
        sums.wide[blk] = wide ? 1 : 0;
        anyWide = anyWide || wide;
    }
    if (anyWide) {
        for (int32_t i = 0; i < count; ++i)
            sums.coarse[i] = static_cast<int16_t>(sums.samples[i] >> simd::kCoarseShift);
        std::memset(sums.coarse + count, 0, sizeof(int16_t) * simd::kLagPadding);
    }
    simd::Active().lagProducts(sums.samples, sums.coarse, count, amin, blocks, sums.wide, sums.products);
    for (j = amax - amin + 1; j < 4 * blocks; ++j)
        sums.products[j] = 0.0;  // the lags that only fill the last group
}

void LagCorrelations(const LagSums& sums, int32_t count, int32_t amin, int32_t amax, double* r)
{
    // The three sums and the overlap of lag a, as doubles (all exact).
    auto operands = [&](int32_t a, double& sa, double& sb, double& sc, double& m) {
        m = count - a;
        sa = sb = sc = 0.0;
        if (count - a > 0) {
            sa = sums.energy[count - a];
            sb = sums.energy[count] - sums.energy[a];
            sc = sums.products[a - amin];
        }
    };
    int32_t a = amin;
    for (; a + 1 <= amax; a += 2) {
        double sa0, sb0, sc0, m0, sa1, sb1, sc1, m1;
        operands(a, sa0, sb0, sc0, m0);
        operands(a + 1, sa1, sb1, sc1, m1);
        const __m128d m = _mm_set_pd(m1, m0);
        const __m128d denominator = _mm_div_pd(
            _mm_mul_pd(_mm_sqrt_pd(_mm_set_pd(sa1, sa0)), _mm_sqrt_pd(_mm_set_pd(sb1, sb0))), m);
        _mm_storeu_pd(r + (a - amin), _mm_div_pd(_mm_div_pd(_mm_set_pd(sc1, sc0), m), denominator));
    }
    if (a <= amax)
        r[a - amin] = LagCorrelation(sums, count, amin, a);
}

// The plain search keeps the best correlation so far in single precision and
// takes a lag when its correlation r exceeds it. Let R be the largest
// correlation and M its single-precision rounding. The search ends with best
// = M, and with the lag that is the last to exceed M or, if none does, the
// first whose rounding is M; every such lag has r >= R - 2^-23 (|r| <= 1 up
// to rounding). So the search over only the lags with r >= R - 2^-23, in
// order, ends the same way.
//
// Those lags are found with an estimate q = C / sqrt(A * B) in single
// precision: A * B, C, the root and the quotient each round by at most 2^-24
// relatively, so |q - r| < 2^-22 (the double-precision r is within a few
// 2^-53 of the same real value, of magnitude at most 1). Every lag with
// r >= R - 2^-23 has q >= max(q) - 2^-23 - 2 * 2^-22 > max(q) - 2^-20; only
// the lags above that are formed exactly, usually one or two. Lags with
// silent segments give 0/0 and are never candidates, as in the plain search
// they never win.
int32_t BestLag(const LagSums& sums, int32_t count, int32_t amin, int32_t amax, float& peak)
{
    const int32_t last = std::min(amax, count - 1);
    peak = -1.0f;
    if (last < amin)
        return 0;
    const int32_t lags = last - amin + 1;
    float estimate[simd::kMaxLagSamples + 8];
    __m128 largest = _mm_set1_ps(-std::numeric_limits<float>::infinity());
    int32_t j = 0;
    for (; j < lags; j += 4) {
        // Lags past `last` have A * B = C = 0 and give not-a-number.
        const __m128 ab = _mm_movelh_ps(_mm_cvtpd_ps(_mm_load_pd(sums.segmentEnergies + j)),
                                        _mm_cvtpd_ps(_mm_load_pd(sums.segmentEnergies + j + 2)));
        const __m128 c = _mm_movelh_ps(_mm_cvtpd_ps(_mm_load_pd(sums.products + j)),
                                       _mm_cvtpd_ps(_mm_load_pd(sums.products + j + 2)));
        const __m128 q = _mm_div_ps(c, _mm_sqrt_ps(ab));
        _mm_storeu_ps(estimate + j, q);
        largest = _mm_max_ps(q, largest);  // a not-a-number q leaves largest as it is
    }
    largest = _mm_max_ps(largest, _mm_movehl_ps(largest, largest));
    largest = _mm_max_ss(largest, _mm_shuffle_ps(largest, largest, 1));
    const float threshold = _mm_cvtss_f32(largest) - 0x1p-20f;
    const __m128 limit = _mm_set1_ps(threshold);
    float best = -1.0f;
    int32_t bestLag = 0;
    // Four estimates at a time, in order; most groups hold no candidate.
    for (j = 0; j < lags; j += 4) {
        int candidates = _mm_movemask_ps(_mm_cmpge_ps(_mm_loadu_ps(estimate + j), limit));
        for (int32_t l = 0; candidates != 0; ++l, candidates >>= 1) {
            if (!(candidates & 1) || j + l >= lags)
                continue;
            const double r = LagCorrelation(sums, count, amin, amin + j + l);
            if (r > best) {
                best = static_cast<float>(r);
                bestLag = amin + j + l;
            }
        }
    }
    peak = best;
    return bestLag;
}

}  // namespace vocalume
