// Aligning an attempt to the model it imitates: which moment of the model
// each moment of the attempt says, found by dynamic time warping over the two
// recordings' voice features: the shape of the spectrum and how it changes,
// loudness, voicing, and the melody relative to each voice's own middle. The
// attempt's spectrum is first scaled to the model's resonances, and both
// share one level of background noise, so that a higher or lower voice, a
// quieter recording or one over more noise still matches the same sounds.
//
// The path is searched on a coarse grid first and refined in a band around
// it on finer grids down to the 5 ms step, so that long takes cost in
// proportion to their length rather than its square. The attempt may end
// anywhere in the model (a take stopped early) or go on past its end.
//
// Pure functions; any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "voice_features.h"

namespace vocalume {

struct TakeAlignment {
    // For every frame of the attempt, the model frame it matches (fractional,
    // never decreasing, within the model's frames).
    std::vector<double> modelFrame;
    // For every step of the attempt, the model step it matches.
    std::vector<int32_t> modelStep;
    // The attempt's frequencies were multiplied by this to compare with the
    // model's (see ResonanceScale).
    double resonanceScale = 1.0;

    bool Empty() const { return modelFrame.empty(); }
};

// What an alignment cost, for the measurements: the grid cells compared, the
// bytes of the largest path table held at once, and of the compared steps.
struct AlignmentCost {
    int64_t cells = 0;
    int64_t tableBytes = 0;
    int64_t trackBytes = 0;
};

// How many frames of one take are compared with a take of `otherFrames`
// frames: three times as many and two seconds more. A take stopped early
// needs no more of the model, and what was said long after the model ended
// matches nothing in it.
int64_t FramesCompared(int64_t otherFrames);

// Aligns the attempt's frames to the model's, both from their first frame.
// Empty when either has no frame, or when `stop` (if given) was raised
// meanwhile; it is read now and then, so that an alignment no longer wanted
// ends soon.
TakeAlignment AlignTake(const VoiceFeatures& attempt, const VoiceFeatures& model,
                        const std::atomic<bool>* stop = nullptr);
TakeAlignment AlignTake(const VoiceFeatures& attempt, const VoiceFeatures& model, AlignmentCost& cost,
                        const std::atomic<bool>* stop = nullptr);

}  // namespace vocalume
