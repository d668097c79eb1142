#include "voice_features.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "pitch_tracker.h"
#include "recording_format.h"
#include "session_history.h"
#include "signal_kernels.h"

namespace vocalume {
namespace {

constexpr double kBinHz = static_cast<double>(kRecordingRate) / kVoiceFftSize;
constexpr double kLowestBandHz = 80.0;
constexpr double kHighestBandHz = 4000.0;
// Offset of a frame's centre from its first sample.
constexpr int32_t kFrameCentre = kFrameLength / 2;

double MelOf(double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); }
double HzOfMel(double mel) { return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0); }

// The band edges: band b rises from edge b to a peak at edge b + 1 and falls
// to edge b + 2, equally spaced in mel.
double BandEdgeHz(int32_t edge)
{
    const double low = MelOf(kLowestBandHz), high = MelOf(kHighestBandHz);
    return HzOfMel(low + (high - low) * edge / (kVoiceBands + 1));
}

const std::array<float, kVoiceWindow>& Window()
{
    static const auto window = [] {
        std::array<float, kVoiceWindow> w{};
        for (int32_t n = 0; n < kVoiceWindow; ++n)
            w[static_cast<size_t>(n)] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * kPi * (n + 0.5) / kVoiceWindow));
        return w;
    }();
    return window;
}

// The average spectrum's logarithm on a grid of 96 points an octave from
// 100 Hz, with its slow trend taken out so that only the resonances' shape
// remains.
constexpr double kGridLowHz = 100.0;
constexpr int32_t kGridPerOctave = 96;
constexpr int32_t kGridPoints = 540;  // up to about 4.9 kHz
constexpr int32_t kTrendReach = 32;   // a third of an octave each way

std::vector<double> ShapeOnGrid(const VoiceFeatures& voice)
{
    // The voice's average spectrum over its louder half, less the steady
    // background each bin holds even in the quiet steps, so that noise added
    // to a recording does not pull its shape.
    const int64_t steps = voice.Steps();
    std::vector<double> total(static_cast<size_t>(steps));
    for (int64_t s = 0; s < steps; ++s) {
        const float* bins = voice.Spectrum(s);
        total[static_cast<size_t>(s)] = std::accumulate(bins, bins + kVoiceBins, 0.0);
    }
    std::vector<double> sorted = total;
    std::nth_element(sorted.begin(), sorted.begin() + steps / 2, sorted.end());
    const double loud = sorted[static_cast<size_t>(steps / 2)];
    std::nth_element(sorted.begin(), sorted.begin() + steps / 10, sorted.end());
    const double quiet = sorted[static_cast<size_t>(steps / 10)];
    std::vector<double> average(kVoiceBins, 0.0), background(kVoiceBins, 0.0);
    int64_t loudSteps = 0, quietSteps = 0;
    for (int64_t s = 0; s < steps; ++s) {
        const float* bins = voice.Spectrum(s);
        const double power = total[static_cast<size_t>(s)];
        if (power >= loud) {
            ++loudSteps;
            for (int32_t k = 0; k < kVoiceBins; ++k)
                average[static_cast<size_t>(k)] += bins[k];
        }
        if (power <= quiet) {
            ++quietSteps;
            for (int32_t k = 0; k < kVoiceBins; ++k)
                background[static_cast<size_t>(k)] += bins[k];
        }
    }
    for (int32_t k = 0; k < kVoiceBins; ++k)
        average[static_cast<size_t>(k)] = std::max(
            average[static_cast<size_t>(k)] / static_cast<double>(std::max<int64_t>(loudSteps, 1)) -
                background[static_cast<size_t>(k)] / static_cast<double>(std::max<int64_t>(quietSteps, 1)),
            0.0);
    double all = 0.0;
    for (const double a : average)
        all += a;
    const double floor = std::max(all, 1e-30) * 1e-9;
    std::vector<double> grid(kGridPoints);
    for (int32_t g = 0; g < kGridPoints; ++g) {
        const double at = kGridLowHz * std::exp2(static_cast<double>(g) / kGridPerOctave) / kBinHz;
        const int32_t k = std::min(static_cast<int32_t>(at), kVoiceBins - 2);
        const double within = at - k;
        grid[static_cast<size_t>(g)] = std::log(
            (1.0 - within) * average[static_cast<size_t>(k)] + within * average[static_cast<size_t>(k) + 1] + floor);
    }
    std::vector<double> shape(kGridPoints);
    for (int32_t g = 0; g < kGridPoints; ++g) {
        const int32_t from = std::max(0, g - kTrendReach), to = std::min(kGridPoints - 1, g + kTrendReach);
        double sum = 0.0;
        for (int32_t i = from; i <= to; ++i)
            sum += grid[static_cast<size_t>(i)];
        shape[static_cast<size_t>(g)] = grid[static_cast<size_t>(g)] - sum / (to - from + 1);
    }
    return shape;
}

}  // namespace

double VoiceBandCentreHz(int32_t band) { return BandEdgeHz(band + 1); }

VoiceFeatures MeasureVoice(const int16_t* sound, size_t samples, const std::vector<float>& pitchHz,
                           int64_t frames, int32_t hop, const std::atomic<bool>* stop)
{
    const auto& window = Window();
    VoiceFeatures v;
    v.frames = std::max<int64_t>(frames, 0);
    v.hop = hop;
    const int64_t steps = (v.frames + kVoiceStepFrames - 1) / kVoiceStepFrames;
    v.spectrum.resize(static_cast<size_t>(steps * kVoiceBins));
    v.f0Hz.resize(static_cast<size_t>(steps));
    std::array<float, kVoiceFftSize> fft{};
    for (int64_t s = 0; s < steps; ++s) {
        if (stop != nullptr && (s & 1023) == 0 && stop->load(std::memory_order_relaxed)) {
            v.frames = s * kVoiceStepFrames;
            v.spectrum.resize(static_cast<size_t>(s * kVoiceBins));
            v.f0Hz.resize(static_cast<size_t>(s));
            break;
        }
        const int64_t frame = s * kVoiceStepFrames;
        const int64_t first = frame * hop + kFrameCentre - kVoiceWindow / 2;
        fft.fill(0.0f);
        for (int32_t n = 0; n < kVoiceWindow; ++n) {
            const int64_t at = first + n;
            if (at >= 0 && at < static_cast<int64_t>(samples))
                fft[static_cast<size_t>(n)] = window[static_cast<size_t>(n)] * static_cast<float>(sound[at]) / 32768.0f;
        }
        RealFFT(fft.data(), kVoiceFftSize / 2, 1);
        float* bins = v.spectrum.data() + s * kVoiceBins;
        bins[0] = fft[0] * fft[0];
        for (int32_t k = 1; k < kVoiceBins; ++k)
            bins[k] = fft[static_cast<size_t>(2 * k)] * fft[static_cast<size_t>(2 * k)] +
                      fft[static_cast<size_t>(2 * k + 1)] * fft[static_cast<size_t>(2 * k + 1)];
        const float f0 = frame < static_cast<int64_t>(pitchHz.size()) ? pitchHz[static_cast<size_t>(frame)] : 0.0f;
        v.f0Hz[static_cast<size_t>(s)] = f0 > 0.0f ? f0 : 0.0f;
    }
    return v;
}

TakeSound CopyTake(const SessionHistory& session, int64_t firstFrame, int64_t endFrame)
{
    TakeSound take;
    take.hop = session.Hop();
    firstFrame = std::max(firstFrame, session.FirstFrame());
    endFrame = std::min(endFrame, session.EndFrame());
    if (endFrame <= firstFrame)
        return take;
    take.frames = endFrame - firstFrame;
    // The last frame's window reaches past its first sample.
    take.sound = session.SoundBetween(session.SampleOfFrame(firstFrame),
                                      session.SampleOfFrame(endFrame) + 2 * kFrameCentre);
    take.pitchHz.resize(static_cast<size_t>(take.frames));
    for (int64_t f = firstFrame; f < endFrame; ++f)
        take.pitchHz[static_cast<size_t>(f - firstFrame)] = session.Pitch(f);
    return take;
}

VoiceFeatures MeasureVoice(const TakeSound& take, int64_t frames, const std::atomic<bool>* stop)
{
    return MeasureVoice(take.sound.data(), take.sound.size(), take.pitchHz,
                        frames < 0 ? take.frames : std::min(frames, take.frames), take.hop, stop);
}

std::vector<float> WholeSoundPitch(const TakeSound& take, int64_t frames)
{
    frames = std::min(frames, take.frames);
    if (take.hop != PitchTracker::kHop || frames <= 0)
        return {};
    const std::vector<PitchEstimate> estimates = TrackPitch(take.sound.data(), take.sound.size(), frames,
                                                            PitchTracker::Sums::Running, PitchTracker::Reach::WholeSound);
    std::vector<float> pitch(estimates.size(), 0.0f);
    for (size_t f = 0; f < pitch.size(); ++f)
        pitch[f] = estimates[f].voiced ? estimates[f].f0Hz : 0.0f;
    return pitch;
}

std::vector<VoiceBands> BandPowers(const VoiceFeatures& voice, double scale)
{
    // Triangular weights of the bins in each band, at this scale.
    struct Weight {
        int32_t bin;
        float weight;
    };
    std::array<std::vector<Weight>, kVoiceBands> table;
    for (int32_t b = 0; b < kVoiceBands; ++b) {
        const double lo = scale * BandEdgeHz(b), mid = scale * BandEdgeHz(b + 1), hi = scale * BandEdgeHz(b + 2);
        for (int32_t k = 1; k < kVoiceBins; ++k) {
            const double hz = k * kBinHz;
            const double w = hz <= mid ? (hz - lo) / (mid - lo) : (hi - hz) / (hi - mid);
            if (w > 0.0)
                table[static_cast<size_t>(b)].push_back({k, static_cast<float>(w)});
        }
    }
    std::vector<VoiceBands> bands(static_cast<size_t>(voice.Steps()));
    for (int64_t s = 0; s < voice.Steps(); ++s) {
        const float* bins = voice.Spectrum(s);
        for (int32_t b = 0; b < kVoiceBands; ++b) {
            float sum = 0.0f;
            for (const Weight& w : table[static_cast<size_t>(b)])
                sum += w.weight * bins[w.bin];
            bands[static_cast<size_t>(s)][static_cast<size_t>(b)] = sum;
        }
    }
    return bands;
}

namespace {

double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0.0;
    const size_t k = std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

double Total(const VoiceBands& bands) { return std::accumulate(bands.begin(), bands.end(), 0.0); }

constexpr double kLoudShare = 0.95;
constexpr double kQuietShare = 0.10;
constexpr double kSoundingRangeDb = 35.0;
constexpr double kSoundingAboveQuietDb = 6.0;
constexpr double kLowestDb = -100.0;

}  // namespace

VoiceLevels LevelsOf(const std::vector<VoiceBands>& bands)
{
    VoiceLevels levels;
    std::vector<double> values(bands.size());
    for (size_t s = 0; s < bands.size(); ++s)
        values[s] = Total(bands[s]);
    levels.loud = std::max(Percentile(values, kLoudShare), 1e-15);
    levels.quiet = Percentile(values, kQuietShare);
    // Each band's quiet level is its average over the quietest steps: in
    // steady noise a band's power wanders, and the average is what the noise
    // hides a faint sound under.
    const double quietest = levels.quiet;
    size_t count = 0;
    for (size_t s = 0; s < bands.size(); ++s)
        if (values[s] <= quietest) {
            ++count;
            for (int32_t b = 0; b < kVoiceBands; ++b)
                levels.quietBand[static_cast<size_t>(b)] += bands[s][static_cast<size_t>(b)];
        }
    for (double& band : levels.quietBand)
        band /= static_cast<double>(std::max<size_t>(count, 1));
    return levels;
}

std::vector<float> LoudnessDb(const std::vector<VoiceBands>& bands, const VoiceLevels& levels)
{
    std::vector<float> db(bands.size());
    for (size_t s = 0; s < bands.size(); ++s) {
        const double ratio = Total(bands[s]) / levels.loud;
        db[s] = static_cast<float>(ratio > 0.0 ? std::max(10.0 * std::log10(ratio), kLowestDb) : kLowestDb);
    }
    return db;
}

std::vector<uint8_t> SoundingSteps(const std::vector<float>& loudnessDb, const VoiceLevels& levels)
{
    const double quietDb = levels.quiet > 0.0 ? 10.0 * std::log10(levels.quiet / levels.loud) : kLowestDb;
    const double threshold = std::max(-kSoundingRangeDb, quietDb + kSoundingAboveQuietDb);
    std::vector<uint8_t> sounding(loudnessDb.size());
    for (size_t s = 0; s < loudnessDb.size(); ++s)
        sounding[s] = loudnessDb[s] >= threshold ? 1 : 0;
    return sounding;
}

double ResonanceScale(const VoiceFeatures& attempt, const VoiceFeatures& model)
{
    // Scales compared: 2^(shift / 96) for shifts within kReach grid points,
    // over the model's resonances from 200 Hz to about 3.5 kHz.
    constexpr int32_t kReach = 40;
    constexpr int32_t kFirst = kGridPerOctave, kLast = 490;
    if (attempt.Steps() == 0 || model.Steps() == 0)
        return 1.0;
    const std::vector<double> a = ShapeOnGrid(attempt), m = ShapeOnGrid(model);
    std::array<double, 2 * kReach + 1> agreement{};
    for (int32_t shift = -kReach; shift <= kReach; ++shift) {
        double sa = 0.0, sm = 0.0, saa = 0.0, smm = 0.0, sam = 0.0;
        const int32_t n = kLast - kFirst + 1;
        for (int32_t g = kFirst; g <= kLast; ++g) {
            const double x = a[static_cast<size_t>(g + shift)], y = m[static_cast<size_t>(g)];
            sa += x;
            sm += y;
            saa += x * x;
            smm += y * y;
            sam += x * y;
        }
        const double cov = sam - sa * sm / n, va = saa - sa * sa / n, vm = smm - sm * sm / n;
        agreement[static_cast<size_t>(shift + kReach)] = va > 0.0 && vm > 0.0 ? cov / std::sqrt(va * vm) : -1.0;
    }
    int32_t best = kReach;
    for (int32_t i = 0; i < 2 * kReach + 1; ++i)
        if (agreement[static_cast<size_t>(i)] > agreement[static_cast<size_t>(best)])
            best = i;
    double shift = best - kReach;
    if (best > 0 && best < 2 * kReach) {
        // The peak between grid points, from the parabola through three.
        const double l = agreement[static_cast<size_t>(best - 1)], c = agreement[static_cast<size_t>(best)],
                     r = agreement[static_cast<size_t>(best + 1)];
        const double curve = l - 2.0 * c + r;
        if (curve < 0.0)
            shift += 0.5 * (l - r) / curve;
    }
    return std::exp2(shift / kGridPerOctave);
}

}  // namespace vocalume
