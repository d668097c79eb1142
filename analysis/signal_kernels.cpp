#include "signal_kernels.h"

#include <cmath>
#include <cstring>

#include "lag_sums.h"
#include "simd_kernels.h"

namespace vocalume {
namespace {

// The transforms and the search as plainly written, for the arguments the
// vectorised forms do not take (lengths beyond the recorded tables, lengths
// that are not powers of two, other directions, very long inputs).
void PlainComplexFFT(float* data, int32_t n, int32_t direction)
{
    // The classic one-based formulation, with d[k] standing for data[k - 1].
    auto d = [data](int32_t k) -> float& { return data[k - 1]; };
    const int32_t nn = 2 * n;

    int32_t j = 1;
    for (int32_t i = 1; i < nn; i += 2) {
        if (j > i) {
            float t = d(j);
            d(j) = d(i);
            d(i) = t;
            t = d(j + 1);
            d(j + 1) = d(i + 1);
            d(i + 1) = t;
        }
        int32_t m = n;
        while (m >= 2 && j > m) {
            j -= m;
            m >>= 1;
        }
        j += m;
    }

    int32_t mmax = 2;
    while (nn > mmax) {
        const int32_t istep = 2 * mmax;
        TwiddleRecurrence w(kTwoPiTransform / (direction * mmax));
        for (int32_t m = 1; m < mmax; m += 2) {
            const double wr = w.wr;
            const double wi = w.wi;
            for (int32_t i = m; i <= nn; i += istep) {
                const int32_t jj = i + mmax;
                const double tr = wr * d(jj) - wi * d(jj + 1);
                const double ti = wr * d(jj + 1) + wi * d(jj);
                d(jj) = static_cast<float>(d(i) - tr);
                d(jj + 1) = static_cast<float>(d(i + 1) - ti);
                d(i) = static_cast<float>(d(i) + tr);
                d(i + 1) = static_cast<float>(d(i + 1) + ti);
            }
            w.Advance();
        }
        mmax = istep;
    }
}

void PlainRealFFT(float* data, int32_t n, int32_t direction)
{
    auto d = [data](int32_t k) -> float& { return data[k - 1]; };
    double theta = kPi / n;
    const double c1 = 0.5;
    double c2;
    if (direction == 1) {
        c2 = -0.5;
        PlainComplexFFT(data, n, 1);
    } else {
        c2 = 0.5;
        theta = -theta;
    }
    TwiddleRecurrence w(theta);
    w.wr = 1.0 + w.wpr;
    w.wi = w.wpi;
    const int32_t np3 = 2 * n + 3;
    for (int32_t i = 2; i <= n / 2; ++i) {
        const int32_t i1 = i + i - 1;
        const int32_t i2 = i1 + 1;
        const int32_t i3 = np3 - i2;
        const int32_t i4 = i3 + 1;
        // Sums of two stored values are formed in double precision, as is
        // every other step of the transform.
        const double a1 = d(i1), a2 = d(i2), a3 = d(i3), a4 = d(i4);
        const double h1r = c1 * (a1 + a3);
        const double h1i = c1 * (a2 - a4);
        const double h2r = -c2 * (a2 + a4);
        const double h2i = c2 * (a1 - a3);
        const double wr = w.wr;
        const double wi = w.wi;
        d(i1) = static_cast<float>(h1r + wr * h2r - wi * h2i);
        d(i2) = static_cast<float>(h1i + wr * h2i + wi * h2r);
        d(i3) = static_cast<float>(h1r - wr * h2r + wi * h2i);
        d(i4) = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        w.Advance();
    }
    const double g = d(1);
    if (direction == 1) {
        d(1) = static_cast<float>(g + d(2));
        d(2) = static_cast<float>(g - d(2));
    } else {
        d(1) = static_cast<float>(c1 * (g + d(2)));
        d(2) = static_cast<float>(c1 * (g - d(2)));
        PlainComplexFFT(data, n, -1);
    }
}

int32_t PlainNormAutocorr(const int16_t* x, int32_t count, float* out, int32_t amin, int32_t amax)
{
    for (int32_t a = 0; a <= amax; ++a)
        out[a] = 0.0f;
    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i)
        sum += static_cast<double>(x[i]) * x[i];
    out[0] = static_cast<float>(sum / count);

    float best = -1.0f;
    int32_t bestLag = 0;
    for (int32_t a = amin; a <= amax; ++a) {
        const int32_t m = count - a;
        double sa = 0.0, sb = 0.0, sc = 0.0;
        for (int32_t i = 0; i < m; ++i) {
            const double xi = x[i];
            const double xa = x[i + a];
            sa += xi * xi;
            sb += xa * xa;
            sc += xi * xa;
        }
        const double r = (sc / m) / (std::sqrt(sa) * std::sqrt(sb) / m);
        out[a] = static_cast<float>(r);
        if (r > best) {
            best = static_cast<float>(r);
            bestLag = a;
        }
    }
    return bestLag;
}

// The bit-reversal permutation of ComplexFFT on n complex points.
void BitReversePermute(float* data, int32_t n)
{
    const int32_t shift = simd::BitReverseShift(n);
    for (int32_t k = 1; k < n - 1; ++k) {
        const int32_t r = simd::kBitReversed[static_cast<size_t>(k)] >> shift;
        if (r > k) {
            uint64_t a, b;
            std::memcpy(&a, data + 2 * k, sizeof a);
            std::memcpy(&b, data + 2 * r, sizeof b);
            std::memcpy(data + 2 * k, &b, sizeof b);
            std::memcpy(data + 2 * r, &a, sizeof a);
        }
    }
}

bool FastTransform(int32_t n, int32_t direction)
{
    return n >= 2 && n <= simd::kMaxComplexPoints && (n & (n - 1)) == 0 && (direction == 1 || direction == -1);
}

}  // namespace

void ComplexFFT(float* data, int32_t n, int32_t direction)
{
    if (!FastTransform(n, direction)) {
        PlainComplexFFT(data, n, direction);
        return;
    }
    BitReversePermute(data, n);
    simd::Active().fftStages(data, n, simd::Twiddles(direction));
}

void RealFFT(float* data, int32_t n, int32_t direction)
{
    if (!FastTransform(n, direction)) {
        PlainRealFFT(data, n, direction);
        return;
    }
    const simd::FftTwiddles& tw = simd::Twiddles(direction);
    const simd::Kernels& kernels = simd::Active();
    if (direction == 1) {
        ComplexFFT(data, n, 1);
        kernels.realFftUntangle(data, n, 2, n / 2, -0.5, tw);
        const double h = data[0];
        data[0] = static_cast<float>(h + data[1]);
        data[1] = static_cast<float>(h - data[1]);
    } else {
        kernels.realFftUntangle(data, n, 2, n / 2, 0.5, tw);
        const double h = data[0];
        data[0] = static_cast<float>(0.5 * (h + data[1]));
        data[1] = static_cast<float>(0.5 * (h - data[1]));
        ComplexFFT(data, n, -1);
    }
}

int32_t NormAutocorr(const int16_t* x, int32_t count, float* out, int32_t amin, int32_t amax)
{
    if (count < 1 || count > simd::kMaxLagSamples || amin < 0 || amax - amin >= simd::kMaxLagSamples)
        return PlainNormAutocorr(x, count, out, amin, amax);
    LagSums sums;  // on the stack: the search allocates nothing
    PrepareLagSums(x, count, sums);
    for (int32_t a = 0; a <= amax; ++a)
        out[a] = 0.0f;
    out[0] = static_cast<float>(sums.energy[count] / count);
    if (amin > amax)
        return 0;
    ComputeLagSums(sums, count, amin, amax);
    double r[simd::kMaxLagSamples];
    LagCorrelations(sums, count, amin, amax, r);
    float best = -1.0f;
    int32_t bestLag = 0;
    for (int32_t a = amin; a <= amax; ++a) {
        out[a] = static_cast<float>(r[a - amin]);
        if (r[a - amin] > best) {
            best = static_cast<float>(r[a - amin]);
            bestLag = a;
        }
    }
    return bestLag;
}

double Log10Floor(double x)
{
    if (x < 1e-10 || std::isnan(x))
        return -10.0;
    return std::log10(x);
}

}  // namespace vocalume
