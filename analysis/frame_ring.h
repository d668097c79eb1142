// The ring of frame records that the framer, the analysis worker and the
// painter share. Who may touch a record is decided by its flags, not by locks:
// data is written before the flag that publishes it (release) and read after
// the flag has been seen (acquire).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "recording_format.h"

namespace vocalume {

inline constexpr int32_t kMaxSamples = 800;
inline constexpr int32_t kMaxBins = 512;

// One analysed frame. The fields keep their established order; `analysing`
// is the worker's mark on the record it is reading (see FrameRing).
struct FrameRecord {
    int64_t index = 0;  // 64 bits: at ~1000 frames a second, 32 would wrap in 25 days
    int16_t samples[kMaxSamples] = {};
    int32_t nsamples = 0;
    int32_t nspan = 0;
    int32_t minSample = 0;
    int32_t maxSample = 0;
    float spectrum[kMaxBins] = {};
    float smoothSpectrum[kMaxBins] = {};
    int32_t nbins = 0;
    float specMax = 0.0f;
    float specCeiling = 0.0f;
    float energy = 0.0f;
    float energyCeiling = 0.0f;
    int32_t cepsPeak = 0;
    float cepsRatio = 0.0f;
    int32_t acLag = 0;
    float acPeak = 0.0f;
    std::atomic<int32_t> fresh{0};
    std::atomic<int32_t> analysed{0};
    std::atomic<int32_t> drawn{0};
    std::atomic<int32_t> smoothed{0};
    // 1 while the worker analyses this record; the framer treats it like
    // `fresh` and never overwrites the samples under the worker's feet.
    std::atomic<int32_t> analysing{0};
};

// Slot arithmetic in the non-negative forms every user computes with.
constexpr int32_t NextSlot(int32_t s) { return (s + 1) % kRingSize; }
constexpr int32_t PrevSlot(int32_t s) { return (s + kRingSize - 1) % kRingSize; }
constexpr int32_t FiveBefore(int32_t s) { return (s + kRingSize - 5) % kRingSize; }

// Number of spectrum bins the analysis produces for a window of n samples
// (half the FFT size: 128, 256 or 512).
constexpr int32_t BinCountFor(int32_t n) { return n <= 256 ? 128 : (n <= 512 ? 256 : 512); }

class FrameRing {
public:
    FrameRing() = default;
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    FrameRecord& operator[](int32_t slot) { return m_records[static_cast<size_t>(slot)]; }
    const FrameRecord& operator[](int32_t slot) const { return m_records[static_cast<size_t>(slot)]; }

    // The slot the framer fills next; the newest record is the slot before it.
    int32_t WritePosition() const { return m_writePosition.load(std::memory_order_acquire); }
    void SetWritePosition(int32_t slot) { m_writePosition.store(slot, std::memory_order_release); }

    // Returns every record to the empty, analysed, black state and numbers
    // them from the frame counter, which ends at 5000. `nbins` is the bin count
    // the analysis produces for the current window, so the colour bands are
    // laid out right from the first frame. Must not overlap the worker's work
    // on a record: callers go through AnalysisCore::SafeReset.
    void Reset(int64_t& frameCounter, int32_t nbins);

    // Clears `drawn` in every record so that the next paint draws all columns.
    void InvalidateAll();

    // True when the framer must not write the record at `slot`: it waits for
    // analysis or the worker is reading it.
    bool IsBusy(int32_t slot) const;

    // True when the record at `slot` is analysed and may stand beside the
    // records around it (copied from, smoothed over). The record at the write
    // position never may: it is the oldest, next to be overwritten, and a
    // worker that finished it late may have marked it analysed again after
    // the framer withdrew it. Worker thread; reads the write position before
    // the flag, which the framer's order of publishing makes sufficient.
    bool IsAnalysedNeighbour(int32_t slot) const;

    // Raised whenever there may be new work for the worker (frames published,
    // a reset) so that an idle worker wakes up. See AnalysisCore::WakeWorker.
    std::atomic<uint32_t>& WorkEpoch() { return m_workEpoch; }

private:
    std::array<FrameRecord, kRingSize> m_records;
    std::atomic<int32_t> m_writePosition{0};
    std::atomic<uint32_t> m_workEpoch{0};
};

}  // namespace vocalume
