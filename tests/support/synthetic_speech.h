// Synthetic sentences at 11025 Hz whose timing is known exactly: vowels (a
// pulse train through three resonances, with a melody), hisses (noise through
// one high resonance) and pauses, each sound's targets reached at its middle
// and blended between. A sentence can be said with each sound lengthened or
// shortened, in a higher voice with higher resonances, quieter and over
// noise; the moment of the plain sentence heard at any time of such a
// rendition is known, which is what the coach's alignment is measured by.
#pragma once

#include <cstdint>
#include <vector>

namespace vocalume::testing {

struct SpeechSound {
    double seconds = 0.1;
    // Vowel resonances in Hz; a hiss has only f1 (its resonance); a pause none.
    double f1 = 0.0, f2 = 0.0, f3 = 0.0;
    // The vowel's pitch at its start and end in Hz; 0 for a hiss or a pause.
    double pitchFrom = 0.0, pitchTo = 0.0;
};

struct Rendition {
    // Each sound's length is multiplied by stretch[i] (1 where not given).
    std::vector<double> stretch;
    double pitchScale = 1.0;
    double resonanceScale = 1.0;
    double gain = 1.0;         // of a peak at half of full scale
    double noiseRms = 0.0;     // white noise added, of full scale
    uint32_t seed = 1;
};

std::vector<int16_t> Say(const std::vector<SpeechSound>& sentence, const Rendition& rendition = {});

// The time in the plain sentence that the rendition says at time `seconds`.
double PlainTime(const std::vector<SpeechSound>& sentence, const Rendition& rendition, double seconds);

// Whether the sentence sounds (a vowel or a hiss, not a pause) at `plainSeconds`.
bool Sounds(const std::vector<SpeechSound>& sentence, double plainSeconds);

}  // namespace vocalume::testing
