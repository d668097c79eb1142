#include "session_history.h"

#include <algorithm>

namespace vocalume {
namespace {

// A frame that was cut but never drawn: black, with no trace.
ColumnDescription BlankColumn()
{
    ColumnDescription c;
    c.flags = ColumnDescription::kNoTrace;
    return c;
}

}  // namespace

SessionHistory::SessionHistory(int32_t minutes, int32_t hop) : m_minutes(std::max(minutes, 1)), m_hop(hop)
{
}

void SessionHistory::SetLimitMinutes(int32_t minutes)
{
    m_minutes = std::max(minutes, 1);
    DropOldest();
}

void SessionHistory::Clear()
{
    m_columns.clear();
    m_sound.clear();
    m_firstFrame = 0;
    m_unsaved = false;
    // The framer's numbering goes on: its next frame is the session's first.
    m_eraFirstIndex = m_nextIndex;
    m_eraFirstFrame = 0;
}

void SessionHistory::TrimTo(int64_t endFrame)
{
    if (endFrame >= EndFrame())
        return;
    const int64_t end = std::max(endFrame, m_firstFrame);
    m_columns.resize(static_cast<size_t>(end - m_firstFrame));
    const int64_t samples = SampleOfFrame(end) - FirstSample();
    if (samples < static_cast<int64_t>(m_sound.size()))
        m_sound.resize(static_cast<size_t>(samples));
}

void SessionHistory::BeginEra(int64_t firstIndex)
{
    m_inEra = true;
    m_eraFirstIndex = firstIndex;
    m_eraFirstFrame = EndFrame();
    m_nextIndex = firstIndex;
}

void SessionHistory::Recorded(const int16_t* samples, int32_t count, int64_t endIndex)
{
    if (count > 0) {
        m_sound.insert(m_sound.end(), samples, samples + count);
        m_unsaved = true;
    }
    if (m_inEra) {
        const int64_t end = m_eraFirstFrame + (endIndex - m_eraFirstIndex);
        if (end > EndFrame())
            m_columns.resize(static_cast<size_t>(end - m_firstFrame), BlankColumn());
        m_nextIndex = std::max(m_nextIndex, endIndex);
    }
    DropOldest();
}

void SessionHistory::Keep(int64_t frameIndex, const ColumnDescription& column)
{
    // Frames from before the session, and a ring reset's black records, are
    // not the session's.
    if (!m_inEra || frameIndex < m_eraFirstIndex)
        return;
    const int64_t frame = m_eraFirstFrame + (frameIndex - m_eraFirstIndex);
    if (HasFrame(frame))
        m_columns[static_cast<size_t>(frame - m_firstFrame)] = column;
}

const ColumnDescription& SessionHistory::Column(int64_t frame) const
{
    return m_columns[static_cast<size_t>(frame - m_firstFrame)];
}

std::vector<int16_t> SessionHistory::Sound() const { return {m_sound.begin(), m_sound.end()}; }

size_t SessionHistory::BytesUsed() const
{
    return m_columns.size() * sizeof(ColumnDescription) + m_sound.size() * sizeof(int16_t);
}

void SessionHistory::DropOldest()
{
    const int64_t maxFrames = static_cast<int64_t>(m_minutes) * 60 * kSessionRate / m_hop;
    // A second at a time, so that dropping costs little per frame.
    const int64_t frameStep = kSessionRate / m_hop;
    if (static_cast<int64_t>(m_columns.size()) <= maxFrames + frameStep)
        return;
    const int64_t drop = static_cast<int64_t>(m_columns.size()) - maxFrames;
    m_columns.erase(m_columns.begin(), m_columns.begin() + drop);
    const auto samples = std::min<int64_t>(drop * m_hop, static_cast<int64_t>(m_sound.size()));
    m_sound.erase(m_sound.begin(), m_sound.begin() + samples);
    m_firstFrame += drop;
}

}  // namespace vocalume
