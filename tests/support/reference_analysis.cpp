// Straightforward transcription; see reference_analysis.h.
#include "reference_analysis.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "signal_kernels.h"

namespace vocalume::reference {
namespace {

// The analysis constants, written out here on purpose.
constexpr double kPreEmphasis = 0.95;
constexpr double kHammingTwoPi = 6.28318530717959;
constexpr double kLifterTwoPi = 6.283185307179586;
constexpr int32_t kFirstLag = 22;
constexpr int32_t kLastLag = 183;
constexpr double kFullSearchMeanFactor = 1.0 / 162.0;
constexpr float kCepstralStart = -1.0e8f;
constexpr double kFall = 0.001;
constexpr double kRise = 0.005;
constexpr double kMargin = 20.0;
constexpr float kFloorDb = -100.0f;

void UpdateTrackers(double input, float& peak, float& floor, float& ceiling)
{
    peak = static_cast<float>(peak - kFall);
    floor = static_cast<float>(floor + kRise);
    if (input > peak)
        peak = static_cast<float>(input);
    if (input < floor)
        floor = static_cast<float>(input);
    ceiling = peak > floor + kMargin ? peak : static_cast<float>(floor + kMargin);
}

double Log10OrFloor(double x)
{
    if (x < 1e-10 || std::isnan(x))
        return -10.0;
    return std::log10(x);
}

}  // namespace

double HammingWindow(int32_t i, int32_t n)
{
    return 0.54 - 0.46 * std::cos(kHammingTwoPi * i / (n - 1));
}

double LifterWindow(int32_t i, int32_t f)
{
    return 0.5 - 0.5 * std::cos(kLifterTwoPi * i / (f - 1));
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

void AnalyseInFull(FrameRecord& r, LevelTrackers& tr)
{
    const int16_t* x = r.samples;
    const int32_t n = r.nsamples;
    const int32_t f = n <= 256 ? 256 : (n <= 512 ? 512 : 1024);
    const int32_t h = f / 2;
    std::vector<float> b(static_cast<size_t>(f), 0.0f);

    // Waveform extremes over the centred span.
    int32_t lo = 32768;
    int32_t hi = -32768;
    const int32_t from = n / 2 - r.nspan / 2;
    for (int32_t i = from; i < from + r.nspan; ++i) {
        lo = std::min<int32_t>(lo, x[i]);
        hi = std::max<int32_t>(hi, x[i]);
    }
    r.minSample = lo;
    r.maxSample = hi;

    // Pre-emphasis and Hamming window. The energy sums the squares of the
    // full-precision products, not of the stored single-precision values.
    double energySum = 0.0;
    for (int32_t i = 1; i < n; ++i) {
        const double y = (x[i] - kPreEmphasis * x[i - 1]) * HammingWindow(i, n);
        b[static_cast<size_t>(i)] = static_cast<float>(y);
        energySum += y * y;
    }
    const double e = 10.0 * Log10OrFloor(energySum / n);
    r.energy = static_cast<float>(e);
    UpdateTrackers(e, tr.energyPeak, tr.energyFloor, r.energyCeiling);

    float autocorr[kLastLag + 1];
    const int32_t lag = NormAutocorr(x, n, autocorr, kFirstLag, kLastLag);
    r.acLag = lag;
    r.acPeak = (lag > kFirstLag && lag < kLastLag) ? autocorr[lag] : -1.0f;

    r.nbins = h;
    RealFFT(b.data(), h, 1);
    b[1] = 0.0f;  // the Nyquist term: bin 0 carries the DC term alone
    float specMax = kFloorDb;
    for (int32_t k = 0; k < h; ++k) {
        const double re = b[static_cast<size_t>(2 * k)];
        const double im = b[static_cast<size_t>(2 * k + 1)];
        const double level = 10.0 * Log10OrFloor((re * re + im * im) / f);
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
        b[static_cast<size_t>(h - i)] = r.spectrum[i];
        b[static_cast<size_t>(h + i)] = r.spectrum[i];
    }
    b[static_cast<size_t>(f - 1)] = 0.0f;
    double sum = 0.0;
    for (int32_t i = 0; i < f; ++i)
        sum += b[static_cast<size_t>(i)];
    const double mean = sum / f;
    for (int32_t i = 0; i < f; ++i) {
        b[static_cast<size_t>(i)] = static_cast<float>((b[static_cast<size_t>(i)] - mean) * LifterWindow(i, f));
    }
    RealFFT(b.data(), h, 1);

    // Short windows have fewer quefrency bins than the search range; only
    // the bins that exist are searched then.
    const int32_t qMax = std::min(kLastLag, h - 1);
    float best = kCepstralStart;
    int32_t bestIndex = 1;
    double total = 0.0;
    for (int32_t q = kFirstLag; q <= qMax; ++q) {
        const double re = b[static_cast<size_t>(2 * q)];
        const double im = b[static_cast<size_t>(2 * q + 1)];
        const double p = re * re + im * im;
        if (p > best) {
            best = static_cast<float>(p);
            bestIndex = q;
        }
        total += p;
    }
    const double meanFactor =
        qMax == kLastLag ? kFullSearchMeanFactor : 1.0 / static_cast<double>(qMax - kFirstLag + 1);
    r.cepsPeak = bestIndex;
    r.cepsRatio = static_cast<float>(best / (total * meanFactor));
}

}  // namespace vocalume::reference
