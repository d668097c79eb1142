#include "take_scores.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "recording_format.h"

namespace vocalume {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Fewer voiced moments in common than this (a tenth of a second) give no
// pitch score.
constexpr size_t kFewestPitchPairs = 20;
// A melody that varies less than this (in cents) has no shape to compare.
constexpr double kFlattestMelodyCents = 10.0;
// Tempo is compared over windows of 40 steps (a fifth of a second), every
// 20 steps, and a window's tempo counts as at most 4 times the whole's.
constexpr int32_t kTempoWindow = 40;
constexpr double kTempoLimit = 4.0;
// Loudness below this (dB under the take's loud level) counts as this.
constexpr float kQuietestDb = -50.0f;
// The colour bands of the picture: low up to 1.4 kHz, middle to 2.8 kHz.
constexpr double kLowBandTopHz = 1400.0;
constexpr double kMiddleBandTopHz = 2800.0;

double Median(std::vector<double> values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Pearson correlation of x and y; NaN when either hardly varies.
double Correlation(const std::vector<double>& x, const std::vector<double>& y, double flattest)
{
    const double n = static_cast<double>(x.size());
    if (x.size() < 2)
        return kNaN;
    double sx = 0.0, sy = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
    }
    const double mx = sx / n, my = sy / n;
    double xx = 0.0, yy = 0.0, xy = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        xx += (x[i] - mx) * (x[i] - mx);
        yy += (y[i] - my) * (y[i] - my);
        xy += (x[i] - mx) * (y[i] - my);
    }
    if (std::sqrt(xx / n) < flattest || std::sqrt(yy / n) < flattest)
        return kNaN;
    return xy / std::sqrt(xx * yy);
}

// The balance of middle and of high sound against low sound, in dB.
struct Balance {
    double middle;
    double high;
};
Balance BalanceOf(const VoiceBands& bands)
{
    double low = 1e-20, middle = 1e-20, high = 1e-20;
    for (int32_t b = 0; b < kVoiceBands; ++b) {
        const double centre = VoiceBandCentreHz(b);
        double& sum = centre < kLowBandTopHz ? low : (centre < kMiddleBandTopHz ? middle : high);
        sum += bands[static_cast<size_t>(b)];
    }
    return {10.0 * std::log10(middle / low), 10.0 * std::log10(high / low)};
}

// A take's steps as the scores read them.
struct Heard {
    std::vector<VoiceBands> bands;
    std::vector<float> loudness;
    std::vector<uint8_t> sounding;
};
Heard Hear(const VoiceFeatures& voice)
{
    Heard heard;
    heard.bands = BandPowers(voice);
    const VoiceLevels levels = LevelsOf(heard.bands);
    heard.loudness = LoudnessDb(heard.bands, levels);
    heard.sounding = SoundingSteps(heard.loudness, levels);
    return heard;
}

}  // namespace

TakeScores ScoreTake(const VoiceFeatures& take, const VoiceFeatures& model, const TakeAlignment& alignment)
{
    TakeScores scores{0.0, 0.0, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    const int64_t steps = std::min<int64_t>(take.Steps(), static_cast<int64_t>(alignment.modelStep.size()));
    if (steps == 0 || model.Steps() == 0)
        return scores;
    const Heard a = Hear(take), m = Hear(model);
    int64_t first = 0, last = steps - 1;
    while (first < steps && a.sounding[static_cast<size_t>(first)] == 0)
        ++first;
    while (last > first && a.sounding[static_cast<size_t>(last)] == 0)
        --last;
    if (first >= steps)
        return scores;
    const auto matched = [&](int64_t i) {
        return std::clamp<int64_t>(alignment.modelStep[static_cast<size_t>(i)], 0, model.Steps() - 1);
    };
    const double stepSeconds = static_cast<double>(kVoiceStepFrames * take.hop) / kRecordingRate;

    // Timing: the sounding spans, the model's up to where the take ended.
    int64_t modelFirst = 0, modelLast = matched(last);
    while (modelFirst < modelLast && m.sounding[static_cast<size_t>(modelFirst)] == 0)
        ++modelFirst;
    while (modelLast > modelFirst && m.sounding[static_cast<size_t>(modelLast)] == 0)
        --modelLast;
    scores.takeSeconds = static_cast<double>(last - first + 1) * stepSeconds;
    scores.modelSeconds = static_cast<double>(modelLast - modelFirst + 1) * stepSeconds;
    scores.lengthRatio = scores.takeSeconds / scores.modelSeconds;
    const double overall =
        static_cast<double>(matched(last) - matched(first)) / static_cast<double>(std::max<int64_t>(last - first, 1));
    if (overall > 0.0 && last - first >= kTempoWindow) {
        double sum = 0.0;
        int32_t windows = 0;
        for (int64_t i = first; i + kTempoWindow <= last; i += kTempoWindow / 2) {
            const double tempo = static_cast<double>(matched(i + kTempoWindow) - matched(i)) / kTempoWindow / overall;
            const double ratio = std::log(std::clamp(tempo, 1.0 / kTempoLimit, kTempoLimit));
            sum += ratio * ratio;
            ++windows;
        }
        scores.stretchUnevenness = 100.0 * (std::exp(std::sqrt(sum / windows)) - 1.0);
    }

    std::vector<double> takeCents, modelCents, differences, takeLoudness, modelLoudness;
    double balance = 0.0;
    int64_t balanced = 0;
    for (int64_t i = first; i <= last; ++i) {
        const int64_t j = matched(i);
        const float fa = take.f0Hz[static_cast<size_t>(i)], fm = model.f0Hz[static_cast<size_t>(j)];
        if (fa > 0.0f && fm > 0.0f) {
            takeCents.push_back(1200.0 * std::log2(fa / 440.0));
            modelCents.push_back(1200.0 * std::log2(fm / 440.0));
            differences.push_back(takeCents.back() - modelCents.back());
        }
        takeLoudness.push_back(std::max(a.loudness[static_cast<size_t>(i)], kQuietestDb));
        modelLoudness.push_back(std::max(m.loudness[static_cast<size_t>(j)], kQuietestDb));
        if (a.sounding[static_cast<size_t>(i)] != 0 && m.sounding[static_cast<size_t>(j)] != 0) {
            const Balance x = BalanceOf(a.bands[static_cast<size_t>(i)]), y = BalanceOf(m.bands[static_cast<size_t>(j)]);
            balance += 0.5 * (std::fabs(x.middle - y.middle) + std::fabs(x.high - y.high));
            ++balanced;
        }
    }
    if (differences.size() >= kFewestPitchPairs) {
        scores.pitchOffsetCents = Median(differences);
        for (double& d : differences)
            d = std::fabs(d);
        scores.pitchCents = Median(differences);
        scores.pitchCorrelation = Correlation(takeCents, modelCents, kFlattestMelodyCents);
    }
    scores.loudnessCorrelation = Correlation(takeLoudness, modelLoudness, 0.1);
    if (balanced > 0)
        scores.spectralBalanceDb = balance / static_cast<double>(balanced);
    return scores;
}

std::vector<DifferingStretch> DifferingStretches(const VoiceFeatures& take, const VoiceFeatures& model,
                                                 const TakeAlignment& alignment, const DifferenceLimits& limits)
{
    std::vector<DifferingStretch> stretches;
    const int64_t steps = std::min<int64_t>(take.Steps(), static_cast<int64_t>(alignment.modelStep.size()));
    if (steps == 0 || model.Steps() == 0)
        return stretches;
    const Heard a = Hear(take), m = Hear(model);
    const auto matched = [&](int64_t i) {
        return static_cast<size_t>(std::clamp<int64_t>(alignment.modelStep[static_cast<size_t>(i)], 0, model.Steps() - 1));
    };
    const double stepSeconds = static_cast<double>(kVoiceStepFrames * take.hop) / kRecordingRate;
    const int64_t shortest = std::max<int64_t>(1, std::lround(limits.shortestSeconds / stepSeconds));

    // What each step of the take differs in most; none: -1.
    std::vector<int32_t> kind(static_cast<size_t>(steps), -1);
    for (int64_t i = 0; i < steps; ++i) {
        const size_t j = matched(i), at = static_cast<size_t>(i);
        const bool takeSounds = a.sounding[at] != 0, modelSounds = m.sounding[j] != 0;
        Difference d;
        const float fa = take.f0Hz[at], fm = model.f0Hz[j];
        const double louder = std::max(a.loudness[at], kQuietestDb) - std::max(m.loudness[j], kQuietestDb);
        if (takeSounds != modelSounds)
            d = takeSounds ? Difference::Added : Difference::Missing;
        else if (!takeSounds)
            continue;
        else if (fa > 0.0f && fm > 0.0f && std::fabs(1200.0 * std::log2(fa / fm)) > limits.pitchCents)
            d = Difference::PitchOff;
        else if (std::fabs(louder) > limits.loudnessDb)
            d = louder > 0.0 ? Difference::Louder : Difference::Quieter;
        else
            continue;
        kind[at] = static_cast<int32_t>(d);
    }
    // A sound of the model the take passed over: over a short stretch of the
    // take the alignment runs across much more of the model's sound than the
    // take says there (as it does where a take is said twice as fast).
    std::vector<int64_t> modelSounding(m.sounding.size() + 1, 0), takeSounding(static_cast<size_t>(steps) + 1, 0);
    for (size_t j = 0; j < m.sounding.size(); ++j)
        modelSounding[j + 1] = modelSounding[j] + m.sounding[j];
    for (size_t i = 0; i < static_cast<size_t>(steps); ++i)
        takeSounding[i + 1] = takeSounding[i] + a.sounding[i];
    const int64_t window = 2 * shortest;
    for (int64_t i = 0; i + window < steps; ++i) {
        const int64_t passed = modelSounding[matched(i + window) + 1] - modelSounding[matched(i) + 1];
        const int64_t said = takeSounding[static_cast<size_t>(i + window)] - takeSounding[static_cast<size_t>(i)];
        if (2 * (passed - said) < 3 * shortest)
            continue;
        for (int64_t k = i; k < i + window; ++k)
            kind[static_cast<size_t>(k)] = static_cast<int32_t>(Difference::Missing);
    }
    for (int64_t i = 0; i < steps;) {
        int64_t end = i + 1;
        while (end < steps && kind[static_cast<size_t>(end)] == kind[static_cast<size_t>(i)])
            ++end;
        if (kind[static_cast<size_t>(i)] >= 0 && end - i >= shortest)
            stretches.push_back({i * kVoiceStepFrames, std::min(end * kVoiceStepFrames, take.frames),
                                 static_cast<Difference>(kind[static_cast<size_t>(i)])});
        i = end;
    }
    return stretches;
}

const std::vector<ScoreField>& ScoreFields()
{
    static const std::vector<ScoreField> fields{
        {"take_seconds", "Length of the take (s)", "Take (s)", "", &TakeScores::takeSeconds, 3},
        {"model_seconds", "Length of the model (s)", "Model (s)", "", &TakeScores::modelSeconds, 3},
        {"pitch_cents", "Pitch: distance from the model (cents)", "Pitch (ct)", "closer to 0 is closer",
         &TakeScores::pitchCents, 1},
        {"pitch_offset_cents", "Pitch: above (+) or below (-) the model (cents)", "Above (ct)",
         "0 is on the model's pitch", &TakeScores::pitchOffsetCents, 1},
        {"pitch_correlation", "Pitch: melody alike (correlation)", "Melody", "1 is the same melody",
         &TakeScores::pitchCorrelation, 3},
        {"length_ratio", "Timing: length against the model's", "Length", "1 is the model's length",
         &TakeScores::lengthRatio, 3},
        {"stretch_unevenness_percent", "Timing: unevenness of the stretch (%)", "Uneven (%)",
         "closer to 0 is more even", &TakeScores::stretchUnevenness, 1},
        {"loudness_correlation", "Loudness: contour alike (correlation)", "Loudness",
         "1 is louder and softer in step", &TakeScores::loudnessCorrelation, 3},
        {"spectral_balance_db", "Spectral balance: difference (dB)", "Balance (dB)", "closer to 0 is closer",
         &TakeScores::spectralBalanceDb, 2},
    };
    return fields;
}

std::string FormatScore(double value, int32_t decimals)
{
    if (!std::isfinite(value))
        return {};
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    return std::string(text, end);
}

std::string ScoresAsJson(const TakeScores& scores, const std::string& model)
{
    std::string json = "{\"model\": \"";
    for (const char c : model) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            json += escape;
        } else {
            json += c;
        }
    }
    json += '"';
    for (const ScoreField& field : ScoreFields()) {
        json += ", \"";
        json += field.key;
        json += "\": ";
        const std::string value = FormatScore(scores.*field.value, field.decimals);
        json += value.empty() ? "null" : value;
    }
    json += '}';
    return json;
}

}  // namespace vocalume
