// Test signals with known answers: tones, synthetic voiced vowels and
// speech-like noise, as 16-bit samples at 11025 Hz.
#pragma once

#include <cstdint>
#include <vector>

namespace vocalume::testing {

inline constexpr double kRate = 11025.0;

// Two-pole resonator, as in formant synthesis, at `rate` samples a second.
struct Resonator {
    double a = 0, b = 0, c = 0, y1 = 0, y2 = 0;
    Resonator(double freq, double bandwidth, double rate = kRate);
    double operator()(double x);
};

// A sine of the given frequency and peak amplitude.
std::vector<int16_t> Tone(double hz, int count, double amplitude, double phase = 0.0);

// A glottal pulse train at f0 through three formant resonances (an "ah"),
// scaled to the given peak amplitude. `jitter` varies each period's length
// randomly by that fraction (standard deviation), as a real voice does.
std::vector<int16_t> Vowel(double f0, int count, double amplitude, double jitter = 0.0);

// Speech-like material: vowels whose pitch glides, noise bursts and pauses,
// deterministic for a seed.
std::vector<int16_t> SpeechLike(int count, uint32_t seed);

// `x` as a telephone line carries it: 300 to 3400 Hz (Butterworth high- and
// low-pass filters of the eighth order, run forwards and backwards, so that
// nothing is delayed).
std::vector<int16_t> TelephoneBand(const std::vector<int16_t>& x);

// Uniform random samples over the whole 16-bit range, including -32768.
std::vector<int16_t> RandomSamples(int count, uint32_t seed);

}  // namespace vocalume::testing
