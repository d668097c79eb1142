#include "take_alignment.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vocalume {
namespace {

// What a step of each take is compared by: the cepstrum of its mel bands
// (c0, the loudness, and c1 to c12, the spectral shape), the change of each
// over the steps around it, and the pitch.
constexpr int32_t kCepstra = 13;
constexpr int32_t kDims = 2 * kCepstra;
// Numbers a step holds: kDims, then zeros, so that the distance runs in
// eight independent sums the compiler can keep in vector registers.
constexpr int32_t kStride = 32;
constexpr int32_t kLanes = 8;
// Steps either side that the change of a number is measured over (10 ms).
constexpr int32_t kChangeReach = 2;

// Weights of the kinds of number, each number first scaled to the same
// spread over both takes. Pitch counts in semitones from each take's own
// middle, so that a higher voice follows the same melody; a difference of
// more than kPitchCap semitones counts as that much, and a step voiced in one
// take but not the other costs kVoicingCost.
constexpr double kShapeWeight = 1.0;
constexpr double kChangeWeight = 1.0;
constexpr double kLoudnessWeight = 0.5;
constexpr double kPitchWeight = 0.5;
constexpr double kPitchCap = 3.0;
constexpr double kVoicingCost = 1.0;
// Added to every step of the path that holds one take still: a path that
// lingers on one moment to wander and come back costs more than one that
// moves on with both, while the stills a difference in length needs cost the
// same wherever they fall.
constexpr double kStillCost = 6.0;
// The path found is averaged over this many steps either way (20 ms), which
// spreads a stretch within a steady sound evenly across it.
constexpr int32_t kSmoothReach = 4;

// Each grid is this many times coarser than the next finer one, and the
// path found on it is widened by kRadius steps either way on the finer one.
constexpr int32_t kLevelFactor = 4;
constexpr int32_t kRadius = 12;
// The coarsest grid is searched whole when it has at most this many cells
// (two 40 s takes at 20 ms).
constexpr int64_t kWholeGridCells = 4000000;
// Either take is compared for at most this many times the other's length and
// this many steps (two seconds) more.
constexpr int64_t kReachFactor = 3;
constexpr int64_t kReachExtraSteps = 400;

constexpr float kUnvoiced = std::numeric_limits<float>::quiet_NaN();

// A take's steps as the warp compares them.
struct Track {
    int32_t steps = 0;
    std::vector<float> v;      // kStride numbers a step
    std::vector<float> pitch;  // semitones from the take's middle; NaN when unvoiced
    std::vector<uint8_t> quiet;  // 1 where the take holds no sound
    const float* At(int32_t s) const { return v.data() + static_cast<size_t>(s) * kStride; }
    float& At(int32_t s, int32_t k) { return v[static_cast<size_t>(s) * kStride + static_cast<size_t>(k)]; }
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The cepstra of `bands` relative to the take's loud level, each band first
// raised by the quiet level `floor`, which both takes share so that
// background noise in one does not set it apart from the other.
Track MakeTrack(const VoiceFeatures& voice, const std::vector<VoiceBands>& bands, const VoiceLevels& levels,
                const std::array<double, kVoiceBands>& floor, int64_t steps)
{
    static const auto cosines = [] {
        std::array<std::array<double, kVoiceBands>, kCepstra> c{};
        for (int32_t k = 0; k < kCepstra; ++k)
            for (int32_t b = 0; b < kVoiceBands; ++b)
                c[static_cast<size_t>(k)][static_cast<size_t>(b)] =
                    std::cos(3.141592653589793 * k * (b + 0.5) / kVoiceBands) / kVoiceBands;
        return c;
    }();
    Track t;
    t.steps = static_cast<int32_t>(steps);
    t.v.assign(static_cast<size_t>(t.steps) * kStride, 0.0f);
    t.pitch.assign(static_cast<size_t>(t.steps), kUnvoiced);
    const std::vector<uint8_t> sounding = SoundingSteps(LoudnessDb(bands, levels), levels);
    for (int32_t s = 0; s < t.steps; ++s)
        t.quiet.push_back(sounding[static_cast<size_t>(s)] == 0 ? 1 : 0);
    std::array<double, kVoiceBands> logs{};
    for (int32_t s = 0; s < t.steps; ++s) {
        for (int32_t b = 0; b < kVoiceBands; ++b)
            logs[static_cast<size_t>(b)] =
                std::log(bands[static_cast<size_t>(s)][static_cast<size_t>(b)] / levels.loud +
                         floor[static_cast<size_t>(b)]);
        for (int32_t k = 0; k < kCepstra; ++k) {
            double sum = 0.0;
            for (int32_t b = 0; b < kVoiceBands; ++b)
                sum += cosines[static_cast<size_t>(k)][static_cast<size_t>(b)] * logs[static_cast<size_t>(b)];
            t.At(s, k) = static_cast<float>(sum);
        }
    }
    // The shape's average over the take goes: what a microphone or a room
    // adds to every step says nothing about when.
    for (int32_t k = 1; k < kCepstra && t.steps > 0; ++k) {
        double mean = 0.0;
        for (int32_t s = 0; s < t.steps; ++s)
            mean += t.At(s, k);
        mean /= t.steps;
        for (int32_t s = 0; s < t.steps; ++s)
            t.At(s, k) -= static_cast<float>(mean);
    }
    // The change of each number: the slope of a line through the steps
    // within reach.
    double norm = 0.0;
    for (int32_t r = 1; r <= kChangeReach; ++r)
        norm += 2.0 * r * r;
    for (int32_t s = 0; s < t.steps; ++s)
        for (int32_t k = 0; k < kCepstra; ++k) {
            double sum = 0.0;
            for (int32_t r = 1; r <= kChangeReach; ++r)
                sum += r * (t.At(std::min(s + r, t.steps - 1), k) - t.At(std::max(s - r, 0), k));
            t.At(s, kCepstra + k) = static_cast<float>(sum / norm);
        }
    std::vector<double> semitones;
    for (int32_t s = 0; s < t.steps; ++s)
        if (voice.f0Hz[static_cast<size_t>(s)] > 0.0f)
            semitones.push_back(12.0 * std::log2(voice.f0Hz[static_cast<size_t>(s)]));
    const double middle = Median(semitones);
    for (int32_t s = 0; s < t.steps; ++s)
        if (voice.f0Hz[static_cast<size_t>(s)] > 0.0f)
            t.pitch[static_cast<size_t>(s)] =
                static_cast<float>(12.0 * std::log2(voice.f0Hz[static_cast<size_t>(s)]) - middle);
    return t;
}

// Scales every number by its weight over its spread in both takes together,
// so that no number counts for more than its weight.
void Weigh(Track& a, Track& b)
{
    for (int32_t k = 0; k < kDims; ++k) {
        double sum = 0.0, squares = 0.0;
        int64_t n = 0;
        for (Track* t : {&a, &b})
            for (int32_t s = 0; s < t->steps; ++s) {
                const double x = t->At(s, k);
                sum += x;
                squares += x * x;
                ++n;
            }
        const double mean = n > 0 ? sum / static_cast<double>(n) : 0.0;
        const double spread = n > 0 ? std::sqrt(std::max(squares / static_cast<double>(n) - mean * mean, 0.0)) : 0.0;
        const bool loudness = k == 0 || k == kCepstra;
        const double weight =
            (loudness ? kLoudnessWeight : (k < kCepstra ? kShapeWeight : kChangeWeight)) / std::max(spread, 1e-6);
        for (Track* t : {&a, &b})
            for (int32_t s = 0; s < t->steps; ++s)
                t->At(s, k) = static_cast<float>((t->At(s, k) - mean) * weight);
    }
}

// Every `factor` steps averaged into one; voiced where most were.
Track Coarser(const Track& t, int32_t factor)
{
    Track c;
    c.steps = (t.steps + factor - 1) / factor;
    c.v.assign(static_cast<size_t>(c.steps) * kStride, 0.0f);
    c.pitch.assign(static_cast<size_t>(c.steps), kUnvoiced);
    c.quiet.assign(static_cast<size_t>(c.steps), 0);
    for (int32_t s = 0; s < c.steps; ++s) {
        const int32_t from = s * factor, to = std::min(from + factor, t.steps);
        double pitch = 0.0;
        int32_t voiced = 0;
        for (int32_t i = from; i < to; ++i) {
            c.quiet[static_cast<size_t>(s)] |= t.quiet[static_cast<size_t>(i)];
            for (int32_t k = 0; k < kDims; ++k)
                c.At(s, k) += t.At(i)[k] / static_cast<float>(to - from);
            if (!std::isnan(t.pitch[static_cast<size_t>(i)])) {
                pitch += t.pitch[static_cast<size_t>(i)];
                ++voiced;
            }
        }
        if (2 * voiced >= to - from)
            c.pitch[static_cast<size_t>(s)] = static_cast<float>(pitch / voiced);
    }
    return c;
}

float Distance(const Track& a, int32_t i, const Track& m, int32_t j)
{
    const float* x = a.At(i);
    const float* y = m.At(j);
    float lanes[kLanes] = {};
    for (int32_t k = 0; k < kStride; k += kLanes)
        for (int32_t l = 0; l < kLanes; ++l) {
            const float d = x[k + l] - y[k + l];
            lanes[l] += d * d;
        }
    float sum = 0.0f;
    for (const float lane : lanes)
        sum += lane;
    const float p = a.pitch[static_cast<size_t>(i)], q = m.pitch[static_cast<size_t>(j)];
    const bool pv = !std::isnan(p), qv = !std::isnan(q);
    if (pv && qv) {
        const float d = static_cast<float>(std::min<double>(std::fabs(p - q), kPitchCap) * kPitchWeight);
        sum += d * d;
    } else if (pv != qv) {
        sum += static_cast<float>(kVoicingCost * kVoicingCost);
    }
    return std::sqrt(sum);
}

// The cells of row i that the path may pass: [lo[i], hi[i]].
struct Band {
    std::vector<int32_t> lo;
    std::vector<int32_t> hi;
};

// For each attempt step, the first and last model step the path matches.
struct Path {
    std::vector<int32_t> first;
    std::vector<int32_t> last;
};

enum : uint8_t { kFromDiagonal, kFromAbove, kFromLeft, kUnreached };

// The cheapest path from (0, 0) through the band to the last row, ending in
// the cell of the last row whose cost per step of the path is lowest (the
// attempt may end anywhere in the model). A step that moves both takes on
// counts its cell twice, a step that holds one still counts it once and
// kStillCost, so that paths of any shape weigh alike. Returns false when
// `stop` was raised.
bool WarpInBand(const Track& a, const Track& m, const Band& band, Path& path, AlignmentCost& cost,
                const std::atomic<bool>* stop)
{
    const int32_t n = a.steps;
    std::vector<int64_t> offset(static_cast<size_t>(n) + 1, 0);
    for (int32_t i = 0; i < n; ++i)
        offset[static_cast<size_t>(i) + 1] =
            offset[static_cast<size_t>(i)] +
            std::max(0, band.hi[static_cast<size_t>(i)] - band.lo[static_cast<size_t>(i)] + 1);
    std::vector<uint8_t> from(static_cast<size_t>(offset.back()), kUnreached);
    constexpr double kNone = std::numeric_limits<double>::infinity();
    std::vector<double> previous, current;
    int32_t prevLo = 0, prevHi = -1;
    cost.cells += offset.back();
    cost.tableBytes = std::max<int64_t>(cost.tableBytes, offset.back() + 16 * (m.steps + 2));
    for (int32_t i = 0; i < n; ++i) {
        if (stop != nullptr && (i & 255) == 0 && stop->load(std::memory_order_relaxed))
            return false;
        const int32_t lo = band.lo[static_cast<size_t>(i)], hi = band.hi[static_cast<size_t>(i)];
        current.assign(static_cast<size_t>(std::max(0, hi - lo + 1)), kNone);
        uint8_t* row = from.data() + offset[static_cast<size_t>(i)];
        for (int32_t j = lo; j <= hi; ++j) {
            const double d = Distance(a, i, m, j);
            double best = i == 0 && j == 0 ? d : kNone;
            uint8_t way = kFromDiagonal;
            if (i > 0 && j > 0 && j - 1 >= prevLo && j - 1 <= prevHi) {
                const double c = previous[static_cast<size_t>(j - 1 - prevLo)] + 2.0 * d;
                if (c < best) {
                    best = c;
                    way = kFromDiagonal;
                }
            }
            if (i > 0 && j >= prevLo && j <= prevHi) {
                const double c = previous[static_cast<size_t>(j - prevLo)] + d + kStillCost;
                if (c < best) {
                    best = c;
                    way = kFromAbove;
                }
            }
            if (j > lo) {
                const double c = current[static_cast<size_t>(j - 1 - lo)] + d + kStillCost;
                if (c < best) {
                    best = c;
                    way = kFromLeft;
                }
            }
            current[static_cast<size_t>(j - lo)] = best;
            row[j - lo] = best < kNone ? way : static_cast<uint8_t>(kUnreached);
        }
        std::swap(previous, current);
        prevLo = lo;
        prevHi = hi;
    }
    // The attempt ends where the model is quiet, or at the model's end: a
    // take is paused between words, and a sound lost in the attempt's noise
    // at its end is no reason to think it stopped early.
    int32_t endJ = prevHi;
    double bestRate = kNone;
    for (int32_t j = prevLo; j <= prevHi; ++j) {
        if (m.quiet[static_cast<size_t>(j)] == 0 && j != m.steps - 1)
            continue;
        const double rate = previous[static_cast<size_t>(j - prevLo)] / (n + j + 1);
        if (rate < bestRate) {
            bestRate = rate;
            endJ = j;
        }
    }
    path.first.assign(static_cast<size_t>(n), 0);
    path.last.assign(static_cast<size_t>(n), 0);
    int32_t i = n - 1, j = endJ;
    path.last[static_cast<size_t>(i)] = j;
    while (i > 0 || j > 0) {
        path.first[static_cast<size_t>(i)] = j;
        const uint8_t way =
            from[static_cast<size_t>(offset[static_cast<size_t>(i)] + (j - band.lo[static_cast<size_t>(i)]))];
        if (way == kFromLeft) {
            --j;
            continue;
        }
        if (way == kUnreached || i == 0)
            break;  // cannot happen on a path from (0, 0); the rows above start at 0
        --i;
        if (way == kFromDiagonal)
            --j;
        path.last[static_cast<size_t>(i)] = j;
    }
    path.first[static_cast<size_t>(i)] = j;
    for (int32_t k = i - 1; k >= 0; --k)
        path.first[static_cast<size_t>(k)] = path.last[static_cast<size_t>(k)] = 0;
    return true;
}

// The band on a grid `factor` times finer around a coarse path, widened by
// kRadius steps either way.
Band Refined(const Path& coarse, int32_t steps, int32_t modelSteps)
{
    Band band;
    band.lo.resize(static_cast<size_t>(steps));
    band.hi.resize(static_cast<size_t>(steps));
    const int32_t rows = static_cast<int32_t>(coarse.first.size());
    for (int32_t i = 0; i < steps; ++i) {
        const int32_t c = std::min(i / kLevelFactor, rows - 1);
        const int32_t before = std::max(c - 1, 0), after = std::min(c + 1, rows - 1);
        // The neighbouring coarse rows' cells too, so that the band has no
        // corner the path must cut.
        const int32_t lo = std::min(coarse.first[static_cast<size_t>(c)], coarse.last[static_cast<size_t>(before)]);
        const int32_t hi = std::max(coarse.last[static_cast<size_t>(c)], coarse.first[static_cast<size_t>(after)]);
        band.lo[static_cast<size_t>(i)] = std::clamp(lo * kLevelFactor - kRadius, 0, modelSteps - 1);
        band.hi[static_cast<size_t>(i)] = std::clamp(hi * kLevelFactor + kLevelFactor - 1 + kRadius, 0, modelSteps - 1);
    }
    band.lo[0] = 0;
    return band;
}

}  // namespace

int64_t FramesCompared(int64_t otherFrames)
{
    return (kReachFactor * otherFrames) + kReachExtraSteps * kVoiceStepFrames;
}

TakeAlignment AlignTake(const VoiceFeatures& attempt, const VoiceFeatures& model, const std::atomic<bool>* stop)
{
    AlignmentCost cost;
    return AlignTake(attempt, model, cost, stop);
}

TakeAlignment AlignTake(const VoiceFeatures& attempt, const VoiceFeatures& model, AlignmentCost& cost,
                        const std::atomic<bool>* stop)
{
    TakeAlignment result;
    if (attempt.Steps() == 0 || model.Steps() == 0)
        return result;
    const auto reach = [](int64_t other) { return kReachFactor * other + kReachExtraSteps; };
    const int64_t attemptSteps = std::min(attempt.Steps(), reach(model.Steps()));
    const int64_t modelSteps = std::min(model.Steps(), reach(attemptSteps));

    result.resonanceScale = ResonanceScale(attempt, model);
    const std::vector<VoiceBands> bandsA = BandPowers(attempt, result.resonanceScale), bandsM = BandPowers(model);
    const VoiceLevels levelsA = LevelsOf(bandsA), levelsM = LevelsOf(bandsM);
    std::array<double, kVoiceBands> floor{};
    for (size_t b = 0; b < floor.size(); ++b)
        floor[b] = std::max({levelsA.quietBand[b] / levelsA.loud, levelsM.quietBand[b] / levelsM.loud, 1e-7});
    std::vector<Track> a, m;
    a.push_back(MakeTrack(attempt, bandsA, levelsA, floor, attemptSteps));
    m.push_back(MakeTrack(model, bandsM, levelsM, floor, modelSteps));
    Weigh(a[0], m[0]);
    while (static_cast<int64_t>(a.back().steps) * m.back().steps > kWholeGridCells && a.back().steps > 1 &&
           m.back().steps > 1) {
        a.push_back(Coarser(a.back(), kLevelFactor));
        m.push_back(Coarser(m.back(), kLevelFactor));
    }
    for (const std::vector<Track>* take : {&a, &m})
        for (const Track& level : *take)
            cost.trackBytes += static_cast<int64_t>((level.v.size() + level.pitch.size()) * sizeof(float));

    Band band;
    band.lo.assign(static_cast<size_t>(a.back().steps), 0);
    band.hi.assign(static_cast<size_t>(a.back().steps), m.back().steps - 1);
    Path path;
    if (!WarpInBand(a.back(), m.back(), band, path, cost, stop))
        return {};
    for (size_t level = a.size() - 1; level-- > 0;) {
        band = Refined(path, a[level].steps, m[level].steps);
        if (!WarpInBand(a[level], m[level], band, path, cost, stop))
            return {};
    }

    // The model step of each attempt step: the middle of the steps the path
    // matches it to, averaged over its neighbours.
    const int32_t n = a[0].steps;
    std::vector<double> middle(static_cast<size_t>(n)), step(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i)
        middle[static_cast<size_t>(i)] = 0.5 * (path.first[static_cast<size_t>(i)] + path.last[static_cast<size_t>(i)]);
    for (int32_t i = 0; i < n; ++i) {
        const int32_t from = std::max(0, i - kSmoothReach), to = std::min(n - 1, i + kSmoothReach);
        double sum = 0.0;
        for (int32_t k = from; k <= to; ++k)
            sum += middle[static_cast<size_t>(k)];
        step[static_cast<size_t>(i)] = sum / (to - from + 1);
    }
    result.modelStep.resize(static_cast<size_t>(attempt.Steps()));
    for (int64_t i = 0; i < attempt.Steps(); ++i)
        result.modelStep[static_cast<size_t>(i)] =
            static_cast<int32_t>(std::lround(step[static_cast<size_t>(std::min<int64_t>(i, n - 1))]));

    // Frames between steps lie on the line between them; frames past the
    // compared steps match the model's last compared step.
    const double lastFrame = static_cast<double>(model.frames - 1);
    result.modelFrame.resize(static_cast<size_t>(attempt.frames));
    for (int64_t f = 0; f < attempt.frames; ++f) {
        const int64_t i = std::min<int64_t>(f / kVoiceStepFrames, n - 1);
        const double within = static_cast<double>(f - i * kVoiceStepFrames) / kVoiceStepFrames;
        const double here = step[static_cast<size_t>(i)];
        const double next = i + 1 < n ? step[static_cast<size_t>(i + 1)] : here;
        const double frame = (here + std::min(within, 1.0) * (next - here)) * kVoiceStepFrames;
        result.modelFrame[static_cast<size_t>(f)] = std::clamp(frame, 0.0, lastFrame);
    }
    for (size_t f = 1; f < result.modelFrame.size(); ++f)
        result.modelFrame[f] = std::max(result.modelFrame[f], result.modelFrame[f - 1]);
    return result;
}

}  // namespace vocalume
