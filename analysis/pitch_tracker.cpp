#include "pitch_tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frame_analyser.h"
#include "signal_kernels.h"

#if VOCALUME_X86_KERNELS
#include <emmintrin.h>
#endif

namespace vocalume {

namespace {

// Samples each frame's sums reach over: the window and its largest lag + 1.
constexpr int32_t kSpan = PitchTracker::kWindow + PitchTracker::kMaxLag + 1;
// Silence kept before the stream, so that the first frames read zeros there.
constexpr int32_t kLeadingSilence = 64;
// The low-pass filter's delay: the smoothed sample at time t needs the
// samples up to t + 2.
constexpr int32_t kSmoothingDelay = 2;
// The history is trimmed when it has grown this far past what is needed
// (and, in a whole sound, as far again as it hears ahead, so that the
// samples kept for that are moved no more often than a stretch of that
// length is heard).
constexpr int64_t kTrimAt = 16384;
// Samples are kept halved, and -32768 as -32767 before that: eleven products
// of such samples, less eleven others, then stay within 32-bit integers,
// which is what lets vector instructions form them. Half a step of 16 bits
// is far below any voice.
constexpr int32_t kLargestHalved = 16383;

// How a frame's states are scored: a voiced candidate by how periodic the
// frame is at its lag (1 - normalised difference), plus a small bonus for
// shorter lags, so that of two equally good periods the octave above wins;
// the unvoiced state by a fixed threshold, raised in quiet frames relative to
// the stream's peak.
constexpr float kOctaveBonus = 0.01f;
constexpr float kVoicingThreshold = 0.45f;
constexpr float kSilenceThreshold = 0.03f;
constexpr float kWeakestCandidate = 0.2f;
// A period that holds two or more periods of the voice: one whose part (a
// half, a third, ...) is clearly periodic (a normalised difference under
// kClearPeriod) and nearly as periodic as the whole (within kNearlyAsPeriodic),
// while the whole stands out no more than kStandsOut from its neighbouring
// multiples of that part. Such a period loses kOctavePenalty, so that a voice
// that steps up an octave is followed within a few frames, and a note with
// one strong harmonic is not read an octave or two low.
constexpr float kClearPeriod = 0.1f;
constexpr float kNearlyAsPeriodic = 0.06f;
constexpr float kStandsOut = 0.03f;
constexpr float kOctavePenalty = 0.3f;
// A short period (a voice above about 460 Hz) must repeat: a frame periodic
// at the period but far less so at twice it is a hiss or a ringing, not a
// voice, and loses kOctavePenalty too. Where the frame is clearly periodic
// at the period (under kClearPeriod), the dip at twice the period is
// measured at its bottom between lags, as the period's own is: a high voice
// rich in upper harmonics (a soprano's C6 on "ee", whose second formant lies
// on its second harmonic) has dips so deep and narrow that twice its period
// of 10.7 samples, half way between two lags, reads 0.1 above its bottom at
// either, and the voice would be marked down and read at eleven of its
// periods. A frame less clearly periodic is measured at the lags themselves,
// whose lean against it keeps a formant ringing on after a vowel from
// passing for a voice at the top of the range.
constexpr float kRepeatsBelowLag = 24.0f;
constexpr float kRepeatMargin = 0.1f;
// A whole sound's path weighs each voiced stretch as one, which decides its
// octave better than any rule about one frame: there a period that holds
// several is not marked down at all, and a short one that does not repeat
// by less than half the margin it missed, so that the period twice as long,
// which repeats no better, can never win by it (a soprano's C6 on "ee" would
// otherwise fall an octave).
constexpr float kWholeSoundNoRepeatPenalty = 0.05f;
// Without those marks a frame at the edge of voicing, where the voice falls
// into creak or breath, more often fits a multiple of its period; a whole
// sound therefore asks more of a frame to be voiced, so that such a frame is
// unvoiced rather than an octave or two low. A change of voicing costs what
// it costs live: asking more of that too cut the voice short at the ends of
// its stretches, and the blips and squeaks a cheaper change lets through are
// left unvoiced as whole stretches (see kShortestVoicedStretch).
constexpr float kWholeSoundVoicingThreshold = 0.55f;
// A voice that grows louder or softer within the window (a syllable's onset
// or its end) differs from itself a lag later by more the longer the lag,
// which favours half the period: through a telephone, whose voices have lost
// their fundamental, whole syllables were read an octave up from their
// onsets. What the change alone makes of a lag's difference is (sqrt(E1) -
// sqrt(E2))^2, E1 and E2 the energies of the window and of its shifted copy;
// a whole sound forgives each dip kLoudnessChangeForgiven (E1 - E2)^2 /
// (E1 + E2), about 0.6 of that while one is under twice the other, which
// needs no root. Forgiving all of it reads more voices an octave low.
//   Only periods up to kLongestForgivenLag (a voice above about 79 Hz) are
// forgiven: a creaky voice fits three of its periods nearly as well as one,
// and forgiving the longest lags too read such stretches at a third of
// their pitch.
constexpr float kLoudnessChangeForgiven = 0.3f;
constexpr int32_t kLongestForgivenLag = 140;
// How often, in frames, a whole sound's paths are traced back to where they
// agree.
constexpr int64_t kAgreementEvery = 32;
// Short periods are measured again over several periods, up to about this
// many samples, where a sample's step is a smaller share of the period.
constexpr int32_t kMultiPeriodSpan = 48;
// Frames this far below the picture's loudness ceiling show dark: a quarter
// of full brightness, black at 40 dB. Live, they are unvoiced whatever they
// hold; the line follows only what the picture shows clearly. A whole sound
// is unvoiced where the picture is black, and where it is dim only unless
// the frame is nearly perfectly periodic (a strength over its voicing
// threshold by kDimFrameMargin): a vowel fading out, or spoken softly after
// a loud one, is still the voice, while breath, hiss and the rough ends of
// words there are not.
constexpr float kDarkBelowCeilingDb = 30.0f;
constexpr float kBlackBelowCeilingDb = 40.0f;
constexpr float kAlwaysUnvoiced = 10.0f;
constexpr float kDimFrameMargin = 0.35f;
// A frame whose neighbouring samples, as recorded, hardly go together (their
// lag-one correlation under kHissCorrelation) holds most of its energy
// above about 2.4 kHz: the hiss of a fricative, not a voice, whose energy
// lies in its first formant and the harmonics below that at every pitch the
// tracker follows. A band of such hiss, as an "sh" leaves it through a
// telephone (2.5-3.3 kHz), correlates with itself three of its cycles later
// about as well as a voice near 950 Hz does over one period: a whole sound,
// which has no per-frame octave marks to stop it, read 40-60 ms of it as a
// man's voice jumping nine times higher, and the live line read parts of
// it so too. There the unvoiced state gains kHissMargin, so that only a
// frame that is very clearly periodic is voiced, and a dip whose bottom
// lies short of the shortest lag, above the range, is no candidate: the
// band near 3.7 kHz that an "s" leaves in a recording at 8 kHz repeats
// over three of its cycles, 8.9 samples, almost exactly, and a whole sound
// read it at 1230 Hz after a child's voice at 400 Hz.
constexpr double kHissCorrelation = 0.2;
constexpr float kHissMargin = 0.3f;
// The frame analysis measures loudness after pre-emphasis and a Hamming
// window; this is the mean square of that window over a frame, and the
// samples here are halved.
constexpr double kHammingPower = 0.3974;
constexpr double kHalvedPower = 4.0;
// Path costs per frame: a change of voicing, and a change of pitch per
// octave. They are stated for a 10 ms step and scaled to the 1 ms frames, so
// that a path pays for how long it leaves its course, not how often it is
// sampled.
constexpr double kFrameSeconds = static_cast<double>(PitchTracker::kHop) / PitchTracker::kSampleRate;
constexpr float kStepScale = static_cast<float>(0.01 / kFrameSeconds);
constexpr float kVoicingChangeCost = 0.14f * kStepScale;
constexpr float kOctaveJumpCost = 0.35f * kStepScale;
// The stream's peak halves in about ten seconds of quieter sound, so that
// the live line is not held silent for long after a shout or a knock. A
// whole sound keeps it for about a minute: a recording is judged against
// its loudest moment, and a voice trailing off many seconds after it, at a
// few hundredths of its peak, is breath and echo rather than voice, as it
// is to the ear and to other pitch trackers.
constexpr double kPeakDecay = 0.99993;
constexpr double kWholeSoundPeakDecay = 0.9999885;
// A whole sound also hears its loudest moment ahead: each frame is judged
// against the peak of the kLoudestAhead samples (4 s) after it too, so
// that a quiet lead-in before the first loud word is judged as Praat and
// the ear judge it, against the recording's loudest moment, not against
// the silence before it. A faint, steady hum or a murmur at the start of a
// recording was otherwise voiced until the speech began.

// A short period's dip is narrow against the step between lags: C6 sung on
// "ee" with the vowel's formants where speech has them (its fundamental
// weak, its second and third harmonics carrying the note) dips to 0.004 at
// its period of 10.54 samples but to 0.16 and 0.19 at the lags either side,
// and a parabola through them finds 0.1, while twice the period, 21.07
// samples, lies on a lag and shows its full depth: a whole sound read the
// note an octave low. The differences are as smooth between lags as the
// sound is between samples, so a dip at a lag under kRepeatsBelowLag is
// read again from them interpolated by a Hann-windowed sinc of kFineTaps
// taps, at quarters of a lag, its bottom refined between those by a
// parabola. (The taps are stated, not computed, so that every processor
// reads the same bits.)
//   That reading is taken only where it finds the frame clearly periodic
// (under kClearPeriod); elsewhere the parabola's, against which the voicing
// thresholds were set, stands. A dip the parabola finds above
// kWorthRefiningFinely, far above where any clearly periodic frame's
// narrow dip showed between lags, is not read again: most frames have a
// few such dips, and reading them all made every frame dearer.
constexpr float kWorthRefiningFinely = 0.5f;
constexpr int32_t kFineTaps = 8;
constexpr int32_t kFineSteps = 4;
constexpr float kFineTapWeights[kFineSteps][kFineTaps] = {
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {-0.0123715175f, 0.0500261754f, -0.147928286f, 0.893631066f, 0.280050342f, -0.0863178879f, 0.0269314492f, -0.00402134199f},
    {-0.0106335843f, 0.052582271f, -0.159079552f, 0.617130865f, 0.617130865f, -0.159079552f, 0.052582271f, -0.0106335843f},
    {-0.00402134199f, 0.0269314492f, -0.0863178879f, 0.280050342f, 0.893631066f, -0.147928286f, 0.0500261754f, -0.0123715175f},
};

// Each lag as a float, for the quotients of the normalisation.
constexpr auto kLagValues = [] {
    std::array<float, PitchTracker::kMaxLag + 2> values{};
    for (size_t lag = 0; lag < values.size(); ++lag)
        values[lag] = static_cast<float>(lag);
    return values;
}();
constexpr float kTiny = 1e-30f;
// Words of eight lags that cover the lags searched.
constexpr int32_t kDipWords = (PitchTracker::kMaxLag - PitchTracker::kMinLag + 8) / 8;

// The bottom of the parabola through three values a step apart, `b` the
// lowest: its offset from b's place in steps, at most half a step either
// way, and in `lowest` its value.
float ParabolaBottom(float a, float b, float c, float& lowest)
{
    const float curve = a - 2.0f * b + c;
    const float offset = std::clamp(curve > 0.0f ? 0.5f * (a - c) / curve : 0.0f, -0.5f, 0.5f);
    lowest = b - 0.25f * (a - c) * offset;
    return offset;
}

int64_t CentreOf(int64_t frame)
{
    return frame * PitchTracker::kHop + PitchTracker::kCentreOffset;
}

// First sample any window of `frame` reaches.
int64_t StartOf(int64_t frame)
{
    return CentreOf(frame) + PitchTracker::kLookAheadSamples - kSpan;
}

// First sample of the window of `lag` for a frame centred at `centre`: the
// pairs (j, j + lag) of the window then lie centred on the frame whatever
// the lag, so that short and long periods are measured at the same moment.
int64_t WindowStart(int64_t centre, int32_t lag)
{
    return centre - (PitchTracker::kWindow + lag) / 2;
}

int16_t Halved(int16_t x)
{
    return static_cast<int16_t>(std::max(static_cast<int32_t>(x) / 2, -kLargestHalved));
}

// x[0] x[lag] + ... + x[count - 1] x[count - 1 + lag], exactly.
int64_t Cross(const int16_t* x, int32_t count, int32_t lag)
{
    int64_t sum = 0;
    for (int32_t k = 0; k < count; ++k)
        sum += static_cast<int32_t>(x[k]) * x[k + lag];
    return sum;
}

// What one hop adds to a lag's cross sum: the hop's pairs that arrive less
// those that leave.
int64_t CrossChangePortable(const int16_t* arriving, const int16_t* leaving, int32_t lag)
{
    return Cross(arriving, PitchTracker::kHop, lag) - Cross(leaving, PitchTracker::kHop, lag);
}

#if VOCALUME_X86_KERNELS
// The same with SSE2, which every x86-64 processor has: eight pairs and then
// three, multiplied and added in pairs into 32-bit lanes (halved samples keep
// every lane within range), and only the four lanes' total in 64 bits. The
// three last pairs are read as four from the eighth on, the eighth masked
// off, so that nothing past the pairs is read.
int64_t CrossChangeSse2(const int16_t* arriving, const int16_t* leaving, int32_t lag)
{
    static_assert(PitchTracker::kHop == 11);
    const __m128i lastThree = _mm_set_epi16(0, 0, 0, 0, -1, -1, -1, 0);
    const auto pairs = [&](const int16_t* x) {
        const __m128i head = _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x)),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + lag)));
        const __m128i tail =
            _mm_madd_epi16(_mm_and_si128(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + 7)), lastThree),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(x + 7 + lag)));
        return _mm_add_epi32(head, tail);
    };
    const __m128i change = _mm_sub_epi32(pairs(arriving), pairs(leaving));
    const __m128i sign = _mm_srai_epi32(change, 31);
    const __m128i wide = _mm_add_epi64(_mm_unpacklo_epi32(change, sign), _mm_unpackhi_epi32(change, sign));
    return _mm_cvtsi128_si64(_mm_add_epi64(wide, _mm_unpackhi_epi64(wide, wide)));
}
#endif

}  // namespace

PitchTracker::PitchTracker(Sums sums, Reach reach)
    : m_sums(sums),
      m_reach(reach),
      m_severalPeriodsPenalty(reach == Reach::Live ? kOctavePenalty : 0.0f),
      m_noRepeatPenalty(reach == Reach::Live ? kOctavePenalty : kWholeSoundNoRepeatPenalty),
      m_voicingThreshold(reach == Reach::Live ? kVoicingThreshold : kWholeSoundVoicingThreshold),
      m_dimFrameMargin(reach == Reach::Live ? kAlwaysUnvoiced : kDimFrameMargin),
      m_peakDecay(reach == Reach::Live ? kPeakDecay : kWholeSoundPeakDecay),
      m_peakAhead(reach == Reach::Live ? 0 : kLoudestAhead),
      m_history(kLeadingSilence - kSmoothingDelay, 0),
      m_energy(kLeadingSilence - kSmoothingDelay + 1, 0),
      m_levelEnergy(kLeadingSilence + 1, 0),
      m_levelNeighbours(kLeadingSilence + 1, 0),
      m_base(-kLeadingSilence),
      m_levelPeak(LevelTrackers{}.energyPeak),
      m_levelFloor(LevelTrackers{}.energyFloor),
      m_columns(static_cast<size_t>(reach == Reach::Live ? kSettleFrames + 1 : kLongestWait + 1)),
      m_lags(m_columns.size()),
      m_heardSemitones(reach == Reach::Live ? 0 : kVoiceHeardFrames, int8_t{-1})
{
#if !VOCALUME_X86_KERNELS
    if (m_sums == Sums::Running)
        m_sums = Sums::RunningPortable;
#endif
}

void PitchTracker::Push(const int16_t* samples, size_t count, std::vector<PitchEstimate>& out)
{
    // Grown once for the whole piece, then filled in place.
    const size_t at = m_history.size();
    m_history.resize(at + count);
    m_energy.resize(at + 1 + count);
    m_levelEnergy.resize(m_levelEnergy.size() + count);
    m_levelNeighbours.resize(m_levelNeighbours.size() + count);
    int16_t* history = m_history.data() + at;
    int64_t* energy = m_energy.data() + at + 1;
    int64_t* levelEnergy = m_levelEnergy.data() + m_levelEnergy.size() - count;
    int64_t* levelNeighbours = m_levelNeighbours.data() + m_levelNeighbours.size() - count;
    int64_t e = energy[-1], le = levelEnergy[-1], ln = levelNeighbours[-1];
    std::array<int16_t, 4> r = m_recent;
    for (size_t i = 0; i < count; ++i) {
        const int16_t h = Halved(samples[i]);
        le += static_cast<int32_t>(h) * h;
        ln += static_cast<int32_t>(h) * r[3];
        levelEnergy[i] = le;
        levelNeighbours[i] = ln;
        // The low-pass 1 2 1 over four, centred two samples back (one is
        // kept in hand): a voice's harmonics up to 1.1 kHz pass nearly whole,
        // the hiss of fricatives above 4 kHz loses 15 to 30 dB, so that
        // it does not pass for a voice at the top of the range.
        //   A whole sound takes the gentler 1 1 over two, half the loss in
        // dB at every frequency (3 dB at 2 kHz). A voice heard through a
        // telephone has lost its fundamental, and what tells its period
        // from half of it is its odd harmonics, which lie in the second
        // formant's region, 1 to 3 kHz; the stronger filter takes away
        // enough of them to let whole syllables read an octave up. The
        // hiss it keeps out is kept out there by the higher voicing
        // threshold and the weight of the whole stretch.
        const auto y = m_reach == Reach::Live
                           ? static_cast<int16_t>((r[1] + 2 * r[2] + r[3] + 2) >> 2)
                           : static_cast<int16_t>((r[2] + r[3] + 1) >> 1);
        r = {r[1], r[2], r[3], h};
        history[i] = y;
        e += static_cast<int32_t>(y) * y;
        energy[i] = e;
    }
    m_recent = r;
    m_received += static_cast<int64_t>(count);
    while (m_received >= CentreOf(m_analysed) + kLookAheadSamples + kSmoothingDelay + m_peakAhead) {
        AnalyseNext();
        Emit(out);
    }
}

void PitchTracker::Finish(int64_t frames, std::vector<PitchEstimate>& out)
{
    static const int16_t silence[kHop * 16] = {};
    while (m_analysed < frames)
        Push(silence, sizeof silence / sizeof silence[0], out);
    SettleAll(out);
    if (static_cast<int64_t>(out.size()) > 0 && m_emitted > frames) {
        const int64_t extra = std::min<int64_t>(m_emitted - frames, static_cast<int64_t>(out.size()));
        out.resize(out.size() - static_cast<size_t>(extra));
        m_emitted -= extra;
    }
}

int64_t PitchTracker::LevelSum(const std::vector<int64_t>& sums, int64_t first, int64_t last) const
{
    return sums[static_cast<size_t>(last - m_base)] - sums[static_cast<size_t>(first - m_base)];
}

int64_t PitchTracker::Energy(int64_t first, int64_t last) const
{
    return m_energy[static_cast<size_t>(last - m_base)] - m_energy[static_cast<size_t>(first - m_base)];
}

void PitchTracker::SumAfresh(int64_t centre)
{
    for (int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        const int64_t at = WindowStart(centre, lag) - m_base;
        m_cross[static_cast<size_t>(lag)] = Cross(m_history.data() + at, kWindow, lag);
    }
}

void PitchTracker::UpdateSums(int64_t oldCentre)
{
    // Every window moves on by one hop: its first kHop pairs leave, kHop new
    // ones come in.
    const int16_t* x = m_history.data();
    for (int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        const int16_t* leaving = x + (WindowStart(oldCentre, lag) - m_base);
        const int16_t* arriving = leaving + kWindow;
#if VOCALUME_X86_KERNELS
        m_cross[static_cast<size_t>(lag)] += m_sums == Sums::Running ? CrossChangeSse2(arriving, leaving, lag)
                                                                     : CrossChangePortable(arriving, leaving, lag);
#else
        m_cross[static_cast<size_t>(lag)] += CrossChangePortable(arriving, leaving, lag);
#endif
    }
}

void PitchTracker::Normalise(int64_t centre)
{
    // Each lag's difference, sum of (x[j] - x[j + lag])^2 over its window,
    // from the energies of the window and of its shifted copy and the cross
    // sum, and their running total over the lags, all exact.
    std::array<float, kMaxLag + 2> differences;
    std::array<float, kMaxLag + 2>& totals = m_totals;
    differences[0] = totals[0] = 0.0f;
    int64_t total = 0;
    for (int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        const int64_t start = WindowStart(centre, lag);
        const int64_t difference = Energy(start, start + kWindow) + Energy(start + lag, start + lag + kWindow) -
                                   2 * m_cross[static_cast<size_t>(lag)];
        total += difference;
        differences[static_cast<size_t>(lag)] = static_cast<float>(difference);
        totals[static_cast<size_t>(lag)] = static_cast<float>(total);
    }
    // The cumulative-mean normalisation: each lag's difference against the
    // mean of those of all shorter lags, so that the small differences of
    // very short lags never look like a period. A loop of quotients alone,
    // which the compiler turns into vector divisions (the same bits).
    for (size_t lag = 1; lag <= kMaxLag + 1; ++lag)
        m_normalised[lag] = differences[lag] * kLagValues[lag] / std::max(totals[lag], kTiny);
    // Lags before the first difference (a silent stretch) show nothing.
    m_normalised[0] = 1.0f;
    for (size_t lag = 1; lag <= kMaxLag + 1 && totals[lag] == 0.0f; ++lag)
        m_normalised[lag] = 1.0f;
    m_haveLowestBelow = false;
}

// The period near the dip at `lag` (a local minimum), refined between lags by
// a parabola, and in `lowest` the difference at it.
float PitchTracker::Refine(int32_t lag, float& lowest) const
{
    const float* d = m_normalised.data();
    return static_cast<float>(lag) + ParabolaBottom(d[lag - 1], d[lag], d[lag + 1], lowest);
}

// As Refine, for a narrow dip: the bottom of the interpolated differences
// within half a lag of `lag`.
float PitchTracker::RefineFinely(int32_t lag, float& lowest) const
{
    // Quarters of a lag from half a lag before `lag` to half a lag after it.
    std::array<float, kFineSteps + 1> at{};
    for (int32_t i = 0; i <= kFineSteps; ++i) {
        const int32_t quarters = lag * kFineSteps - kFineSteps / 2 + i;
        const int32_t whole = quarters / kFineSteps;
        const float* weights = kFineTapWeights[quarters % kFineSteps];
        const float* d = m_normalised.data() + (whole - kFineTaps / 2 + 1);
        float sum = 0.0f;
        for (int32_t k = 0; k < kFineTaps; ++k)
            sum += weights[k] * d[k];
        at[static_cast<size_t>(i)] = sum;
    }
    size_t best = 0;
    for (size_t i = 1; i < at.size(); ++i)
        if (at[i] < at[best])
            best = i;
    lowest = at[best];
    float offset = 0.0f;
    if (best > 0 && best < at.size() - 1)
        offset = ParabolaBottom(at[best - 1], at[best], at[best + 1], lowest);
    return static_cast<float>(lag) +
           (static_cast<float>(best) + offset - static_cast<float>(kFineSteps / 2)) / static_cast<float>(kFineSteps);
}

// The part of the normalised difference at `lag` forgiven a change of
// loudness across the window (see kLoudnessChangeForgiven); none live. It
// changes slowly from lag to lag, so a dip's neighbours are taken to lose as
// much, and where the dip lies between lags is unchanged.
float PitchTracker::LoudnessChangePart(int32_t lag) const
{
    if (m_reach != Reach::WholeSound || lag > kLongestForgivenLag)
        return 0.0f;
    const int64_t start = WindowStart(CentreOf(m_analysed), lag);
    const int64_t before = Energy(start, start + kWindow);
    const int64_t after = Energy(start + lag, start + lag + kWindow);
    const auto change = static_cast<float>(before - after);
    // Where the window or its copy is silent, the difference at this lag is
    // all change of loudness and no dip; nothing is forgiven there.
    const float scale = static_cast<float>(before + after) * m_totals[static_cast<size_t>(lag)];
    if (before == 0 || after == 0 || scale <= 0.0f)
        return 0.0f;
    return kLoudnessChangeForgiven * change * change * kLagValues[static_cast<size_t>(lag)] / scale;
}

// The lowest normalised difference within a lag of `lag`.
float PitchTracker::LowestNear(float lag) const
{
    const auto at = static_cast<int32_t>(lag + 0.5f);
    float lowest = 1e30f;
    for (int32_t q = std::max(at - 1, 1); q <= std::min(at + 1, kMaxLag + 1); ++q)
        lowest = std::min(lowest, m_normalised[static_cast<size_t>(q)]);
    return lowest;
}

// The bottom of the dip within a lag of `lag`, read between lags finely (see
// kFineTaps); where there is no dip, the lowest difference there.
float PitchTracker::BottomNear(float lag) const
{
    const auto at = static_cast<int32_t>(lag + 0.5f);
    int32_t q = at;
    for (int32_t r = std::max(at - 1, 1); r <= std::min(at + 1, kMaxLag); ++r)
        if (m_normalised[static_cast<size_t>(r)] < m_normalised[static_cast<size_t>(q)])
            q = r;
    float lowest = m_normalised[static_cast<size_t>(q)];
    if (q >= 1 && q <= kMaxLag && lowest < m_normalised[static_cast<size_t>(q - 1)] &&
        lowest <= m_normalised[static_cast<size_t>(q + 1)]) {
        if (q + kFineTaps / 2 <= kMaxLag + 1)
            RefineFinely(q, lowest);
        else
            Refine(q, lowest);
    }
    return lowest;
}

// Whether the period `period`, a dip of normalised difference `lowest`,
// holds two or more periods of the voice (see kClearPeriod).
bool PitchTracker::HoldsSeveralPeriods(float period, float lowest)
{
    // The lowest difference at any lag up to each lag, once a frame, for the
    // first candidate that asks.
    if (!m_haveLowestBelow) {
        m_lowestBelow[0] = m_normalised[0];
        for (size_t lag = 1; lag <= kMaxLag + 1; ++lag)
            m_lowestBelow[lag] = std::min(m_lowestBelow[lag - 1], m_normalised[lag]);
        m_haveLowestBelow = true;
    }
    // Most candidates have no dip clear enough anywhere below them.
    const float enough = std::min(kClearPeriod, lowest + kNearlyAsPeriodic);
    if (m_lowestBelow[static_cast<size_t>(period)] > enough)
        return false;
    for (int32_t k = 2; period / static_cast<float>(k) >= static_cast<float>(kMinLag) - 0.5f; ++k) {
        const float step = period / static_cast<float>(k);
        // Every multiple of the part short of the whole.
        float part = LowestNear(step);
        for (int32_t m = 2; m < k; ++m)
            part = std::min(part, LowestNear(step * static_cast<float>(m)));
        if (part > enough)
            continue;
        float around = LowestNear(period - step);
        if (period + step <= static_cast<float>(kMaxLag) + 0.5f)
            around = std::min(around, LowestNear(period + step));
        return around - lowest <= kStandsOut;
    }
    return false;
}

void PitchTracker::Candidates(Column& column, int64_t centre)
{
    // The unvoiced state, from the frame's peak against the stream's, and
    // from its loudness against the picture's ceiling.
    // (Halved samples never reach -32768, so their magnitudes fit 16 bits.)
    int16_t local = 0;
    const int16_t* x = m_history.data() + (StartOf(m_analysed) - m_base);
    for (int32_t j = 0; j < kSpan; ++j)
        local = std::max(local, static_cast<int16_t>(x[j] < 0 ? -x[j] : x[j]));
    if (m_peakAhead > 0) {
        // The samples newly come within reach ahead of the frame; each is
        // read once.
        const int64_t to = StartOf(m_analysed) + kSpan + m_peakAhead;
        const int64_t from = std::max(m_peakAheadRead, StartOf(m_analysed));
        int16_t ahead = 0;
        for (const int16_t* y = x + (from - StartOf(m_analysed)); y < x + (to - StartOf(m_analysed)); ++y)
            ahead = std::max(ahead, static_cast<int16_t>(*y < 0 ? -*y : *y));
        m_peakAheadRead = to;
        m_peak = std::max(m_peak, static_cast<double>(ahead));
    }
    m_peak = std::max(m_peak * m_peakDecay, static_cast<double>(local));
    const double relative = m_peak > 0.0 ? local / m_peak : 0.0;

    const int64_t first = centre - kCentreOffset;
    const int64_t last = first + kFrameLength;
    const auto energy = static_cast<double>(LevelSum(m_levelEnergy, first, last));
    const auto neighbours = static_cast<double>(LevelSum(m_levelNeighbours, first, last));
    const double emphasised = energy +
                              kPreEmphasis * kPreEmphasis * static_cast<double>(LevelSum(m_levelEnergy, first - 1, last - 1)) -
                              2.0 * kPreEmphasis * neighbours;
    const auto level =
        static_cast<float>(10.0 * Log10Floor(kHalvedPower * kHammingPower * emphasised / kFrameLength));
    m_levelPeak = static_cast<float>(m_levelPeak - kPeakFall);
    m_levelFloor = static_cast<float>(m_levelFloor + kFloorRise);
    m_levelPeak = std::max(m_levelPeak, level);
    m_levelFloor = std::min(m_levelFloor, level);
    const float ceiling =
        std::max(m_levelPeak, static_cast<float>(m_levelFloor + kCeilingMargin));

    State& unvoiced = column.states[0];
    unvoiced = State{};
    unvoiced.strength =
        m_voicingThreshold +
        static_cast<float>(std::max(0.0, 2.0 - relative / (kSilenceThreshold / (1.0 + kVoicingThreshold))));
    if (level < ceiling - kBlackBelowCeilingDb)
        unvoiced.strength += kAlwaysUnvoiced;
    else if (level < ceiling - kDarkBelowCeilingDb)
        unvoiced.strength += m_dimFrameMargin;
    const bool hiss = neighbours < kHissCorrelation * energy;
    if (hiss)
        unvoiced.strength += kHissMargin;
    column.count = 1;

    // The best few dips: first where they are, in a loop of comparisons
    // alone, eight lags to a word, then each dip in turn.
    const float* d = m_normalised.data();
    alignas(8) std::array<uint8_t, kDipWords * 8> dips;
    for (int32_t lag = kMinLag; lag < kMinLag + kDipWords * 8; ++lag)
        dips[static_cast<size_t>(lag - kMinLag)] =
            static_cast<uint8_t>((d[lag] < d[lag - 1]) & (d[lag] <= d[lag + 1]) & (lag <= kMaxLag));
    for (int32_t lag = kMinLag; lag <= kMaxLag; ++lag) {
        if ((lag - kMinLag) % 8 == 0) {
            uint64_t word;
            std::memcpy(&word, dips.data() + (lag - kMinLag), sizeof word);
            if (word == 0) {
                lag += 7;
                continue;
            }
        }
        if (dips[static_cast<size_t>(lag - kMinLag)] == 0)
            continue;
        float lowest = 0.0f;
        float period = Refine(lag, lowest);
        if (static_cast<float>(lag) < kRepeatsBelowLag && lowest < kWorthRefiningFinely) {
            float finely = 0.0f;
            const float fine = RefineFinely(lag, finely);
            if (finely < kClearPeriod) {
                period = fine;
                lowest = finely;
            }
        }
        const float measured = lowest;
        lowest -= LoudnessChangePart(lag);
        if (1.0f - lowest < kWeakestCandidate || (hiss && period < static_cast<float>(kMinLag)))
            continue;
        // A short period measured again at a multiple of it.
        const int32_t periods = kMultiPeriodSpan / lag;
        if (periods >= 2) {
            const auto near = static_cast<int32_t>(period * static_cast<float>(periods) + 0.5f);
            int32_t q = near;
            for (int32_t r = near - 1; r <= near + 1; ++r)
                if (d[r] < d[q])
                    q = r;
            if (d[q] < d[q - 1] && d[q] <= d[q + 1]) {
                float unused = 0.0f;
                period = Refine(q, unused) / static_cast<float>(periods);
            }
        }
        const float periodicity = 1.0f - lowest;
        State s;
        s.lag = period;
        s.logLag = std::log2(s.lag);
        s.strength = periodicity + kOctaveBonus * (std::log2(static_cast<float>(kMaxLag)) - s.logLag);
        if (period < kRepeatsBelowLag) {
            const float twice = lowest < kClearPeriod ? BottomNear(2.0f * period) : LowestNear(2.0f * period);
            if (twice > measured + kRepeatMargin)
                s.strength -= m_noRepeatPenalty;
        }
        const bool full = column.count == kCandidates + 1;
        if (full && s.strength <= column.states[static_cast<size_t>(kCandidates)].strength)
            continue;
        if (m_severalPeriodsPenalty > 0.0f && HoldsSeveralPeriods(period, lowest))
            s.strength -= m_severalPeriodsPenalty;
        // Kept in order of strength; the weakest falls out.
        int32_t at = column.count;
        if (full) {
            if (s.strength <= column.states[static_cast<size_t>(at - 1)].strength)
                continue;
            --at;
        } else {
            ++column.count;
        }
        while (at > 1 && column.states[static_cast<size_t>(at - 1)].strength < s.strength) {
            column.states[static_cast<size_t>(at)] = column.states[static_cast<size_t>(at - 1)];
            --at;
        }
        column.states[static_cast<size_t>(at)] = s;
    }
}

void PitchTracker::Link(Column& column, const Column* previous) const
{
    float best = 0.0f;
    if (previous != nullptr) {
        best = previous->states[0].score;
        for (int32_t k = 1; k < previous->count; ++k)
            best = std::max(best, previous->states[static_cast<size_t>(k)].score);
    }
    for (int32_t i = 0; i < column.count; ++i) {
        State& s = column.states[static_cast<size_t>(i)];
        s.from = -1;
        if (previous == nullptr) {
            s.score = s.strength;
            continue;
        }
        float top = -1e30f;
        for (int32_t k = 0; k < previous->count; ++k) {
            const State& p = previous->states[static_cast<size_t>(k)];
            float cost;
            if ((p.lag == 0.0f) != (s.lag == 0.0f))
                cost = kVoicingChangeCost;
            else if (s.lag == 0.0f)
                cost = 0.0f;
            else
                cost = kOctaveJumpCost * std::fabs(s.logLag - p.logLag);
            // Scores are kept relative to the best of the frame before, so
            // they stay small however long the stream.
            const float score = p.score - best - cost;
            if (score > top) {
                top = score;
                s.from = static_cast<int8_t>(k);
            }
        }
        s.score = s.strength + top;
    }
}

void PitchTracker::AnalyseNext()
{
    const int64_t start = StartOf(m_analysed);
    const int64_t centre = CentreOf(m_analysed);
    if (m_sums == Sums::Afresh || !m_haveSums) {
        SumAfresh(centre);
        m_haveSums = true;
    } else {
        UpdateSums(CentreOf(m_analysed - 1));
    }
    Normalise(centre);
    Column& column = ColumnOf(m_analysed);
    Candidates(column, centre);
    const Column* previous = m_analysed == 0 ? nullptr : &ColumnOf(m_analysed - 1);
    Link(column, previous);
    ++m_analysed;

    // Samples before this frame's start are no longer needed (the loudness
    // reads one sample before a frame, which starts well after this).
    if (start - m_base > kTrimAt + m_peakAhead) {
        const auto drop = static_cast<std::ptrdiff_t>(start - m_base);
        m_history.erase(m_history.begin(), m_history.begin() + drop);
        // Only differences of the running sums count: start them from 0
        // again, so that they never grow however long the stream.
        for (std::vector<int64_t>* sums : {&m_energy, &m_levelEnergy, &m_levelNeighbours}) {
            sums->erase(sums->begin(), sums->begin() + drop);
            const int64_t first = sums->front();
            for (int64_t& e : *sums)
                e -= first;
        }
        m_base = start;
    }
}

namespace {

PitchEstimate EstimateOf(float lag)
{
    PitchEstimate e;
    if (lag > 0.0f) {
        e.voiced = true;
        e.f0Hz = static_cast<float>(PitchTracker::kSampleRate) / lag;
    }
    return e;
}

}  // namespace

const PitchTracker::Column& PitchTracker::ColumnOf(int64_t frame) const
{
    return m_columns[static_cast<size_t>(frame % static_cast<int64_t>(m_columns.size()))];
}

PitchTracker::Column& PitchTracker::ColumnOf(int64_t frame)
{
    return m_columns[static_cast<size_t>(frame % static_cast<int64_t>(m_columns.size()))];
}

// The lags along the best path ending at the newest frame, from the first
// frame not yet settled on, into m_lags[0 .. newest - m_emitted]; returns
// how many.
int32_t PitchTracker::BestPath()
{
    const int64_t newest = m_analysed - 1;
    const Column* column = &ColumnOf(newest);
    int32_t state = 0;
    for (int32_t k = 1; k < column->count; ++k)
        if (column->states[static_cast<size_t>(k)].score > column->states[static_cast<size_t>(state)].score)
            state = k;
    for (int64_t f = newest;; --f) {
        m_lags[static_cast<size_t>(f - m_emitted)] = column->states[static_cast<size_t>(state)].lag;
        if (f == m_emitted)
            break;
        state = std::max<int32_t>(column->states[static_cast<size_t>(state)].from, 0);
        column = &ColumnOf(f - 1);
    }
    return static_cast<int32_t>(newest - m_emitted) + 1;
}

// The newest frame up to which every path ending at the newest frame runs
// through the same states, so that whatever comes later, the best path
// will; m_emitted - 1 where they part before the first unsettled frame.
int64_t PitchTracker::Agreed() const
{
    int64_t f = m_analysed - 1;
    const Column* column = &ColumnOf(f);
    std::array<int8_t, kCandidates + 1> states{};
    int32_t count = column->count;
    for (int32_t k = 0; k < count; ++k)
        states[static_cast<size_t>(k)] = static_cast<int8_t>(k);
    while (f >= m_emitted) {
        if (count == 1)
            return f;
        // Step back: each state to the one it came from, duplicates dropped.
        std::array<int8_t, kCandidates + 1> from{};
        int32_t kept = 0;
        for (int32_t k = 0; k < count; ++k) {
            const auto s = static_cast<int8_t>(
                std::max<int32_t>(column->states[static_cast<size_t>(states[static_cast<size_t>(k)])].from, 0));
            if (std::find(from.begin(), from.begin() + kept, s) == from.begin() + kept)
                from[static_cast<size_t>(kept++)] = s;
        }
        states = from;
        count = kept;
        --f;
        column = &ColumnOf(f);
    }
    return m_emitted - 1;
}

// Settles frame m_emitted on the path's lag there. A whole sound holds the
// voiced frames of a stretch back until it is long enough to stay voiced.
void PitchTracker::Settle(float lag, std::vector<PitchEstimate>& out)
{
    const PitchEstimate estimate = EstimateOf(lag);
    ++m_emitted;
    if (m_reach == Reach::Live) {
        out.push_back(estimate);
        return;
    }
    if (estimate.voiced && m_stretchLongEnough) {
        Append(estimate, out);
        return;
    }
    if (!estimate.voiced) {
        EndStretch(out);
        Append(estimate, out);
        return;
    }
    m_held[static_cast<size_t>(m_heldCount++)] = estimate;
    if (m_heldCount == kBriefStretch) {
        for (const PitchEstimate& held : m_held)
            Append(held, out);
        m_heldCount = 0;
        m_stretchLongEnough = true;
    }
}

// A voiced stretch ends: frames held back from it are voiced if the stretch
// is long enough, or near the voice heard before it, and not far above it.
void PitchTracker::EndStretch(std::vector<PitchEstimate>& out)
{
    const bool voiced = m_heldCount > 0 && StretchIsVoiced();
    for (int32_t k = 0; k < m_heldCount; ++k)
        Append(voiced ? m_held[static_cast<size_t>(k)] : PitchEstimate{}, out);
    m_heldCount = 0;
    m_stretchLongEnough = false;
}

// The semitone of a pitch above 40 Hz, within the range kept.
int8_t PitchTracker::SemitoneOf(float f0Hz)
{
    const auto semitone = static_cast<int32_t>(std::floor(12.0f * std::log2(f0Hz / 40.0f)));
    return static_cast<int8_t>(std::clamp(semitone, 0, kSemitones - 1));
}

// Appends a whole sound's estimate, and hears it as the voice of the last
// seconds. A frame read at the bottom of the range in a voice heard far
// above it is appended unvoiced (see kCreakBelowSemitone).
void PitchTracker::Append(PitchEstimate estimate, std::vector<PitchEstimate>& out)
{
    int8_t semitone = estimate.voiced ? SemitoneOf(estimate.f0Hz) : int8_t{-1};
    if (semitone >= 0 && semitone < kCreakBelowSemitone && m_heardVoiced >= kLeastVoiceHeard &&
        MiddleOfTheVoiceHeard() - semitone >= kCreakBelowTheVoiceSemitones) {
        estimate = PitchEstimate{};
        semitone = -1;
    }
    out.push_back(estimate);
    int8_t& slot = m_heardSemitones[m_heardAt];
    if (slot >= 0) {
        --m_heardCounts[static_cast<size_t>(slot)];
        --m_heardVoiced;
    }
    slot = semitone;
    if (slot >= 0) {
        ++m_heardCounts[static_cast<size_t>(slot)];
        ++m_heardVoiced;
    }
    if (++m_heardAt == m_heardSemitones.size())
        m_heardAt = 0;
}

// The middle semitone of the voice heard lately.
int32_t PitchTracker::MiddleOfTheVoiceHeard() const
{
    int32_t heard = 0;
    for (int32_t below = 0; 2 * (below + m_heardCounts[static_cast<size_t>(heard)]) <= m_heardVoiced; ++heard)
        below += m_heardCounts[static_cast<size_t>(heard)];
    return heard;
}

// The semitone of the held stretch's middle pitch.
int32_t PitchTracker::MiddleOfTheHeldStretch() const
{
    std::array<float, kBriefStretch> pitches;
    for (int32_t k = 0; k < m_heldCount; ++k)
        pitches[static_cast<size_t>(k)] = m_held[static_cast<size_t>(k)].f0Hz;
    const auto middle = pitches.begin() + m_heldCount / 2;
    std::nth_element(pitches.begin(), middle, pitches.begin() + m_heldCount);
    return SemitoneOf(*middle);
}

// Whether the held stretch, now ended, is voiced: a short one only near the
// middle of the voice heard before it (see kShortestVoicedStretch), a
// longer one unless it lies far above it and higher than anyone speaks (see
// kBriefStretch).
bool PitchTracker::StretchIsVoiced() const
{
    const bool heard = m_heardVoiced >= kLeastVoiceHeard;
    if (m_heldCount < kShortestVoicedStretch)
        return heard && std::abs(MiddleOfTheHeldStretch() - MiddleOfTheVoiceHeard()) <= kNearTheVoiceSemitones;
    if (!heard)
        return true;
    const int32_t semitone = MiddleOfTheHeldStretch();
    return semitone < kLowestSqueakSemitone || semitone - MiddleOfTheVoiceHeard() < kFarAboveSemitones;
}

void PitchTracker::Emit(std::vector<PitchEstimate>& out)
{
    const int64_t newest = m_analysed - 1;
    if (m_reach == Reach::WholeSound && newest - m_emitted < kLongestWait - 1) {
        if (newest % kAgreementEvery != 0)
            return;
        const int64_t agreed = Agreed();
        if (agreed < m_emitted)
            return;
        BestPath();
        for (int64_t f = m_emitted, k = 0; f <= agreed; ++f, ++k)
            Settle(m_lags[static_cast<size_t>(k)], out);
        return;
    }
    // Live, or a whole sound's stretch that has waited as long as it may:
    // the oldest frame is settled on the best path so far.
    if (newest - m_emitted < static_cast<int64_t>(m_columns.size()) - 1)
        return;
    BestPath();
    Settle(m_lags[0], out);
}

void PitchTracker::SettleAll(std::vector<PitchEstimate>& out)
{
    if (m_analysed > m_emitted) {
        const int32_t count = BestPath();
        for (int32_t k = 0; k < count; ++k)
            Settle(m_lags[static_cast<size_t>(k)], out);
    }
    // The sound ends the stretch being settled.
    EndStretch(out);
}

std::vector<PitchEstimate> TrackPitch(const int16_t* samples, size_t count, int64_t frames, PitchTracker::Sums sums,
                                      PitchTracker::Reach reach)
{
    std::vector<PitchEstimate> out;
    out.reserve(static_cast<size_t>(std::max<int64_t>(frames, 0)));
    PitchTracker tracker(sums, reach);
    // Fed in pieces, as a stream would be, so the history stays short.
    constexpr size_t kPiece = 4096;
    for (size_t i = 0; i < count && tracker.FramesDone() < frames; i += kPiece)
        tracker.Push(samples + i, std::min(kPiece, count - i), out);
    tracker.Finish(frames, out);
    out.resize(static_cast<size_t>(std::max<int64_t>(frames, 0)));
    return out;
}

int64_t PitchFramesIn(int64_t samples)
{
    return samples < kFrameLength ? 0 : (samples - kFrameLength) / PitchTracker::kHop + 1;
}

}  // namespace vocalume
