// The portable build of the analysis kernels: each block as the plain loop
// it stands for, on any processor. The vector builds must equal these bit
// for bit. See simd_kernels.h.
#include <algorithm>
#include <cmath>
#include <limits>

#include "signal_kernels.h"
#include "simd_kernels.h"

namespace vocalume::simd {
namespace {

void FftStages(float* d, int32_t n, const FftTwiddles& tw)
{
    for (int32_t hs = 1; hs < n; hs *= 2) {
        for (int32_t p = 0; p < hs; ++p) {
            const double wr = tw.stageRe[2 * (hs + p)];
            const double wi = tw.stageIm[2 * (hs + p)];
            for (int32_t k = p; k < n; k += 2 * hs) {
                float* pk = d + 2 * k;
                float* pj = d + 2 * (k + hs);
                const double tr = wr * pj[0] - wi * pj[1];
                const double ti = wr * pj[1] + wi * pj[0];
                pj[0] = static_cast<float>(pk[0] - tr);
                pj[1] = static_cast<float>(pk[1] - ti);
                pk[0] = static_cast<float>(pk[0] + tr);
                pk[1] = static_cast<float>(pk[1] + ti);
            }
        }
    }
}

void RealFftUntangle(float* d, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw)
{
    const double c1 = 0.5;
    for (int32_t i = iFirst; i <= iLast; ++i) {
        float* p1 = d + 2 * (i - 1);
        float* p3 = d + 2 * (n + 1 - i);
        const double a1 = p1[0], a2 = p1[1], a3 = p3[0], a4 = p3[1];
        const double h1r = c1 * (a1 + a3);
        const double h1i = c1 * (a2 - a4);
        const double h2r = -c2 * (a2 + a4);
        const double h2i = c2 * (a1 - a3);
        const double wr = tw.postRe[2 * (n / 2 + i - 2)];
        const double wi = tw.postIm[2 * (n / 2 + i - 2)];
        p1[0] = static_cast<float>(h1r + wr * h2r - wi * h2i);
        p1[1] = static_cast<float>(h1i + wr * h2i + wi * h2r);
        p3[0] = static_cast<float>(h1r - wr * h2r + wi * h2i);
        p3[1] = static_cast<float>(-h1i + wr * h2i + wi * h2r);
    }
}

// The products summed exactly in 64-bit integers; the coarse copy is not
// needed.
void LagProducts(const int16_t* xp, const int16_t*, int32_t count, int32_t a0, int32_t blocks, const uint8_t*,
                 double* c)
{
    for (int32_t j = 0; j < 4 * blocks; ++j) {
        const int32_t a = a0 + j;
        int64_t sum = 0;
        for (int32_t i = 0; i + a < count; ++i)
            sum += static_cast<int32_t>(xp[i]) * xp[i + a];
        c[j] = static_cast<double>(sum);  // below 2^41: exact
    }
}

int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t*)
{
    for (int32_t k = 0; k < bins; ++k) {
        const double re = b[2 * k];
        const double im = b[2 * k + 1];
        levels[k] = static_cast<float>(10.0 * Log10Floor((re * re + im * im) * invF));
    }
    return 0;
}

float LargestLevel(const float* levels, int32_t bins, float floor)
{
    float largest = floor;
    for (int32_t k = 0; k < bins; ++k)
        largest = std::max(largest, levels[k]);
    return largest;
}

void WindowIntoTransform(const int16_t* x, int32_t n, double preEmphasis, const double* w, float* b,
                         int32_t points, EnergySum& energy)
{
    const BitReversal place(points);
    for (int32_t c = 0; c < points; ++c) {
        float* p = b + 2 * place(c);
        for (int32_t i = 2 * c; i < 2 * c + 2; ++i) {
            float& out = p[i - 2 * c];
            out = 0.0f;
            if (i >= 1 && i < n) {
                const double y = (x[i] - preEmphasis * x[i - 1]) * w[i];
                out = static_cast<float>(y);
                energy.squares[i - 1] = y * y;
            }
        }
    }
}

double MirrorSum(const float* s, int32_t h)
{
    double sum = 0.0;
    sum += 0.0f;
    for (int32_t j = h - 1; j >= 0; --j)
        sum += s[j];
    for (int32_t j = 1; j <= h - 2; ++j)
        sum += s[j];
    sum += 0.0f;
    return sum;
}

void LifterIntoTransform(const float* s, int32_t h, double mean, const double* lifter, float* b, EnergySum&)
{
    const BitReversal place(h);
    // Value i of the mirrored spectrum.
    auto mirrored = [&](int32_t i) -> double {
        if (i == 0 || i == 2 * h - 1)
            return 0.0f;
        return i <= h ? s[h - i] : s[i - h];
    };
    for (int32_t c = 0; c < h; ++c) {
        float* p = b + 2 * place(c);
        p[0] = static_cast<float>((mirrored(2 * c) - mean) * lifter[2 * c]);
        p[1] = static_cast<float>((mirrored(2 * c + 1) - mean) * lifter[2 * c + 1]);
    }
}

CepstralPeak CepstralSearch(const float* b, int32_t first, int32_t last, float start)
{
    CepstralPeak peak{1, start, 0.0};
    for (int32_t q = first; q <= last; ++q) {
        const double re = b[2 * q];
        const double im = b[2 * q + 1];
        const double power = re * re + im * im;
        if (power > peak.power) {
            peak.power = static_cast<float>(power);
            peak.index = q;
        }
        peak.total += power;
    }
    return peak;
}

void RunningEnergy(const int16_t* x, int32_t count, double* energy)
{
    energy[0] = 0.0;
    for (int32_t i = 0; i < count; ++i)
        energy[i + 1] = energy[i] + static_cast<double>(static_cast<int32_t>(x[i]) * x[i]);
}

float LagEstimates(const double* ab, const double* c, int32_t lags, float* estimate)
{
    float largest = -std::numeric_limits<float>::infinity();
    for (int32_t j = 0; j < lags; ++j) {
        const float q = static_cast<float>(c[j]) / std::sqrt(static_cast<float>(ab[j]));
        estimate[j] = q;
        if (q > largest)
            largest = q;
    }
    return largest;
}

constexpr Kernels kPortable = {FftStages,    RealFftUntangle,     LagProducts,     SpectrumLevels,
                               LargestLevel, WindowIntoTransform, MirrorSum,       LifterIntoTransform,
                               CepstralSearch, RunningEnergy,     LagEstimates};

}  // namespace

const Kernels& PortableKernels()
{
    return kPortable;
}

}  // namespace vocalume::simd
