#include "memory_source.h"

#include <algorithm>

namespace vocalume {
namespace {
constexpr int32_t kChunkPairs = 256;
}

MemorySoundSource::MemorySoundSource(std::vector<int16_t> samples) : m_samples(std::move(samples)) {}

MemorySoundSource::MemorySoundSource(SoundChunks samples) : m_samples(std::move(samples)) {}

bool MemorySoundSource::Open(const WaveFormat&, SoundSink& sink, std::string&)
{
    m_sink = &sink;
    m_next = 0;
    m_ended = false;
    return true;
}

bool MemorySoundSource::Pump()
{
    if (m_sink == nullptr || m_ended)
        return false;
    int16_t pairs[2 * kChunkPairs];
    int32_t wanted = m_sink->FramesWanted();
    while (wanted > 0 && m_next < m_samples.Size()) {
        const std::span<const int16_t> run = m_samples.Run(m_next, std::min(wanted, kChunkPairs));
        const auto n = static_cast<int32_t>(run.size());
        for (int32_t i = 0; i < n; ++i)
            pairs[2 * i] = pairs[2 * i + 1] = run[static_cast<size_t>(i)];
        m_sink->Deliver(pairs, n);
        m_next += n;
        wanted -= n;
    }
    if (m_next < m_samples.Size())
        return true;
    m_sink->EndOfStream();
    m_ended = true;
    return false;
}

}  // namespace vocalume
