// Analysis of one frame record: waveform extremes, energy, power spectrum,
// autocorrelation and cepstral pitch candidates, and the display ceilings,
// or, when undersampling allows, a copy of the newer neighbour's results.
// AnalyseFrame runs on the analysis worker thread only (or whoever scans the
// ring in its place); MeasureFrame on any thread.
#pragma once

#include <cstdint>

#include "frame_ring.h"
#include "lag_sums.h"

namespace vocalume {

// Constants of the analysis, each with the exact value it has always had.
inline constexpr double kPreEmphasis = 0.95;
inline constexpr double kTwoPiHamming = 6.28318530717959;
inline constexpr double kTwoPiLifter = 6.283185307179586;
inline constexpr int32_t kLagMin = 22;
inline constexpr int32_t kLagMax = 183;
inline constexpr double kCepstralMeanFactor = 0.006172839506172839;  // 1/162
inline constexpr float kCepstralPeakStart = -1.0e8f;
inline constexpr double kPeakFall = 0.001;
inline constexpr double kFloorRise = 0.005;
inline constexpr double kCeilingMargin = 20.0;
inline constexpr float kLevelFloorDb = -100.0f;
// Slots 4998 and 4999 are always analysed in full.
inline constexpr int32_t kFirstAlwaysFullSlot = 4998;

// The four level trackers. They start at these values when the program is
// loaded and are never reset; only the worker thread touches them.
struct LevelTrackers {
    float specPeak = 80.0f;
    float specFloor = 40.0f;
    float energyPeak = 60.0f;
    float energyFloor = 20.0f;
};

// FFT size for a window of n samples: 256, 512 or 1024.
constexpr int32_t FftSizeFor(int32_t n) { return n <= 256 ? 256 : (n <= 512 ? 512 : 1024); }

// The analysis state one run of the worker owns: the Hamming window cached for
// the window length last seen, the cepstral lifter window cached for the FFT
// size last seen, and the work buffers. Nothing is allocated per frame; a new
// worker run starts with empty caches.
struct AnalyserState {
    int32_t hammingLength = 0;
    double hamming[kMaxSamples] = {};
    alignas(32) float fft[1024] = {};
    float autocorr[kLagMax + 1] = {};
    int32_t lifterLength = 0;
    alignas(32) double lifter[1024] = {};
    double squares[kMaxSamples] = {};
    int32_t retry[512] = {};
    LagSums lags = {};
};

// What a full analysis finds in a frame's samples alone, before the level
// trackers see it: every analysis field of `record` but the two ceilings,
// and the energy level in dB as the energy tracker follows it. Frames can be
// measured ahead, on other threads, and the trackers follow them in order.
struct FrameMeasures {
    FrameRecord record;  // samples and nsamples in, the analysis fields out
    double energy = 0.0;
};

// Measures `m.record` as a full analysis of those samples would. Any thread,
// on measures and a state of its own.
void MeasureFrame(FrameMeasures& m, AnalyserState& state);

// Analyses the fresh record at slot s (see the record's flag protocol in
// frame_ring.h). `ratio` is the undersampling ratio R, read once by the
// caller for this record. A record analysed in full takes its measures from
// `measured` when that was measured from the same samples, and is measured
// here otherwise: the result is the same bits either way.
void AnalyseFrame(FrameRing& ring, LevelTrackers& trackers, AnalyserState& state, int32_t ratio,
                  int32_t s, const FrameMeasures* measured = nullptr);

}  // namespace vocalume
