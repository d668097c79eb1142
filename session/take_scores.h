// How close a take came to the model it imitates, once aligned: its pitch
// (how far from the model's, in cents, and how alike the melodies are), its
// timing (its length against the model's, and how evenly it was stretched),
// its loudness contour and its spectral balance (the picture's colour). Each
// is worked out over the take from its first to its last sounding moment,
// against the moments of the model the alignment matched. A score that
// cannot be worked out (no voiced moment in common, say) is NaN.
//
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "take_alignment.h"
#include "voice_features.h"

namespace vocalume {

struct TakeScores {
    // The sounding parts compared, in seconds: the take's, and the model's
    // up to where the take ended in it.
    double takeSeconds = 0.0;
    double modelSeconds = 0.0;
    // Median of the distances, in cents, between the take's pitch and the
    // model's at the moments voiced in both (lower is closer), and of the
    // signed differences (above 0: higher than the model).
    double pitchCents = 0.0;
    double pitchOffsetCents = 0.0;
    // Correlation of the two melodies over those moments: 1 the same shape.
    double pitchCorrelation = 0.0;
    // The take's length over the model's: 1 the same, above 1 slower.
    double lengthRatio = 0.0;
    // How unevenly the take was stretched, in per cent: the typical
    // deviation of its tempo over a fifth of a second from its tempo over
    // the whole (0: evenly slower or faster throughout).
    double stretchUnevenness = 0.0;
    // Correlation of the loudness contours: 1 louder and quieter in step.
    double loudnessCorrelation = 0.0;
    // Mean difference, in dB, between the take's and the model's balance of
    // low, middle and high sound where both sound (lower is closer).
    double spectralBalanceDb = 0.0;
};

TakeScores ScoreTake(const VoiceFeatures& take, const VoiceFeatures& model, const TakeAlignment& alignment);

// How a stretch of the take differs most from the model's moments it
// matches: the pitch off by more than a set number of cents, a sound of the
// model missing, a sound the model does not have, or much louder or quieter
// (each take's loudness taken against its own loud level).
enum class Difference : uint8_t { PitchOff, Missing, Added, Louder, Quieter };
struct DifferingStretch {
    int64_t firstFrame = 0;  // of the take
    int64_t endFrame = 0;
    Difference kind = Difference::PitchOff;
};
struct DifferenceLimits {
    double pitchCents = 100.0;
    double loudnessDb = 10.0;
    // Stretches shorter than this are not marked, nor a skipped sound shorter
    // than it.
    double shortestSeconds = 0.06;
};
// The take's stretches that differ most, in order, none overlapping. Where
// several differences meet, a sound missing or added comes before the
// pitch, and the pitch before the loudness.
std::vector<DifferingStretch> DifferingStretches(const VoiceFeatures& take, const VoiceFeatures& model,
                                                 const TakeAlignment& alignment, const DifferenceLimits& limits = {});

// One score as the JSON, the progress log and the report name and show it.
struct ScoreField {
    const char* key;    // JSON key and log column
    const char* title;  // the report's heading
    const char* column; // the report's table heading
    const char* hint;   // what a closer imitation looks like
    double TakeScores::*value;
    int32_t decimals;
};
// Every score, in the order the log's columns and the report's charts take.
const std::vector<ScoreField>& ScoreFields();

// `value` with `decimals` decimals and a point as the decimal mark; empty
// for NaN.
std::string FormatScore(double value, int32_t decimals);

// The scores as one JSON object, numbers with a point as the decimal mark,
// NaN as null; `model` names the model.
std::string ScoresAsJson(const TakeScores& scores, const std::string& model);

}  // namespace vocalume
