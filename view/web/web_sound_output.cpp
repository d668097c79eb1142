#include "web_sound_output.h"

#include <algorithm>

#include "page_bridge.h"

namespace vocalume {

bool WebSoundOutput::Play(SoundChunks samples, int64_t from, std::string& reason)
{
    Stop();
    if (samples.Empty())
        return false;
    from = std::clamp<int64_t>(from, 0, samples.Size());
    if (!page::Play(samples, from, kPlaybackRate)) {
        reason = "the browser offers no sound output";
        return false;
    }
    m_from = from;
    m_end = samples.Size();
    m_playing = true;
    return true;
}

void WebSoundOutput::Stop()
{
    if (m_playing)
        page::StopPlaying();
    m_playing = false;
}

int64_t WebSoundOutput::HeardPosition() const
{
    if (!m_playing)
        return m_from;
    const int64_t heard = static_cast<int64_t>(page::HeardSample());
    return std::clamp<int64_t>(heard, m_from, m_end);
}

bool WebSoundOutput::Finished() const { return !m_playing || page::PlayFinished(); }

}  // namespace vocalume
