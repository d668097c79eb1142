#include "frame_ring.h"

#include <algorithm>

namespace vocalume {

void FrameRing::Reset(int64_t& frameCounter, int32_t nbins)
{
    frameCounter = 0;
    for (int32_t k = 0; k < kRingSize; ++k) {
        FrameRecord& r = m_records[static_cast<size_t>(k)];
        r.fresh.store(0, std::memory_order_relaxed);
        r.analysing.store(0, std::memory_order_relaxed);
        std::fill(std::begin(r.spectrum), std::end(r.spectrum), 0.0f);
        std::fill(std::begin(r.smoothSpectrum), std::end(r.smoothSpectrum), 0.0f);
        r.nbins = nbins;
        r.maxSample = 0;
        r.minSample = 0;
        r.specCeiling = 80.0f;
        r.energy = 0.0f;
        r.energyCeiling = 60.0f;
        r.cepsPeak = 1;
        r.cepsRatio = 0.0f;
        r.analysed.store(1, std::memory_order_release);
        r.drawn.store(0, std::memory_order_relaxed);
        r.smoothed.store(0, std::memory_order_relaxed);
        r.index = frameCounter++;
    }
    SetWritePosition(0);
    m_workEpoch.fetch_add(1, std::memory_order_release);
}

void FrameRing::InvalidateAll()
{
    for (auto& r : m_records)
        r.drawn.store(0, std::memory_order_relaxed);
}

bool FrameRing::IsBusy(int32_t slot) const
{
    const FrameRecord& r = (*this)[slot];
    return r.fresh.load(std::memory_order_acquire) == 1 ||
           r.analysing.load(std::memory_order_acquire) == 1;
}

bool FrameRing::IsAnalysedNeighbour(int32_t slot) const
{
    return slot != WritePosition() &&
           (*this)[slot].analysed.load(std::memory_order_acquire) == 1;
}

}  // namespace vocalume
