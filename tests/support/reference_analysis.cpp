// Straightforward transcription; see reference_analysis.h.
#include "reference_analysis.h"
#include "signal_kernels.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace vocalume::reference {
namespace {



void UpdateTrackers(double input, float& peak, float& floor, float& ceiling)
{
    peak = static_cast<float>(peak - kPeakFall);
    floor = static_cast<float>(floor + kFloorRise);
    if (input > peak)
        peak = static_cast<float>(input);
    if (input < floor)
        floor = static_cast<float>(input);
    ceiling = peak > floor + kCeilingMargin ? peak : static_cast<float>(floor + kCeilingMargin);
}

void EnsureHamming(AnalyserState& state, int32_t n)
{
    if (n == state.hammingLength)
        return;
    state.hammingLength = n;
    for (int32_t i = 0; i < n; ++i)
        state.hamming[i] = 0.54 - 0.46 * std::cos(kTwoPiHamming * i / (n - 1));
}

void WaveformExtremes(FrameRecord& r, int32_t n)
{
    const int32_t m = r.nspan;
    int32_t lo = 32768;
    int32_t hi = -32768;
    const int32_t a = n / 2 - m / 2;
    for (int32_t i = a; i < a + m; ++i) {
        const int32_t v = r.samples[i];
        if (v > hi)
            hi = v;
        if (v < lo)
            lo = v;
    }
    r.minSample = lo;
    r.maxSample = hi;
}

void AnalyseInFullWith(FrameRecord& r, LevelTrackers& tr, AnalyserState& st, int32_t n)
{
    const int16_t* x = r.samples;
    const int32_t f = FftSizeFor(n);
    const int32_t h = f / 2;
    float* b = st.fft;

    // Pre-emphasis and Hamming window. The energy sums the squares of the
    // full-precision products, not of the stored single-precision values.
    double energySum = 0.0;
    b[0] = 0.0f;
    for (int32_t i = 1; i < n; ++i) {
        const double y = (x[i] - kPreEmphasis * x[i - 1]) * st.hamming[i];
        b[i] = static_cast<float>(y);
        energySum += y * y;
    }
    for (int32_t i = std::max(n, 1); i < f; ++i)
        b[i] = 0.0f;

    const double e = 10.0 * Log10Floor(energySum / n);
    r.energy = static_cast<float>(e);
    UpdateTrackers(e, tr.energyPeak, tr.energyFloor, r.energyCeiling);

    const int32_t lag = NormAutocorr(x, n, st.autocorr, kLagMin, kLagMax);
    r.acLag = lag;
    r.acPeak = (lag > kLagMin && lag < kLagMax) ? st.autocorr[lag] : -1.0f;

    r.nbins = h;
    RealFFT(b, h, 1);
    b[1] = 0.0f;  // the Nyquist term: bin 0 carries the DC term alone
    float specMax = kLevelFloorDb;
    for (int32_t k = 0; k < h; ++k) {
        const double re = b[2 * k];
        const double im = b[2 * k + 1];
        const double level = 10.0 * Log10Floor((re * re + im * im) / f);
        r.spectrum[k] = static_cast<float>(level);
        if (level > specMax)
            specMax = static_cast<float>(level);
    }
    r.specMax = specMax;
    UpdateTrackers(specMax, tr.specPeak, tr.specFloor, r.specCeiling);

    // Cepstrum: the log spectrum mirrored about bin 0, mean removed, liftered
    // and transformed again.
    b[0] = 0.0f;
    for (int32_t i = 0; i < h; ++i) {
        b[h - i] = r.spectrum[i];
        b[h + i] = r.spectrum[i];
    }
    b[f - 1] = 0.0f;
    double sum = 0.0;
    for (int32_t i = 0; i < f; ++i)
        sum += b[i];
    const double mean = sum / f;
    for (int32_t i = 0; i < f; ++i)
        b[i] = static_cast<float>((b[i] - mean) * (0.5 - 0.5 * std::cos(kTwoPiLifter * i / (f - 1))));
    RealFFT(b, h, 1);

    // Short windows have fewer quefrency bins than the search range; only
    // the bins that exist are searched then.
    const int32_t qMax = std::min(kLagMax, h - 1);
    float best = kCepstralPeakStart;
    int32_t bestIndex = 1;
    double total = 0.0;
    for (int32_t q = kLagMin; q <= qMax; ++q) {
        const double re = b[2 * q];
        const double im = b[2 * q + 1];
        const double p = re * re + im * im;
        if (p > best) {
            best = static_cast<float>(p);
            bestIndex = q;
        }
        total += p;
    }
    const double meanFactor =
        qMax == kLagMax ? kCepstralMeanFactor : 1.0 / static_cast<double>(qMax - kLagMin + 1);
    r.cepsPeak = bestIndex;
    r.cepsRatio = static_cast<float>(best / (total * meanFactor));
}

}  // namespace


void ComplexFFT(float* data, int32_t n, int32_t direction)
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
        const double theta = kTwoPiTransform / (direction * mmax);
        const double t = std::sin(0.5 * theta);
        const double wpr = -2.0 * t * t;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int32_t m = 1; m < mmax; m += 2) {
            for (int32_t i = m; i <= nn; i += istep) {
                const int32_t jj = i + mmax;
                const double tr = wr * d(jj) - wi * d(jj + 1);
                const double ti = wr * d(jj + 1) + wi * d(jj);
                d(jj) = static_cast<float>(d(i) - tr);
                d(jj + 1) = static_cast<float>(d(i + 1) - ti);
                d(i) = static_cast<float>(d(i) + tr);
                d(i + 1) = static_cast<float>(d(i + 1) + ti);
            }
            const double wtemp = wr;
            wr = wr + (wr * wpr - wi * wpi);
            wi = wi + (wi * wpr + wtemp * wpi);
        }
        mmax = istep;
    }
}

void RealFFT(float* data, int32_t n, int32_t direction)
{
    auto d = [data](int32_t k) -> float& { return data[k - 1]; };
    double theta = kPi / n;
    const double c1 = 0.5;
    double c2;
    if (direction == 1) {
        c2 = -0.5;
        ComplexFFT(data, n, 1);
    } else {
        c2 = 0.5;
        theta = -theta;
    }
    const double t = std::sin(0.5 * theta);
    const double wpr = -2.0 * t * t;
    const double wpi = std::sin(theta);
    double wr = 1.0 + wpr;
    double wi = wpi;
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
        d(i1) = static_cast<float>(h1r + wr * h2r - wi * h2i);
        d(i2) = static_cast<float>(h1i + wr * h2i + wi * h2r);
        d(i3) = static_cast<float>(h1r - wr * h2r + wi * h2i);
        d(i4) = static_cast<float>(-h1i + wr * h2i + wi * h2r);
        const double wtemp = wr;
        wr = wr + (wr * wpr - wi * wpi);
        wi = wi + (wi * wpr + wtemp * wpi);
    }
    const double g = d(1);
    if (direction == 1) {
        d(1) = static_cast<float>(g + d(2));
        d(2) = static_cast<float>(g - d(2));
    } else {
        d(1) = static_cast<float>(c1 * (g + d(2)));
        d(2) = static_cast<float>(c1 * (g - d(2)));
        ComplexFFT(data, n, -1);
    }
}

int32_t NormAutocorr(const int16_t* x, int32_t count, float* out, int32_t amin, int32_t amax)
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


void AnalyseInFull(FrameRecord& r, LevelTrackers& trackers)
{
    auto st = std::make_unique<AnalyserState>();
    EnsureHamming(*st, r.nsamples);
    WaveformExtremes(r, r.nsamples);
    AnalyseInFullWith(r, trackers, *st, r.nsamples);
}

void SmoothFrame(FrameRing& ring, int32_t s)
{
    FrameRecord& r = ring[s];
    const int32_t d = FiveBefore(s);
    const int32_t n = r.nbins;
    float* out = r.smoothSpectrum;
    for (int32_t k = 0; k < n; ++k)
        out[k] = 0.0f;
    double weightSum = 0.0;
    for (int32_t j = 0; j <= 10; ++j) {
        const double w = 0.5 - 0.5 * std::cos(j * kSmoothingStep);
        const float* in = ring[(d + j) % kRingSize].spectrum;
        for (int32_t k = 0; k < n; ++k)
            out[k] = static_cast<float>(out[k] + w * in[k]);
        weightSum += w;
    }
    for (int32_t k = 0; k < n; ++k)
        out[k] = static_cast<float>(out[k] / weightSum);
    r.smoothed.store(1, std::memory_order_release);
}

}  // namespace vocalume::reference
