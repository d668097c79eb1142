// Sound already in memory: mono samples at the recording rate, delivered as
// stereo pairs (the same sample on both channels), exactly as a sound file at
// that rate would be. It has no thread: each Pump fills the buffers the device
// holds on the calling thread, and the end is reported once all is given.
// Every Open starts again from the first sample. One thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "sound_chunks.h"
#include "sound_source.h"

namespace vocalume {

class MemorySoundSource final : public SoundSource {
public:
    explicit MemorySoundSource(std::vector<int16_t> samples);
    explicit MemorySoundSource(SoundChunks samples);

    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override {}
    void Stop() override {}
    void Close() override { m_sink = nullptr; }
    bool Pump() override;
    int64_t ExpectedPairs() const override { return m_samples.Size(); }

private:
    SoundChunks m_samples;
    int64_t m_next = 0;
    SoundSink* m_sink = nullptr;
    bool m_ended = false;
};

}  // namespace vocalume
