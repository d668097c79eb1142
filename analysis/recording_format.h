// The recording format: the rate at which sound is recorded, analysed, kept,
// saved and played back, how the framer cuts it into frames, and how many
// frame records the ring holds. Everything that needs one of these numbers
// takes it from here.
//
// Threads: constants only.
#pragma once

#include <cstdint>

namespace vocalume {

// Samples a second of the sound analysed: the left channel of the device's
// 16-bit stereo pairs.
inline constexpr int32_t kRecordingRate = 11025;

// A frame spans 1.6 periods of this reference frequency.
inline constexpr int32_t kWindowRefHz = 45;
inline constexpr double kWindowPeriods = 1.6;
// A new frame begins every this many tenths of a millisecond.
inline constexpr int32_t kHopTenthsMs = 10;

// What the framer makes of them (it works them out the same way, in the same
// order): frames of 392 samples, one every 11 samples, about 1002 a second.
inline constexpr int32_t kFrameLength =
    static_cast<int32_t>(static_cast<double>(kRecordingRate) * kWindowPeriods / kWindowRefHz);
inline constexpr int32_t kFrameHop = (kRecordingRate * kHopTenthsMs) / 10000;

// Frame records in the ring shared by the framer, the worker and the painter.
inline constexpr int32_t kRingSize = 5000;

}  // namespace vocalume
