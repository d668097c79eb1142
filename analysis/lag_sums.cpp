#include "lag_sums.h"

#include <algorithm>
#include <cstring>

namespace vocalume {

void PrepareLagSums(const int16_t* x, int32_t count, LagSums& sums)
{
    std::memcpy(sums.samples, x, sizeof(int16_t) * static_cast<size_t>(count));
    std::memset(sums.samples + count, 0, sizeof(int16_t) * simd::kLagPadding);
    simd::Active().runningEnergy(x, count, sums.energy);
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
    for (int32_t a = amin; a <= amax; ++a)
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
    const float threshold =
        simd::Active().lagEstimates(sums.segmentEnergies, sums.products, lags, estimate) - 0x1p-20f;
    float best = -1.0f;
    int32_t bestLag = 0;
    // Most lags fall below the threshold.
    for (int32_t j = 0; j < lags; ++j) {
        if (!(estimate[j] >= threshold))
            continue;
        const double r = LagCorrelation(sums, count, amin, amin + j);
        if (r > best) {
            best = static_cast<float>(r);
            bestLag = amin + j;
        }
    }
    peak = best;
    return bestLag;
}

}  // namespace vocalume
