// What the coach compares of a recording (an attempt, or the model it
// imitates): every fifth frame, a step of about 5 ms, the power spectrum of
// 25 ms of sound around the step, and the pitch tracker's estimate for that
// frame. The spectrum is summed into bands spaced as the ear spaces pitch
// (mel bands, 80 Hz to 4 kHz, so that a model recorded over the telephone
// still compares), optionally with every frequency scaled, to compare a
// voice whose resonances lie higher or lower. Alignment and scores are worked
// out from these, never from the picture, so that no setting of the picture
// changes them.
//
// Plain data and pure functions; any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording_format.h"

namespace vocalume {

class SessionHistory;

// Frames to a step: 5 frames of 11 samples are 55 samples, about 5 ms.
inline constexpr int32_t kVoiceStepFrames = 5;
// Samples of the window each step's spectrum is taken over (25 ms), centred
// on the centre of the step's first frame, and the transform's length.
inline constexpr int32_t kVoiceWindow = 276;
inline constexpr int32_t kVoiceFftSize = 512;
// Spectrum bins kept a step: up to about 5.2 kHz, room for the bands' top
// scaled up by a quarter.
inline constexpr int32_t kVoiceBins = 240;
inline constexpr int32_t kVoiceBands = 24;

using VoiceBands = std::array<float, kVoiceBands>;

struct VoiceFeatures {
    // The frames the features cover (the take's length) and their hop.
    int64_t frames = 0;
    int32_t hop = kFrameHop;
    // Per step: the power in each bin (of samples in full scale), kVoiceBins
    // a step, and the f0 in Hz of the step's first frame, 0 when unvoiced.
    std::vector<float> spectrum;
    std::vector<float> f0Hz;

    int64_t Steps() const { return static_cast<int64_t>(f0Hz.size()); }
    const float* Spectrum(int64_t step) const { return spectrum.data() + step * kVoiceBins; }
};

// The features of `frames` frames cut every `hop` samples from `sound`
// (frame f begins at sample f * hop; samples past the end are silence), with
// `pitchHz[f]` the tracker's f0 of frame f (0 when unvoiced; missing entries
// count as unvoiced).
// Stops early, with the features of the steps measured so far, when `stop`
// is raised.
VoiceFeatures MeasureVoice(const int16_t* sound, size_t samples, const std::vector<float>& pitchHz,
                           int64_t frames, int32_t hop, const std::atomic<bool>* stop = nullptr);

// A take as the coach reads it, copied out of the session: the sound from
// the take's first frame on, and the tracker's f0 of each of its frames.
struct TakeSound {
    std::vector<int16_t> sound;
    std::vector<float> pitchHz;
    int64_t frames = 0;
    int32_t hop = kFrameHop;
    // The f0 are the live line's, settled within 50 ms of the voice: the
    // take is read again as a whole sound before it is measured, as a file
    // (and so a model opened from one) is read, so that a take and its model
    // are compared by the same reading.
    bool pitchFromLiveLine = false;
};

// The session's frames [firstFrame, endFrame), as far as it keeps them.
TakeSound CopyTake(const SessionHistory& session, int64_t firstFrame, int64_t endFrame);

// The features of the take's first `frames` frames (all, when negative).
VoiceFeatures MeasureVoice(const TakeSound& take, int64_t frames = -1, const std::atomic<bool>* stop = nullptr);

// The f0 of the take's first `frames` frames (0 when unvoiced) as the pitch
// tracker reads its sound as a whole sound, from its first sample, as far as
// that reading needs; empty when its frames are not the tracker's (another
// hop).
std::vector<float> WholeSoundPitch(const TakeSound& take, int64_t frames);

// The power in each mel band of every step, with every frequency of the bands
// multiplied by `scale` (above 1 for a voice whose resonances lie higher).
std::vector<VoiceBands> BandPowers(const VoiceFeatures& voice, double scale = 1.0);

// A take's levels: its loud level (the power most steps of its speech stay
// below; a click lies above) and the quiet level of each band and of all
// (the background noise, or the silence between words), in the bands' power.
struct VoiceLevels {
    double loud = 0.0;
    std::array<double, kVoiceBands> quietBand{};
    double quiet = 0.0;
};
VoiceLevels LevelsOf(const std::vector<VoiceBands>& bands);

// The power of every step in dB under the take's loud level (0 at that
// level, never below -100).
std::vector<float> LoudnessDb(const std::vector<VoiceBands>& bands, const VoiceLevels& levels);

// Whether each step holds sound: at most 35 dB under the loud level and 6 dB
// above the quiet level.
std::vector<uint8_t> SoundingSteps(const std::vector<float>& loudnessDb, const VoiceLevels& levels);

// The centre frequency in Hz of mel band `band` (unscaled).
double VoiceBandCentreHz(int32_t band);

// The factor by which the frequencies of `attempt`'s spectrum are to be
// multiplied to lie where `model`'s lie (from 0.75 to 1.33): the scale at
// which their average spectra over the whole of each take, on a logarithmic
// frequency axis, agree best. A higher voice imitating a lower one has a
// factor above 1.
double ResonanceScale(const VoiceFeatures& attempt, const VoiceFeatures& model);

}  // namespace vocalume
