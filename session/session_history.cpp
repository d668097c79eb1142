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
    m_firstSample = 0;
    // The framer's numbering goes on: the current era continues from here.
    if (!m_eras.empty()) {
        Era era = m_eras.back();
        era.firstFrame = 0;
        era.firstSample = 0;
        m_eras.assign(1, era);
        m_eras.back().firstIndex = m_nextIndex;
    }
    m_unsaved = false;
}

void SessionHistory::AddEra(int64_t firstIndex, bool newNumbering)
{
    m_eras.push_back(Era{firstIndex, EndFrame(), EndSample(), newNumbering});
    m_nextIndex = firstIndex;
}

void SessionHistory::BeginEra(int64_t firstIndex) { AddEra(firstIndex, true); }

void SessionHistory::Resynchronise(int64_t nextIndex) { AddEra(nextIndex, false); }

void SessionHistory::Recorded(const int16_t* samples, int32_t count, int64_t endIndex)
{
    if (count > 0) {
        m_sound.insert(m_sound.end(), samples, samples + count);
        m_unsaved = true;
    }
    if (!m_eras.empty()) {
        const Era& era = m_eras.back();
        const int64_t end = era.firstFrame + (endIndex - era.firstIndex);
        if (end > EndFrame())
            m_columns.resize(static_cast<size_t>(end - m_firstFrame), BlankColumn());
        m_nextIndex = std::max(m_nextIndex, endIndex);
    }
    DropOldest();
}

const SessionHistory::Era* SessionHistory::EraOf(int64_t frameIndex) const
{
    for (auto era = m_eras.rbegin(); era != m_eras.rend(); ++era) {
        if (era->firstIndex <= frameIndex)
            return &*era;
        if (era->newNumbering)
            break;
    }
    return nullptr;
}

void SessionHistory::Keep(int64_t frameIndex, const ColumnDescription& column)
{
    const Era* era = EraOf(frameIndex);
    if (era == nullptr)
        return;  // a frame from before the session, or a ring reset's black record
    const int64_t frame = era->firstFrame + (frameIndex - era->firstIndex);
    if (HasFrame(frame))
        m_columns[static_cast<size_t>(frame - m_firstFrame)] = column;
}

const ColumnDescription& SessionHistory::Column(int64_t frame) const
{
    return m_columns[static_cast<size_t>(frame - m_firstFrame)];
}

std::vector<int16_t> SessionHistory::Sound() const { return {m_sound.begin(), m_sound.end()}; }

int64_t SessionHistory::SampleOfFrame(int64_t frame) const
{
    for (auto era = m_eras.rbegin(); era != m_eras.rend(); ++era)
        if (era->firstFrame <= frame)
            return era->firstSample + (frame - era->firstFrame) * m_hop;
    return frame * m_hop;
}

size_t SessionHistory::BytesUsed() const
{
    return m_columns.size() * sizeof(ColumnDescription) + m_sound.size() * sizeof(int16_t) +
           m_eras.capacity() * sizeof(Era);
}

void SessionHistory::DropOldest()
{
    const int64_t maxSamples = static_cast<int64_t>(m_minutes) * 60 * kSessionRate;
    const int64_t maxFrames = maxSamples / m_hop;
    // Whole seconds at a time, so that dropping costs little per frame.
    const int64_t frameStep = kSessionRate / m_hop;
    if (static_cast<int64_t>(m_columns.size()) > maxFrames + frameStep) {
        const int64_t drop = static_cast<int64_t>(m_columns.size()) - maxFrames;
        m_columns.erase(m_columns.begin(), m_columns.begin() + drop);
        m_firstFrame += drop;
    }
    if (static_cast<int64_t>(m_sound.size()) > maxSamples + kSessionRate) {
        const int64_t drop = static_cast<int64_t>(m_sound.size()) - maxSamples;
        m_sound.erase(m_sound.begin(), m_sound.begin() + drop);
        m_firstSample += drop;
    }
    // Eras wholly before the kept frames are no longer needed, but the last
    // one always is.
    while (m_eras.size() > 1 && m_eras[1].firstFrame <= m_firstFrame)
        m_eras.erase(m_eras.begin());
}

}  // namespace vocalume
