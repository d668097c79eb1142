#include "session_history.h"

#include <algorithm>
#include <cmath>

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
    m_pitch.clear();
    m_pitchEnd = 0;
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
        if (end > EndFrame()) {
            m_columns.resize(static_cast<size_t>(end - m_firstFrame), BlankColumn());
            m_pitch.resize(m_columns.size(), 0);
        }
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

void SessionHistory::SetPitch(int64_t frame, float f0Hz)
{
    if (!HasFrame(frame))
        return;
    // Anything but a positive frequency (a NaN too) is kept as unvoiced.
    const float clamped = f0Hz > 0.0f ? std::min(f0Hz, kMaxSessionPitchHz) : 0.0f;
    m_pitch[static_cast<size_t>(frame - m_firstFrame)] =
        static_cast<uint16_t>(std::lround(clamped * kSessionPitchSteps));
    m_pitchEnd = std::max(m_pitchEnd, frame + 1);
}

float SessionHistory::Pitch(int64_t frame) const
{
    return HasFrame(frame) ? static_cast<float>(m_pitch[static_cast<size_t>(frame - m_firstFrame)]) / kSessionPitchSteps
                           : 0.0f;
}

const ColumnDescription& SessionHistory::Column(int64_t frame) const
{
    return m_columns[static_cast<size_t>(frame - m_firstFrame)];
}

std::vector<int16_t> SessionHistory::Sound() const { return {m_sound.begin(), m_sound.end()}; }

size_t SessionHistory::BytesUsed() const
{
    return m_columns.size() * sizeof(ColumnDescription) + m_sound.size() * sizeof(int16_t) +
           m_pitch.size() * sizeof(uint16_t);
}

void SessionHistory::DropOldest()
{
    const int64_t maxFrames = static_cast<int64_t>(m_minutes) * 60 * kRecordingRate / m_hop;
    // A second at a time, so that dropping costs little per frame.
    const int64_t frameStep = kRecordingRate / m_hop;
    if (static_cast<int64_t>(m_columns.size()) <= maxFrames + frameStep)
        return;
    const int64_t drop = static_cast<int64_t>(m_columns.size()) - maxFrames;
    m_columns.erase(m_columns.begin(), m_columns.begin() + drop);
    m_pitch.erase(m_pitch.begin(), m_pitch.begin() + drop);
    const auto samples = std::min<int64_t>(drop * m_hop, static_cast<int64_t>(m_sound.size()));
    m_sound.erase(m_sound.begin(), m_sound.begin() + samples);
    m_firstFrame += drop;
    m_pitchEnd = std::max(m_pitchEnd, m_firstFrame);
}

}  // namespace vocalume
