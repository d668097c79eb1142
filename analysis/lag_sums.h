// The exact integer sums behind the normalised autocorrelation: for each lag
// a, A = x[0]^2 + ... + x[m-1]^2, B = x[a]^2 + ... + x[count-1]^2 and
// C = x[0]x[a] + ... + x[m-1]x[count-1], m = count - a. Summed in any order
// they are the same integers the plain double-precision loops reach (every
// partial sum stays far below 2^53, so every one of those additions is
// exact), and the correlation formed from them is the plain one to the bit.
// Internal to the analysis library; each caller has its own instance.
#pragma once

#include <cmath>
#include <cstdint>

#include "simd_kernels.h"

namespace vocalume {

struct LagSums {
    // The samples and their coarse copy, each followed by zeros so that
    // vector loads past the end read nothing that counts.
    alignas(32) int16_t samples[simd::kMaxLagSamples + simd::kLagPadding];
    alignas(32) int16_t coarse[simd::kMaxLagSamples + simd::kLagPadding];
    // energy[k] = x[0]^2 + ... + x[k-1]^2 (exact).
    alignas(32) double energy[simd::kMaxLagSamples + 1];
    // For lag amin + j: A * B (rounded) and C (exact); zero for lags whose
    // segments do not overlap, and for the unused lags that fill the last
    // group of four.
    alignas(32) double segmentEnergies[simd::kMaxLagSamples + 8];
    alignas(32) double products[simd::kMaxLagSamples + 8];
    uint8_t wide[simd::kMaxLagSamples / 4 + 2];
};

// Copies count (1 .. kMaxLagSamples) samples and forms the energy sums.
void PrepareLagSums(const int16_t* x, int32_t count, LagSums& sums);

// Forms A * B and C for lags amin .. amax (0 <= amin <= amax, at most
// kMaxLagSamples lags) after PrepareLagSums.
void ComputeLagSums(LagSums& sums, int32_t count, int32_t amin, int32_t amax);

// r = (C/m) / (sqrt(A) * sqrt(B) / m) for lag a, in double precision exactly
// as written; not a number when m <= 0 or either segment is silent.
inline double LagCorrelation(const LagSums& sums, int32_t count, int32_t amin, int32_t a)
{
    const int32_t m = count - a;
    double sa = 0.0, sb = 0.0, sc = 0.0;
    if (m > 0) {
        sa = sums.energy[m];
        sb = sums.energy[count] - sums.energy[a];
        sc = sums.products[a - amin];
    }
    return (sc / m) / (std::sqrt(sa) * std::sqrt(sb) / m);
}

// LagCorrelation for every lag amin .. amax into r[a - amin].
void LagCorrelations(const LagSums& sums, int32_t count, int32_t amin, int32_t amax, double* r);

// The outcome of the search over lags amin .. amax after ComputeLagSums: the
// lag of the strictly largest correlation above -1 (smallest lag on ties, 0
// when none scores) and that correlation in single precision (-1 when none),
// as the plain search finds them, without forming most correlations.
int32_t BestLag(const LagSums& sums, int32_t count, int32_t amin, int32_t amax, float& peak);

}  // namespace vocalume
