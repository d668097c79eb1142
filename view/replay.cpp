#include "replay.h"

#include <algorithm>
#include <cstring>

namespace vocalume {

bool Replay::Start(SoundChunks sound, int64_t firstSample, int32_t hop, int64_t fromFrame, std::string& reason)
{
    Stop();
    m_hop = std::max(hop, 1);
    m_firstSample = firstSample;
    const int64_t from = std::max<int64_t>(fromFrame * m_hop - firstSample, 0);
    m_playing = m_output.Play(std::move(sound), from, reason);
    return m_playing;
}

void Replay::Stop()
{
    if (m_playing)
        m_output.Stop();
    m_playing = false;
    m_line = -1;
}

int64_t Replay::HeardFrame() const
{
    const int64_t sample = m_firstSample + m_output.HeardPosition();
    // Floor division: a block may begin before frame 0's sample.
    return sample >= 0 ? sample / m_hop : -((-sample + m_hop - 1) / m_hop);
}

Replay::Step Replay::Follow(const std::function<int64_t(int64_t frame)>& columnOf, int32_t width)
{
    Step step;
    step.oldColumn = m_line;
    if (!m_playing || m_output.Finished()) {
        step.ended = m_playing || m_line >= 0;
        if (m_playing)
            step.problem = m_output.Problem();
        Stop();
        step.moved = step.oldColumn >= 0;
        return step;
    }
    const int64_t column = columnOf(HeardFrame());
    if (column >= width) {
        step.turnPage = true;
        m_line = -1;
    } else {
        m_line = column >= 0 ? static_cast<int32_t>(column) : -1;
    }
    step.lineColumn = m_line;
    step.moved = m_line != step.oldColumn;
    return step;
}

void DrawPlayLine(uint8_t* rgb, int stride, int width, int height, int column)
{
    if (rgb == nullptr || column < 0 || column >= width)
        return;
    for (int y = 0; y < height; ++y)
        std::memset(rgb + static_cast<size_t>(y) * stride + static_cast<size_t>(column) * 3, 0xFF, 3);
}

}  // namespace vocalume
