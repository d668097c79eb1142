#include "pitch_tracker.h"

#include <algorithm>
#include <cmath>

namespace vocalume {

namespace {

// Samples each frame's sums reach over: the window and its largest lag + 1.
constexpr int32_t kSpan = PitchTracker::kWindow + PitchTracker::kMaxLag + 1;
// Silence kept before the stream, so that the first frames read zeros there.
constexpr int32_t kLeadingSilence = 64;
// The history is trimmed when it has grown this far past what is needed.
constexpr int64_t kTrimAt = 16384;

// How a frame's states are scored: a voiced candidate by how periodic the
// frame is at its lag (1 - normalised difference), plus a small bonus for
// shorter lags, so that of two equally good periods the octave above wins;
// the unvoiced state by a fixed threshold, raised in quiet frames relative to
// the stream's peak.
constexpr float kOctaveBonus = 0.01f;
constexpr float kVoicingThreshold = 0.45f;
constexpr float kSilenceThreshold = 0.03f;
constexpr float kWeakestCandidate = 0.2f;
// Path costs per frame: a change of voicing, and a change of pitch per
// octave. They are stated for a 10 ms step and scaled to the 1 ms frames, so
// that a path pays for how long it leaves its course, not how often it is
// sampled.
constexpr double kFrameSeconds = static_cast<double>(PitchTracker::kHop) / PitchTracker::kSampleRate;
constexpr float kStepScale = static_cast<float>(0.01 / kFrameSeconds);
constexpr float kVoicingChangeCost = 0.14f * kStepScale;
constexpr float kOctaveJumpCost = 0.35f * kStepScale;
// The stream's peak halves in about ten seconds of quieter sound.
constexpr double kPeakDecay = 0.99993;

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

// Sum of (x[j] - x[j + lag])^2 for every j in [first, last) (indices into
// `x`). The integers are exact in double, so sums kept up to date frame by
// frame never drift.
double SquaredDifferences(const int16_t* x, int64_t first, int64_t last, int32_t lag)
{
    double sum = 0.0;
    for (int64_t j = first; j < last; ++j) {
        const double d = static_cast<double>(x[j]) - x[j + lag];
        sum += d * d;
    }
    return sum;
}

}  // namespace

PitchTracker::PitchTracker() : m_history(kLeadingSilence, 0), m_base(-kLeadingSilence) {}

void PitchTracker::Push(const int16_t* samples, size_t count, std::vector<PitchEstimate>& out)
{
    m_history.insert(m_history.end(), samples, samples + count);
    m_received += static_cast<int64_t>(count);
    while (m_received >= CentreOf(m_analysed) + kLookAheadSamples) {
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

void PitchTracker::ComputeDifferences(int64_t centre)
{
    m_diff.fill(0.0);
    for (int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        const int64_t at = WindowStart(centre, lag) - m_base;
        m_diff[static_cast<size_t>(lag)] = SquaredDifferences(m_history.data(), at, at + kWindow, lag);
    }
}

void PitchTracker::UpdateDifferences(int64_t oldCentre)
{
    // Every window moves on by one hop: its first kHop pairs leave, kHop new
    // ones come in. A fixed count lets the compiler unroll the pairs.
    const int16_t* x = m_history.data();
    for (int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        const int16_t* leaving = x + (WindowStart(oldCentre, lag) - m_base);
        const int16_t* arriving = leaving + kWindow;
        double change = 0.0;
        for (int32_t k = 0; k < kHop; ++k) {
            const double in = static_cast<double>(arriving[k]) - arriving[k + lag];
            const double out = static_cast<double>(leaving[k]) - leaving[k + lag];
            change += in * in - out * out;
        }
        m_diff[static_cast<size_t>(lag)] += change;
    }
}

void PitchTracker::Candidates(Column& column, int64_t start)
{
    // Cumulative-mean normalisation: each lag's difference against the mean
    // of those of all shorter lags, so that the small differences of very
    // short lags never look like a period.
    // The running sums first, then the quotients in a loop of their own that
    // the compiler can vectorise.
    std::array<double, kMaxLag + 2> mean{};
    double sum = 0.0;
    for (int32_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        sum += m_diff[static_cast<size_t>(lag)];
        mean[static_cast<size_t>(lag)] = sum;
    }
    m_normalised[0] = 1.0f;
    for (size_t lag = 1; lag <= kMaxLag + 1; ++lag) {
        const float total = static_cast<float>(mean[lag]);
        m_normalised[lag] =
            total > 0.0f ? static_cast<float>(m_diff[lag]) * static_cast<float>(lag) / total : 1.0f;
    }

    // The unvoiced state, from the frame's peak against the stream's.
    int32_t local = 0;
    const int16_t* x = m_history.data() + (start - m_base);
    for (int32_t j = 0; j < kSpan; ++j)
        local = std::max(local, std::abs(static_cast<int32_t>(x[j])));
    m_peak = std::max(m_peak * kPeakDecay, static_cast<double>(local));
    const double relative = m_peak > 0.0 ? local / m_peak : 0.0;
    State& unvoiced = column.states[0];
    unvoiced = State{};
    unvoiced.strength =
        kVoicingThreshold +
        static_cast<float>(std::max(0.0, 2.0 - relative / (kSilenceThreshold / (1.0 + kVoicingThreshold))));
    column.count = 1;

    // The best few dips, refined between lags by a parabola.
    const float* d = m_normalised.data();
    for (int32_t lag = kMinLag; lag <= kMaxLag; ++lag) {
        if (!(d[lag] < d[lag - 1] && d[lag] <= d[lag + 1]))
            continue;
        const float a = d[lag - 1], b = d[lag], c = d[lag + 1];
        const float curve = a - 2.0f * b + c;
        float offset = curve > 0.0f ? 0.5f * (a - c) / curve : 0.0f;
        offset = std::clamp(offset, -0.5f, 0.5f);
        const float lowest = b - 0.25f * (a - c) * offset;
        const float periodicity = 1.0f - lowest;
        if (periodicity < kWeakestCandidate)
            continue;
        State s;
        s.lag = static_cast<float>(lag) + offset;
        s.logLag = std::log2(s.lag);
        s.strength = periodicity + kOctaveBonus * (std::log2(static_cast<float>(kMaxLag)) - s.logLag);
        // Kept in order of strength; the weakest falls out.
        int32_t at = column.count;
        if (at == kCandidates + 1) {
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
    if (!m_haveDifferences) {
        ComputeDifferences(CentreOf(m_analysed));
        m_haveDifferences = true;
    } else {
        UpdateDifferences(CentreOf(m_analysed - 1));
    }
    Column& column = m_columns[static_cast<size_t>(m_analysed % (kSettleFrames + 1))];
    Candidates(column, start);
    const Column* previous =
        m_analysed == 0 ? nullptr : &m_columns[static_cast<size_t>((m_analysed - 1) % (kSettleFrames + 1))];
    Link(column, previous);
    ++m_analysed;

    // Samples before this frame's start are no longer needed.
    if (start - m_base > kTrimAt) {
        const int64_t drop = start - m_base;
        m_history.erase(m_history.begin(), m_history.begin() + static_cast<std::ptrdiff_t>(drop));
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

void PitchTracker::Emit(std::vector<PitchEstimate>& out)
{
    const int64_t newest = m_analysed - 1;
    if (newest - m_emitted < kSettleFrames)
        return;
    // Back along the best path ending at the newest frame to the frame that
    // is now settled.
    const Column* column = &m_columns[static_cast<size_t>(newest % (kSettleFrames + 1))];
    int32_t state = 0;
    for (int32_t k = 1; k < column->count; ++k)
        if (column->states[static_cast<size_t>(k)].score > column->states[static_cast<size_t>(state)].score)
            state = k;
    for (int64_t f = newest; f > m_emitted; --f) {
        state = std::max<int32_t>(column->states[static_cast<size_t>(state)].from, 0);
        column = &m_columns[static_cast<size_t>((f - 1) % (kSettleFrames + 1))];
    }
    out.push_back(EstimateOf(column->states[static_cast<size_t>(state)].lag));
    ++m_emitted;
}

void PitchTracker::SettleAll(std::vector<PitchEstimate>& out)
{
    const int64_t newest = m_analysed - 1;
    if (newest < m_emitted)
        return;
    std::array<float, kSettleFrames + 1> lags{};
    const Column* column = &m_columns[static_cast<size_t>(newest % (kSettleFrames + 1))];
    int32_t state = 0;
    for (int32_t k = 1; k < column->count; ++k)
        if (column->states[static_cast<size_t>(k)].score > column->states[static_cast<size_t>(state)].score)
            state = k;
    for (int64_t f = newest;; --f) {
        lags[static_cast<size_t>(f - m_emitted)] = column->states[static_cast<size_t>(state)].lag;
        if (f == m_emitted)
            break;
        state = std::max<int32_t>(column->states[static_cast<size_t>(state)].from, 0);
        column = &m_columns[static_cast<size_t>((f - 1) % (kSettleFrames + 1))];
    }
    for (int64_t f = m_emitted; f <= newest; ++f)
        out.push_back(EstimateOf(lags[static_cast<size_t>(f - m_emitted)]));
    m_emitted = newest + 1;
}

std::vector<PitchEstimate> TrackPitch(const int16_t* samples, size_t count, int64_t frames)
{
    std::vector<PitchEstimate> out;
    out.reserve(static_cast<size_t>(std::max<int64_t>(frames, 0)));
    PitchTracker tracker;
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
