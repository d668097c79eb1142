#include "frame_analyser.h"

#include <algorithm>
#include <cmath>

#include "spectral_kernels.h"

namespace vocalume {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kRelease = std::memory_order_release;
constexpr auto kAcquire = std::memory_order_acquire;

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

void CopyFromNewer(FrameRecord& r, const FrameRecord& newer)
{
    r.acPeak = newer.acPeak;
    r.acLag = newer.acLag;
    r.cepsPeak = newer.cepsPeak;
    r.cepsRatio = newer.cepsRatio;
    r.energy = newer.energy;
    r.energyCeiling = newer.energyCeiling;
    r.specCeiling = newer.specCeiling;
    r.specMax = newer.specMax;
    r.nbins = newer.nbins;
    std::copy(newer.spectrum, newer.spectrum + newer.nbins, r.spectrum);
}

void AnalyseInFull(FrameRecord& r, LevelTrackers& tr, AnalyserState& st, int32_t n)
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

void AnalyseFrame(FrameRing& ring, LevelTrackers& trackers, AnalyserState& state, int32_t ratio,
                  int32_t s)
{
    FrameRecord& r = ring[s];
    // Take the record: the mark first, so that a framer that sees `fresh`
    // cleared also sees that the samples are being read.
    r.analysing.store(1, kRelaxed);
    r.fresh.store(0, kRelease);
    r.analysed.store(0, kRelaxed);
    r.drawn.store(0, kRelaxed);

    const int32_t n = r.nsamples;
    EnsureHamming(state, n);
    WaveformExtremes(r, n);

    if (s < kFirstAlwaysFullSlot && ratio > 1 && s % ratio != 0 &&
        ring[s + 1].analysed.load(kAcquire) == 1)
        CopyFromNewer(r, ring[s + 1]);
    else
        AnalyseInFull(r, trackers, state, n);

    r.fresh.store(0, kRelaxed);
    r.analysed.store(1, kRelease);
    r.drawn.store(0, kRelaxed);
    r.smoothed.store(0, kRelaxed);
    r.analysing.store(0, kRelease);
}

}  // namespace vocalume
