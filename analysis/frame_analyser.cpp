#include "frame_analyser.h"

#include <algorithm>
#include <cmath>

#include "simd_kernels.h"
#include "signal_kernels.h"

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

// Fills table[0 .. n) with a - b·cos(twoPi·i / (n - 1)) unless it already
// holds the window of that length: the Hamming window and the lifter are
// rebuilt only when the frame length changes.
void EnsureRaisedCosine(double* table, int32_t& cachedLength, int32_t n, double a, double b, double twoPi)
{
    if (n == cachedLength)
        return;
    cachedLength = n;
    for (int32_t i = 0; i < n; ++i)
        table[i] = a - b * std::cos(twoPi * i / (n - 1));
}

void EnsureHamming(AnalyserState& state, int32_t n)
{
    EnsureRaisedCosine(state.hamming, state.hammingLength, n, 0.54, 0.46, kTwoPiHamming);
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

void EnsureLifter(AnalyserState& state, int32_t f)
{
    EnsureRaisedCosine(state.lifter, state.lifterLength, f, 0.5, 0.5, kTwoPiLifter);
}

// The autocorrelation search of NormAutocorr(x, n, ., kLagMin, kLagMax): the
// lag it returns and, in peak, the correlation it stores for that lag.
int32_t SearchLags(const int16_t* x, int32_t n, LagSums& sums, float* out, float& peak)
{
    if (n < 1 || n > simd::kMaxLagSamples) {
        const int32_t lag = NormAutocorr(x, n, out, kLagMin, kLagMax);
        peak = out[lag];
        return lag;
    }
    PrepareLagSums(x, n, sums);
    ComputeLagSums(sums, n, kLagMin, kLagMax);
    return BestLag(sums, n, kLagMin, kLagMax, peak);
}

// Spectrum levels of the packed transform in b; returns the largest level
// (levels never fall below the floor it starts from).
float PowerSpectrum(const simd::Kernels& kernels, const float* b, int32_t h, int32_t f, float* spectrum,
                    int32_t* retry)
{
    const int32_t nRetry = kernels.spectrumLevels(b, h, 1.0 / f, spectrum, retry);
    for (int32_t j = 0; j < nRetry; ++j) {
        const int32_t k = retry[j];
        const double re = b[2 * k];
        const double im = b[2 * k + 1];
        spectrum[k] = static_cast<float>(10.0 * Log10Floor((re * re + im * im) / f));
    }
    return kernels.largestLevel(spectrum, h, kLevelFloorDb);
}

// RealFFT(b, h, forward) of input already in bit-reversed order, with the
// Nyquist term dropped: bin 0 carries the DC term alone.
void ForwardTransform(const simd::Kernels& kernels, float* b, int32_t h)
{
    const simd::FftTwiddles& tw = simd::Twiddles(1);
    kernels.fftStages(b, h, tw);
    kernels.realFftUntangle(b, h, 2, h / 2, -0.5, tw);
    const double g = b[0];
    b[0] = static_cast<float>(g + b[1]);
    b[1] = 0.0f;
}

// The forward transform of input already in bit-reversed order, untangled
// only where the bins first .. last lie (1 <= first <= last < h).
void TransformForBins(const simd::Kernels& kernels, float* b, int32_t h, int32_t first, int32_t last)
{
    const simd::FftTwiddles& tw = simd::Twiddles(1);
    kernels.fftStages(b, h, tw);
    // Bin q < h/2 comes from step q + 1, bin q > h/2 from step h + 1 - q.
    const int32_t iFirst = last > h / 2 ? std::min(first + 1, h + 1 - last) : first + 1;
    const int32_t iLast = last > h / 2 ? h / 2 : last + 1;
    kernels.realFftUntangle(b, h, std::max(iFirst, 2), iLast, -0.5, tw);
}

// Everything a full analysis finds in the record's own samples: all but the
// ceilings, which follow the level trackers. Returns the energy level in dB
// as computed, before it is kept in single precision.
double MeasureInFull(FrameRecord& r, AnalyserState& st, int32_t n)
{
    const simd::Kernels& kernels = simd::Active();
    const int32_t f = FftSizeFor(n);
    const int32_t h = f / 2;
    float* b = st.fft;

    // Pre-emphasis and Hamming window, then the power spectrum. The energy
    // sums the squares of the full-precision windowed values, not of the
    // stored single-precision ones.
    simd::EnergySum energy{st.squares, std::max(n - 1, 0)};
    kernels.windowIntoTransform(r.samples, n, kPreEmphasis, st.hamming, b, h, energy);
    ForwardTransform(kernels, b, h);
    r.nbins = h;
    r.specMax = PowerSpectrum(kernels, b, h, f, r.spectrum, st.retry);

    // Cepstrum: the log spectrum mirrored about bin 0, mean removed,
    // liftered and transformed again, then the strongest quefrency bin in
    // the search range. Short windows have fewer quefrency bins than the
    // search range; only the bins that exist are searched then.
    const double mean = kernels.mirrorSum(r.spectrum, h) / f;
    EnsureLifter(st, f);
    kernels.lifterIntoTransform(r.spectrum, h, mean, st.lifter, b, energy);
    const int32_t qMax = std::min(kLagMax, h - 1);
    TransformForBins(kernels, b, h, kLagMin, qMax);
    const simd::CepstralPeak peak = kernels.cepstralSearch(b, kLagMin, qMax, kCepstralPeakStart);
    const double meanFactor = qMax == kLagMax ? kCepstralMeanFactor : 1.0 / static_cast<double>(qMax - kLagMin + 1);
    r.cepsPeak = peak.index;
    r.cepsRatio = static_cast<float>(peak.power / (peak.total * meanFactor));

    // The autocorrelation pitch, on the raw samples.
    float acPeak = -1.0f;
    const int32_t lag = SearchLags(r.samples, n, st.lags, st.autocorr, acPeak);
    r.acLag = lag;
    r.acPeak = (lag > kLagMin && lag < kLagMax) ? acPeak : -1.0f;

    const double e = 10.0 * Log10Floor(energy.Total() / n);
    r.energy = static_cast<float>(e);
    return e;
}

// The two trackers are independent of each other and of everything measured
// after them, so they may follow a record measured earlier.
void FollowLevels(FrameRecord& r, LevelTrackers& tr, double energy)
{
    UpdateTrackers(r.specMax, tr.specPeak, tr.specFloor, r.specCeiling);
    UpdateTrackers(energy, tr.energyPeak, tr.energyFloor, r.energyCeiling);
}

void TakeMeasures(FrameRecord& r, const FrameRecord& measured)
{
    r.nbins = measured.nbins;
    r.specMax = measured.specMax;
    std::copy(measured.spectrum, measured.spectrum + measured.nbins, r.spectrum);
    r.cepsPeak = measured.cepsPeak;
    r.cepsRatio = measured.cepsRatio;
    r.acLag = measured.acLag;
    r.acPeak = measured.acPeak;
    r.energy = measured.energy;
}

// True when `measured` was measured from the very samples of `r`.
bool SameSamples(const FrameRecord& r, const FrameMeasures* measured)
{
    return measured != nullptr && measured->record.nsamples == r.nsamples &&
           std::equal(r.samples, r.samples + r.nsamples, measured->record.samples);
}

}  // namespace

void MeasureFrame(FrameMeasures& m, AnalyserState& state)
{
    const int32_t n = m.record.nsamples;
    EnsureHamming(state, n);
    m.energy = MeasureInFull(m.record, state, n);
}

void AnalyseFrame(FrameRing& ring, LevelTrackers& trackers, AnalyserState& state, int32_t ratio,
                  int32_t s, const FrameMeasures* measured)
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

    if (s < kFirstAlwaysFullSlot && ratio > 1 && s % ratio != 0 && ring.IsAnalysedNeighbour(s + 1)) {
        CopyFromNewer(r, ring[s + 1]);
    } else if (SameSamples(r, measured)) {
        TakeMeasures(r, measured->record);
        FollowLevels(r, trackers, measured->energy);
    } else {
        FollowLevels(r, trackers, MeasureInFull(r, state, n));
    }

    r.fresh.store(0, kRelaxed);
    r.analysed.store(1, kRelease);
    r.drawn.store(0, kRelaxed);
    r.smoothed.store(0, kRelaxed);
    r.analysing.store(0, kRelease);
}

}  // namespace vocalume
