#include "web_sound_output.h"

#include <algorithm>

#include "page_bridge.h"

namespace vocalume {

bool WebSoundOutput::Play(std::shared_ptr<const std::vector<int16_t>> samples, int64_t from, std::string& reason)
{
    Stop();
    if (!samples)
        return false;
    from = std::clamp<int64_t>(from, 0, static_cast<int64_t>(samples->size()));
    if (!page::Play(samples->data(), static_cast<int64_t>(samples->size()), from, kPlaybackRate)) {
        reason = "the browser offers no sound output";
        return false;
    }
    m_samples = std::move(samples);
    m_from = from;
    m_playing = true;
    return true;
}

void WebSoundOutput::Stop()
{
    if (m_playing)
        page::StopPlaying();
    m_playing = false;
    m_samples.reset();
}

int64_t WebSoundOutput::HeardPosition() const
{
    if (!m_samples)
        return m_from;
    const int64_t heard = static_cast<int64_t>(page::HeardSample());
    return std::clamp<int64_t>(heard, m_from, static_cast<int64_t>(m_samples->size()));
}

bool WebSoundOutput::Finished() const { return !m_playing || page::PlayFinished(); }

}  // namespace vocalume
