#include "framer.h"

#include <algorithm>
#include <cstring>

namespace vocalume {
namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kRelease = std::memory_order_release;
}  // namespace

int32_t FramesPerBuffer(int32_t sampleRate, int32_t refreshRate, int32_t hop, bool lowLatency)
{
    if (lowLatency)
        return kLowLatencyFramesPerBuffer;
    // A refresh rate of 0 or less would divide by zero; above the frame
    // rate it would make buffers of no frames and nothing would ever be cut.
    const int32_t refresh = std::max(refreshRate, 1);
    int32_t frames = std::max(sampleRate / refresh / std::max(hop, 1), 1);
    while (frames % 8 != 0)
        ++frames;
    return frames;
}

void Framer::ComputeFraming(AnalysisCore& core)
{
    m_windowLength = static_cast<int32_t>(static_cast<double>(m_sampleRate) * kWindowPeriods /
                                          m_windowRefHz);
    m_windowLength = std::clamp(m_windowLength, 1, kMaxSamples);
    m_hop = std::max((m_sampleRate * m_hopTenthsMs) / 10000, 1);
    m_framesPerBuffer = FramesPerBuffer(m_sampleRate, m_refreshRate, m_hop, m_lowLatency);
    m_samplesPerBuffer = m_hop * m_framesPerBuffer;

    // Room for what a call may hold back (up to a window less one sample)
    // plus a whole buffer, whatever the refresh rate.
    const size_t capacity = static_cast<size_t>(
        std::max(2 * m_samplesPerBuffer, m_windowLength - 1 + m_samplesPerBuffer));
    m_accumBuffer.assign(capacity, 0);
    m_accumCount = 0;

    core.SafeReset(m_frameCounter, BinCountFor(m_windowLength));
}

WimDataResult Framer::OnWimData(CWaveIn& waveIn, AnalysisCore& core)
{
    WimDataResult result;
    if (waveIn.m_state != 2 || !waveIn.IsBufferDone())
        return result;
    result.ran = true;

    const int32_t n =
        waveIn.ReadChannel(m_accumBuffer.data() + m_accumCount, 1, m_samplesPerBuffer);
    waveIn.QueueNextBuffer();

    FrameRing& ring = core.ring;
    const int32_t total = m_accumCount + n;
    int32_t consumed = 0;
    const int32_t copyCount = std::min(std::max(m_windowLength, m_hop), kMaxSamples);
    while (consumed + m_windowLength <= total) {
        const int32_t p = ring.WritePosition();
        if (ring.IsBusy(p)) {
            result.ringFull = true;
            break;
        }
        FrameRecord& r = ring[p];
        std::memcpy(r.samples, m_accumBuffer.data() + consumed,
                    static_cast<size_t>(std::min(copyCount, total - consumed)) * sizeof(int16_t));
        r.nsamples = m_windowLength;
        r.nspan = m_hop;
        r.index = m_frameCounter++;
        r.analysed.store(0, kRelaxed);
        r.drawn.store(0, kRelaxed);
        r.smoothed.store(0, kRelaxed);

        // The oldest record, which the next frame overwrites, is no longer
        // painted or smoothed over, and the write position moves onto it,
        // both before the frame is published: a worker that takes the frame
        // must not find the previous lap's `analysed` beside it.
        const int32_t next = NextSlot(p);
        FrameRecord& oldest = ring[next];
        oldest.analysed.store(0, kRelaxed);
        oldest.drawn.store(0, kRelaxed);
        oldest.smoothed.store(0, kRelaxed);
        ring.SetWritePosition(next);
        r.fresh.store(1, kRelease);

        consumed += m_hop;
        ++result.framesCut;
    }

    if (result.framesCut > 0) {
        core.WakeWorker();
        if (m_onFramesCut)
            m_onFramesCut(m_accumBuffer.data(), consumed);
    }

    if (result.ringFull) {
        ++m_ringFullDrops;
        if (result.framesCut == 0)
            return result;  // the buffer's samples are dropped; held samples stay
        // Frames of this buffer already went into the ring: keep the picture
        // in step with them and go on after the last one, holding no more
        // than the part of a window that is still owed.
        const int32_t keep = std::min(total - consumed, m_windowLength - 1);
        std::memmove(m_accumBuffer.data(), m_accumBuffer.data() + consumed,
                     static_cast<size_t>(keep) * sizeof(int16_t));
        m_accumCount = keep;
        result.scroll = true;
        return result;
    }

    m_accumCount = total - consumed;
    std::memmove(m_accumBuffer.data(), m_accumBuffer.data() + consumed,
                 static_cast<size_t>(m_accumCount) * sizeof(int16_t));
    result.scroll = true;
    return result;
}

}  // namespace vocalume
