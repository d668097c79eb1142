#include "scripted_source.h"

#include <algorithm>

namespace vocalume {

bool ScriptedSoundSource::Open(const WaveFormat& f, SoundSink& sink, std::string&)
{
    ++opens;
    format = f;
    if (failOpen)
        return false;
    m_sink = &sink;
    return true;
}

void ScriptedSoundSource::Start()
{
    ++starts;
    m_running.store(true);
}

bool ScriptedSoundSource::BufferQueued()
{
    ++queued;
    return !(failQueueAt > 0 && queued == failQueueAt);
}

void ScriptedSoundSource::Stop()
{
    ++stops;
    m_running.store(false);
}

void ScriptedSoundSource::Close()
{
    ++closes;
    ++*closesSeen;
    m_sink = nullptr;
}

void ScriptedSoundSource::Deliver(const std::vector<int16_t>& pairs)
{
    Deliver(pairs.data(), static_cast<int32_t>(pairs.size() / 2));
}

void ScriptedSoundSource::Deliver(const int16_t* pairs, int32_t frames)
{
    if (m_running.load() && !m_muted.load() && m_sink)
        m_sink->Deliver(pairs, frames);
}

void ScriptedSoundSource::DeliverCounting(int32_t frames)
{
    int16_t chunk[512];
    while (frames > 0) {
        const int32_t n = std::min<int32_t>(frames, 256);
        for (int32_t i = 0; i < n; ++i) {
            chunk[2 * i] = CountingSample(m_counter);
            chunk[2 * i + 1] = static_cast<int16_t>(-CountingSample(m_counter));
            ++m_counter;
        }
        Deliver(chunk, n);
        frames -= n;
    }
}

void ScriptedSoundSource::EndOfStream()
{
    if (m_running.load() && m_sink)
        m_sink->EndOfStream();
}

void ScriptedSoundSource::Lose(const std::string& reason)
{
    if (m_running.load() && m_sink)
        m_sink->DeviceLost(reason);
}

void ScriptedSoundSource::FailLate(const std::string& message)
{
    if (m_sink)
        m_sink->OpenFailed(message);
}

int32_t ScriptedSoundSource::FramesWanted() const
{
    return m_sink ? m_sink->FramesWanted() : 0;
}

}  // namespace vocalume
