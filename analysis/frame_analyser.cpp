#include "frame_analyser.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

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

inline __m128d LoadPoint(const float* p)
{
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

inline void StorePoint(float* p, __m128d v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
}

// Two adjacent samples widened to double.
inline __m128d LoadSamples(const int16_t* p)
{
    int32_t pair;
    std::memcpy(&pair, p, sizeof pair);
    const __m128i v = _mm_cvtsi32_si128(pair);
    return _mm_cvtepi32_pd(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16));
}

// Four adjacent samples widened to 32 bits.
inline __m128i LoadFourSamples(const int16_t* p)
{
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
}

// Where complex point c of a transform of `points` points goes in the
// bit-reversal that starts ComplexFFT.
class BitReversal {
public:
    explicit BitReversal(int32_t points) : m_shift(simd::BitReverseShift(points)) {}
    int32_t operator()(int32_t c) const { return simd::kBitReversed[static_cast<size_t>(c)] >> m_shift; }

private:
    int32_t m_shift;
};

// Pre-emphasis and Hamming window of the n samples into the FFT buffer b,
// each complex point (pair of values) written straight to its bit-reversed
// place, zeros beyond the samples. squares[i - 1] receives the square of the
// full-precision product y[i], i = 1 .. n-1, for the energy sum.
//
// Riding along: the first terms of the energy sum, squares[0], squares[1],
// ... added one after another into energy as the plain loop adds them, one
// a point (each was stored a step or more before); returns how many. That
// chain of dependent additions would leave the processor waiting if run
// alone; here it overlaps the independent work of the window, and the
// lifter further down adds the rest.
int32_t WindowIntoTransform(const int16_t* x, int32_t n, const double* w, float* b, int32_t points, double* squares,
                            double& energy)
{
    const BitReversal place(points);
    auto value = [&](int32_t i) { return (x[i] - kPreEmphasis * x[i - 1]) * w[i]; };
    // Point 0: b[0] = 0 and b[1] = y[1].
    {
        float* p = b + 2 * place(0);
        p[0] = 0.0f;
        p[1] = 0.0f;
        if (n > 1) {
            const double y = value(1);
            p[1] = static_cast<float>(y);
            squares[0] = y * y;
        }
    }
    const __m128d pre = _mm_set1_pd(kPreEmphasis);
    int32_t c = 1;
    // Two points (four samples) a step: the samples and their predecessors
    // are widened four at a time.
    for (; 2 * c + 3 < n; c += 2) {
        const __m128i now = LoadFourSamples(x + 2 * c);
        const __m128i before = LoadFourSamples(x + 2 * c - 1);
        auto low = [](__m128i v) { return _mm_cvtepi32_pd(v); };
        auto high = [](__m128i v) { return _mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 2, 3, 2))); };
        const __m128d y0 = _mm_mul_pd(_mm_sub_pd(low(now), _mm_mul_pd(pre, low(before))), _mm_loadu_pd(w + 2 * c));
        const __m128d y1 = _mm_mul_pd(_mm_sub_pd(high(now), _mm_mul_pd(pre, high(before))), _mm_loadu_pd(w + 2 * c + 2));
        StorePoint(b + 2 * place(c), y0);
        StorePoint(b + 2 * place(c + 1), y1);
        _mm_storeu_pd(squares + 2 * c - 1, _mm_mul_pd(y0, y0));
        _mm_storeu_pd(squares + 2 * c + 1, _mm_mul_pd(y1, y1));
        energy += squares[c - 1];
        energy += squares[c];
    }
    for (; 2 * c + 1 < n; ++c) {
        const __m128d y = _mm_mul_pd(_mm_sub_pd(LoadSamples(x + 2 * c), _mm_mul_pd(pre, LoadSamples(x + 2 * c - 1))),
                                     _mm_loadu_pd(w + 2 * c));
        StorePoint(b + 2 * place(c), y);
        _mm_storeu_pd(squares + 2 * c - 1, _mm_mul_pd(y, y));
        energy += squares[c - 1];
    }
    const int32_t added = c - 1;
    for (; c < points; ++c) {
        float* p = b + 2 * place(c);
        p[0] = 0.0f;
        p[1] = 0.0f;
        if (2 * c < n) {
            const double y = value(2 * c);
            p[0] = static_cast<float>(y);
            squares[2 * c - 1] = y * y;
        }
    }
    return added;
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

// Spectrum levels of the packed transform in b; returns specMax, which is
// the largest level (levels never fall below the floor it starts from).
float PowerSpectrum(const float* b, int32_t h, int32_t f, float* spectrum, int32_t* retry)
{
    const int32_t nRetry = simd::Active().spectrumLevels(b, h, 1.0 / f, spectrum, retry);
    for (int32_t j = 0; j < nRetry; ++j) {
        const int32_t k = retry[j];
        const double re = b[2 * k];
        const double im = b[2 * k + 1];
        spectrum[k] = static_cast<float>(10.0 * Log10Floor((re * re + im * im) / f));
    }
    __m128 mx = _mm_set1_ps(kLevelFloorDb);
    int32_t k = 0;
    for (; k + 4 <= h; k += 4)
        mx = _mm_max_ps(mx, _mm_loadu_ps(spectrum + k));
    mx = _mm_max_ps(mx, _mm_movehl_ps(mx, mx));
    mx = _mm_max_ss(mx, _mm_shuffle_ps(mx, mx, 1));
    float specMax = _mm_cvtss_f32(mx);
    for (; k < h; ++k)
        specMax = std::max(specMax, spectrum[k]);
    return specMax;
}

// The sum of the mirrored spectrum 0, s[h-1] .. s[1], s[0], s[1] .. s[h-2], 0
// in that order, in double precision. When every partial sum is exact (the
// values span at most 53 - 24 - log2(2h) binary orders) the order does not
// matter and the sum is formed two lanes at a time; otherwise value after
// value.
double MirrorSum(const float* s, int32_t h)
{
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
    __m128 mx = _mm_setzero_ps();
    __m128 mn = inf;
    __m128d s0 = _mm_setzero_pd(), s1 = s0;
    int32_t k = 0;
    for (; k + 4 <= h; k += 4) {
        const __m128 v = _mm_loadu_ps(s + k);
        const __m128 a = _mm_and_ps(v, absMask);
        mx = _mm_max_ps(mx, a);
        const __m128 nonzero = _mm_cmpneq_ps(a, _mm_setzero_ps());
        mn = _mm_min_ps(mn, _mm_or_ps(_mm_and_ps(nonzero, a), _mm_andnot_ps(nonzero, inf)));
        s0 = _mm_add_pd(s0, _mm_cvtps_pd(v));
        s1 = _mm_add_pd(s1, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
    }
    float lanesMax[4], lanesMin[4];
    _mm_storeu_ps(lanesMax, mx);
    _mm_storeu_ps(lanesMin, mn);
    float largest = 0.0f, smallest = std::numeric_limits<float>::infinity();
    for (int l = 0; l < 4; ++l) {
        largest = std::max(largest, lanesMax[l]);
        smallest = std::min(smallest, lanesMin[l]);
    }
    bool exact = k == h;
    if (exact && largest > 0.0f) {
        int32_t log2f = 0;
        while ((1 << log2f) < 2 * h)
            ++log2f;
        uint32_t bigBits, smallBits;
        std::memcpy(&bigBits, &largest, sizeof bigBits);
        std::memcpy(&smallBits, &smallest, sizeof smallBits);
        const int32_t eBig = static_cast<int32_t>(bigBits >> 23);
        const int32_t eSmall = static_cast<int32_t>(smallBits >> 23);
        // Every value is a multiple of 2^(eSmall - 150) and the 2h values add
        // up to less than 2^(eBig - 126 + log2f) in magnitude: all partial
        // sums are exact when that is within 2^53 multiples. Subnormal values
        // (eSmall 0), infinities and not-a-numbers fail the test.
        exact = eSmall >= 1 && eBig <= 254 && eBig - eSmall <= 29 - log2f;
    }
    if (!exact) {
        double sum = 0.0;
        sum += 0.0f;
        for (int32_t j = h - 1; j >= 0; --j)
            sum += s[j];
        for (int32_t j = 1; j <= h - 2; ++j)
            sum += s[j];
        sum += 0.0f;
        return sum;
    }
    // s[0] + s[h-1] + twice s[1] .. s[h-2].
    s0 = _mm_add_pd(s0, s1);
    const double all = _mm_cvtsd_f64(s0) + _mm_cvtsd_f64(_mm_unpackhi_pd(s0, s0));
    return 2.0 * all - s[0] - s[h - 1];
}

// Mean removal and lifter window of the mirrored spectrum (see MirrorSum),
// each complex point written straight to its bit-reversed place in b.
//
// Riding along: the rest of the energy sum, squares[first] + ... +
// squares[count-1] added one after another to energy as the plain loop adds
// them, one a point, overlapping the independent work of the lifter (see
// WindowIntoTransform for the terms before).
double LifterIntoTransform(const float* s, int32_t h, double mean, const double* lifter, float* b,
                           const double* squares, int32_t first, int32_t count, double energy)
{
    const BitReversal place(h);
    const __m128d mu = _mm_set1_pd(mean);
    auto put = [&](int32_t c, __m128d v) {
        StorePoint(b + 2 * place(c), _mm_mul_pd(_mm_sub_pd(v, mu), _mm_load_pd(lifter + 2 * c)));
    };
    // Point c carries the term first + c of the energy sum.
    int32_t next = first;
    auto add = [&] {
        if (next < count)
            energy += squares[next++];
    };
    put(0, _mm_set_pd(s[h - 1], 0.0f));
    add();
    for (int32_t c = 1; c < h / 2; ++c) {
        const __m128d v = LoadPoint(s + h - 2 * c - 1);  // s[h-2c-1], s[h-2c]
        put(c, _mm_shuffle_pd(v, v, 1));
        add();
    }
    for (int32_t c = h / 2; c < h - 1; ++c) {
        put(c, LoadPoint(s + 2 * c - h));
        add();
    }
    put(h - 1, _mm_set_pd(0.0f, s[h - 2]));
    add();
    // The window leaves at most about n/2 terms and there are h >= n/2
    // points, so this adds nothing; it keeps the sum whole regardless.
    while (next < count)
        energy += squares[next++];
    return energy;
}

void AnalyseInFull(FrameRecord& r, LevelTrackers& tr, AnalyserState& st, int32_t n)
{
    const int16_t* x = r.samples;
    const int32_t f = FftSizeFor(n);
    const int32_t h = f / 2;
    float* b = st.fft;
    const simd::Kernels& kernels = simd::Active();
    const simd::FftTwiddles& tw = simd::Twiddles(1);

    // Pre-emphasis and Hamming window, straight into the bit-reversed order
    // the transform starts from. The energy sums the squares of the
    // full-precision products, not of the stored single-precision values;
    // they are added up as the window goes and along with the lifter further
    // down.
    double energySum = 0.0;
    const int32_t energyTerms = WindowIntoTransform(x, n, st.hamming, b, h, st.squares, energySum);

    // Power spectrum: RealFFT(b, h, forward) with its bit reversal already done.
    r.nbins = h;
    kernels.fftStages(b, h, tw);
    kernels.realFftUntangle(b, h, 2, h / 2, -0.5, tw);
    const double g = b[0];
    b[0] = static_cast<float>(g + b[1]);
    b[1] = 0.0f;  // the Nyquist term: bin 0 carries the DC term alone
    const float specMax = PowerSpectrum(b, h, f, r.spectrum, st.retry);
    r.specMax = specMax;
    UpdateTrackers(specMax, tr.specPeak, tr.specFloor, r.specCeiling);

    // Cepstrum: the log spectrum mirrored about bin 0, mean removed, liftered
    // and transformed again; untangled only where the searched bins lie.
    // Short windows have fewer quefrency bins than the search range; only
    // the bins that exist are searched then.
    const double mean = MirrorSum(r.spectrum, h) / f;
    EnsureLifter(st, f);
    energySum = LifterIntoTransform(r.spectrum, h, mean, st.lifter, b, st.squares, energyTerms, std::max(n - 1, 0),
                                    energySum);
    kernels.fftStages(b, h, tw);
    const int32_t qMax = std::min(kLagMax, h - 1);
    {
        // Bin q < h/2 comes from step q + 1, bin q > h/2 from step h + 1 - q.
        const int32_t iFirst = qMax > h / 2 ? std::min(kLagMin + 1, h + 1 - qMax) : kLagMin + 1;
        const int32_t iLast = qMax > h / 2 ? h / 2 : qMax + 1;
        kernels.realFftUntangle(b, h, std::max(iFirst, 2), iLast, -0.5, tw);
    }
    const int32_t nq = qMax - kLagMin + 1;
    // The power of each searched bin, the search for the strongest and the
    // sum of all in one pass: the sum is a chain of dependent additions that
    // would leave the processor waiting if run alone; the powers of the next
    // bins are formed meanwhile.
    float best = kCepstralPeakStart;
    int32_t bestIndex = 1;
    double total = 0.0;
    auto take = [&](int32_t j, double power) {
        if (power > best) {
            best = static_cast<float>(power);
            bestIndex = kLagMin + j;
        }
        total += power;
    };
    {
        int32_t j = 0;
        for (; j + 2 <= nq; j += 2) {
            const __m128 v = _mm_loadu_ps(b + 2 * (kLagMin + j));
            const __m128d lo = _mm_cvtps_pd(v);
            const __m128d hi = _mm_cvtps_pd(_mm_movehl_ps(v, v));
            const __m128d lo2 = _mm_mul_pd(lo, lo);
            const __m128d hi2 = _mm_mul_pd(hi, hi);
            const __m128d power = _mm_add_pd(_mm_unpacklo_pd(lo2, hi2), _mm_unpackhi_pd(lo2, hi2));
            take(j, _mm_cvtsd_f64(power));
            take(j + 1, _mm_cvtsd_f64(_mm_unpackhi_pd(power, power)));
        }
        for (; j < nq; ++j) {
            const double re = b[2 * (kLagMin + j)];
            const double im = b[2 * (kLagMin + j) + 1];
            take(j, re * re + im * im);
        }
    }
    const double meanFactor = qMax == kLagMax ? kCepstralMeanFactor : 1.0 / static_cast<double>(nq);
    r.cepsPeak = bestIndex;
    r.cepsRatio = static_cast<float>(best / (total * meanFactor));

    // The autocorrelation pitch, on the raw samples.
    float peak = -1.0f;
    const int32_t lag = SearchLags(x, n, st.lags, st.autocorr, peak);
    r.acLag = lag;
    r.acPeak = (lag > kLagMin && lag < kLagMax) ? peak : -1.0f;

    const double e = 10.0 * Log10Floor(energySum / n);
    r.energy = static_cast<float>(e);
    UpdateTrackers(e, tr.energyPeak, tr.energyFloor, r.energyCeiling);
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

    if (s < kFirstAlwaysFullSlot && ratio > 1 && s % ratio != 0 && ring.IsAnalysedNeighbour(s + 1))
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
