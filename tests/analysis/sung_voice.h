// Sung and spoken vowels whose pitch is known exactly at every moment, made
// the way a voice makes them: glottal pulses (a Rosenberg flow, differentiated
// as the lips radiate it) with jitter and shimmer, through four formant
// resonances, with breath noise that follows the glottal flow. The pulses are
// made at eight times the recording rate and filtered down to 11025 Hz, so
// that even the highest notes carry no aliased harmonics.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace vocalume::testing {

struct SungVoice {
    std::function<double(double)> f0;  // Hz at a time in seconds
    double seconds = 1.0;
    // Formants in Hz; bandwidths follow from them.
    double formants[4] = {800.0, 1150.0, 2900.0, 3900.0};
    double jitter = 0.005;    // standard deviation of a period's length, as a fraction
    double shimmer = 0.04;    // standard deviation of a pulse's strength, as a fraction
    double breathDb = -28.0;  // breath noise against the voiced sound, in power
    double amplitude = 12000.0;
    uint32_t seed = 1u;
};

std::vector<int16_t> Sing(const SungVoice& voice);

// A note of `hz` with vibrato of `cents` depth (peak) at `rate` Hz.
std::function<double(double)> WithVibrato(double hz, double cents, double rate);

}  // namespace vocalume::testing
