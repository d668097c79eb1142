// A recording set-up for tests: a framer and a device on a scripted source,
// with the ring of its own analysis core, all driven from the test's thread.
#pragma once

#include <memory>

#include "framer.h"
#include "queue_host.h"
#include "scripted_source.h"
#include "wave_in.h"

namespace vocalume::testing {

struct CaptureRig {
    explicit CaptureRig(int refreshRate = 10, bool lowLatency = false)
    {
        auto owned = std::make_unique<ScriptedSoundSource>();
        source = owned.get();
        waveIn = std::make_unique<CWaveIn>(std::move(owned));
        framer.m_refreshRate = refreshRate;
        framer.m_lowLatency = lowLatency;
        framer.ComputeFraming(*core);
    }

    int Start(int samplesPerBuffer = 0)
    {
        return waveIn->Open(&host, 11025,
                            samplesPerBuffer > 0 ? samplesPerBuffer : framer.m_samplesPerBuffer);
    }

    // Delivers one device buffer of the counting signal and handles its
    // notice as the view does.
    WimDataResult FeedBuffer()
    {
        source->DeliverCounting(waveIn->m_bufferBytes / 4);
        return HandleNotice();
    }

    WimDataResult HandleNotice()
    {
        host.Take();
        return framer.OnWimData(*waveIn, *core);
    }

    // Acts as the worker: every record that waits is taken and analysed.
    void TakeAll()
    {
        for (int32_t s = 0; s < kRingSize; ++s)
            if (core->ring[s].fresh.load() == 1) {
                core->ring[s].fresh.store(0);
                core->ring[s].analysed.store(1);
            }
    }

    FrameRing& Ring() { return core->ring; }
    FrameRecord& Newest() { return core->ring[PrevSlot(core->ring.WritePosition())]; }

    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    ScriptedSoundSource* source = nullptr;
    std::unique_ptr<CWaveIn> waveIn;
    QueueWaveInHost host;
    Framer framer;
};

}  // namespace vocalume::testing
