// The framer: cuts the left channel of each filled sound buffer into
// overlapping frames of the ring (392 samples every 11, about 1002 frames a
// second) and tells the caller how far to scroll. The analysis view embeds
// one and calls OnWimData for every "buffer done" notice.
//
// Threads: user-interface thread only. Frames are published to the analysis
// worker through the record flags: samples, the withdrawal of the oldest
// record and the new write position first, then `fresh` (release).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "analysis_worker.h"
#include "wave_in.h"

namespace vocalume {

// Frames per capture buffer in the low-latency picture: 88 samples, 8 ms of
// sound, so that a sound reaches the picture a few milliseconds after the
// device has it instead of a tenth of a second later. The picture then
// scrolls 125 times a second, whatever the refresh rate.
inline constexpr int32_t kLowLatencyFramesPerBuffer = 8;

// Frames cut per capture buffer: a refresh period's worth of hops, rounded up
// to a multiple of 8 (at least 8), or kLowLatencyFramesPerBuffer for the
// low-latency picture. A refresh rate of 0 or less counts as 1.
int32_t FramesPerBuffer(int32_t sampleRate, int32_t refreshRate, int32_t hop, bool lowLatency);

// What one buffer-done notice did.
struct WimDataResult {
    bool ran = false;       // a filled buffer was taken (recording, and one was done)
    bool scroll = false;    // the caller scrolls its picture left by `framesCut` pixels
    bool ringFull = false;  // the worker had not freed the record at the write position
    int32_t framesCut = 0;
};

class Framer {
public:
    // Derives the frame length, hop and buffer size from the rate and the
    // refresh rate, empties the accumulation buffer and resets the ring
    // (without overlapping the worker's work on a record).
    void ComputeFraming(AnalysisCore& core);

    // Handles one "buffer done" notice of `waveIn`.
    WimDataResult OnWimData(CWaveIn& waveIn, AnalysisCore& core);

    int32_t m_sampleRate = kRecordingRate;
    int32_t m_windowRefHz = kWindowRefHz;
    int32_t m_hopTenthsMs = kHopTenthsMs;
    int32_t m_refreshRate = 10;
    // Short buffers for a picture close behind the voice (see
    // kLowLatencyFramesPerBuffer); takes effect at the next ComputeFraming.
    bool m_lowLatency = false;
    int32_t m_windowLength = 0;
    int32_t m_hop = 0;
    int32_t m_framesPerBuffer = 0;
    int32_t m_samplesPerBuffer = 0;
    std::vector<int16_t> m_accumBuffer;
    int32_t m_accumCount = 0;
    // The `index` of the next frame written.
    int64_t m_frameCounter = 0;
    // Buffers lost because the ring was full (for diagnostics).
    int64_t m_ringFullDrops = 0;
    // Told, once per notice that cut frames, of the samples the new frames
    // advanced by (a hop for each), in order: the sound that was analysed.
    std::function<void(const int16_t* samples, int32_t count)> m_onFramesCut;
};

}  // namespace vocalume
