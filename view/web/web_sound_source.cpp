#include "web_sound_source.h"

#include <algorithm>

#include "page_bridge.h"

namespace vocalume {

bool WebSoundSource::Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage)
{
    const int opened = page::OpenMicrophone(m_input, format.samplesPerSec);
    if (opened == 1) {
        userMessage = "This browser cannot record sound here: it offers no microphone to web pages "
                      "(use a current browser, and open the page over https or from this computer).";
        return false;
    }
    m_missing = opened == 2;
    m_sink = &sink;
    m_outRate = format.samplesPerSec;
    m_delivered = 0;
    // Every opening converts afresh: nothing of the last recording is heard.
    m_rate = 0;
    m_resampler.reset();
    return true;
}

void WebSoundSource::Stop()
{
    m_delivering = false;
    page::CloseMicrophone();
}

void WebSoundSource::Heard(const float* samples, int32_t count, int32_t rate)
{
    if (!m_delivering || m_sink == nullptr || count <= 0 || rate <= 0)
        return;
    m_pairs.resize(static_cast<size_t>(count + 64) * 8);
    if (rate == m_outRate) {
        for (int32_t i = 0; i < count; ++i)
            m_pairs[2 * i] = m_pairs[2 * i + 1] = ToSample16(samples[i]);
        m_sink->Deliver(m_pairs.data(), count);
        m_delivered += count;
        return;
    }
    if (rate != m_rate || !m_resampler) {
        m_rate = rate;
        m_resampler = std::make_unique<StereoResampler>(rate, m_outRate, StereoResampler::Input::Float);
    }
    m_stereo.resize(static_cast<size_t>(count) * 2);
    for (int32_t i = 0; i < count; ++i)
        m_stereo[2 * i] = m_stereo[2 * i + 1] = samples[i];
    const int32_t capacity = static_cast<int32_t>(m_pairs.size() / 2);
    for (int32_t taken = 0; taken < count;) {
        int32_t consumed = 0;
        const int32_t made =
            m_resampler->Process(m_stereo.data() + 2 * taken, count - taken, consumed, m_pairs.data(), capacity);
        if (made > 0) {
            m_sink->Deliver(m_pairs.data(), made);
            m_delivered += made;
        }
        if (consumed == 0 && made == 0)
            break;
        taken += consumed;
    }
}

void WebSoundSource::Lost(const std::string& reason)
{
    if (m_sink == nullptr || !m_delivering)
        return;
    m_delivering = false;
    m_sink->DeviceLost(reason);
}

}  // namespace vocalume
