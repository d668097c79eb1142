// A sound source driven by a test: it can refuse to open, refuse the Nth
// buffer handed to the device, stop delivering, and delivers exactly the
// samples it is given, on whichever thread calls Deliver.
#pragma once

#include <atomic>
#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "sound_source.h"

namespace vocalume {

class ScriptedSoundSource : public SoundSource {
public:
    // Script, set before the device is opened.
    bool failOpen = false;
    int failQueueAt = 0;  // the Nth buffer handed to the device (from 1) is refused; 0: never

    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override;
    bool BufferQueued() override;
    void Stop() override;
    void Close() override;

    // Delivers interleaved pairs to the device while started and not muted.
    void Deliver(const std::vector<int16_t>& pairs);
    void Deliver(const int16_t* pairs, int32_t frames);
    // Delivers `frames` pairs whose left sample is left(i) and right sample
    // -left(i), i counting up across calls.
    void DeliverCounting(int32_t frames);
    void EndOfStream();
    // The device is lost, as an unplugged microphone would be.
    void Lose(const std::string& reason);
    // The device could not be opened after all, as a live device that opens
    // after Open returned tells it.
    void FailLate(const std::string& message);
    // Stops delivering without the device knowing (a stalled device).
    void SetMuted(bool muted) { m_muted.store(muted); }

    int32_t FramesWanted() const;

    // The input chosen, and whether to answer that it is missing.
    void SetInput(const std::string& name) override { input = name; }
    bool InputMissing() const override { return inputMissing; }
    std::string input;
    bool inputMissing = false;

    // What the device asked of it.
    int opens = 0, starts = 0, stops = 0, closes = 0, queued = 0;
    WaveFormat format;
    // Counts closes where a test can still read it after the device (and
    // this source with it) is gone.
    std::shared_ptr<int> closesSeen = std::make_shared<int>(0);

private:
    SoundSink* m_sink = nullptr;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_muted{false};
    int32_t m_counter = 0;
};

// The left sample DeliverCounting gives the i-th pair (i from 0).
inline int16_t CountingSample(int32_t i) { return static_cast<int16_t>(i % 30000); }

}  // namespace vocalume
