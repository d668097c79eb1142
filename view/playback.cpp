#include "playback.h"

#include <algorithm>
#include <utility>

namespace vocalume {

Playback::Playback(const SessionHistory& session, LookingBack& lookingBack, const Lanes& lanes,
                   const ViewSettings& settings)
    : m_session(session), m_lookingBack(lookingBack), m_lanes(lanes), m_settings(settings)
{}

void Playback::SetOutput(std::unique_ptr<SoundOutput> output)
{
    Stop();
    m_replay.reset();
    m_output = std::move(output);
    if (m_output)
        m_replay = std::make_unique<Replay>(*m_output);
}

int Playback::TimerMs() const { return std::max(kPlayTimerMs, 1000 / std::max(m_settings.refresh, 1)); }

bool Playback::Start(bool model, std::string& reason)
{
    reason.clear();
    m_endedBecause.clear();
    if (model && !m_lanes.HasModel())
        return false;
    if (!m_replay) {
        reason = "no sound output device was found";
        return false;
    }
    const SessionHistory* sound = model ? m_lanes.Model() : &m_session;
    if (sound->EndSample() <= sound->FirstSample())
        return false;  // nothing recorded yet: nothing to play
    m_lookingBack.Enter();
    int64_t from = 0;
    if (model) {
        from = m_lanes.ModelPlayFrom(m_clickedColumn);
    } else {
        from = std::max(m_lookingBack.LeftFrame(), m_session.FirstFrame());
        if (m_clickedFrame >= from && m_clickedFrame <= m_lookingBack.RightFrame())
            from = m_clickedFrame;
    }
    m_playingModel = model;
    if (!m_replay->Start(sound->Sound(), sound->FirstSample(), sound->Hop(), from, reason))
        return false;
    if (m_host != nullptr)
        m_host->SetPlayTimer(TimerMs());
    Follow();
    return true;
}

bool Playback::Stop()
{
    if (!Playing())
        return false;
    const int32_t column = m_replay->LineColumn();
    m_replay->Stop();
    if (m_host != nullptr) {
        m_host->KillPlayTimer();
        if (column >= 0)
            m_host->RequestPaintColumns(column, column);
    }
    return true;
}

bool Playback::Follow()
{
    if (!Playing())
        return false;
    const int32_t width = m_lookingBack.Width();
    const auto columnOf = [this](int64_t frame) {
        return m_playingModel && m_lanes.HasModel() ? m_lanes.ColumnOfModelFrame(frame)
                                                    : frame - m_lookingBack.LeftFrame();
    };
    Replay::Step step = m_replay->Follow(columnOf, width);
    const int32_t oldColumn = step.oldColumn;
    bool changed = false;
    if (step.turnPage && m_lookingBack.Move(ViewKey::PageDown)) {
        if (m_host != nullptr)
            m_host->RequestPaint();
        step = m_replay->Follow(columnOf, width);
        changed = true;
    }
    if (step.ended) {
        m_endedBecause = step.problem;
        if (m_host != nullptr)
            m_host->KillPlayTimer();
        changed = true;
    }
    if (m_host != nullptr && step.lineColumn != oldColumn) {
        // One stretch from the old line to the new: one paint.
        const int32_t from = oldColumn >= 0 ? oldColumn : step.lineColumn;
        const int32_t to = step.lineColumn >= 0 ? step.lineColumn : oldColumn;
        m_host->RequestPaintColumns(std::min(from, to), std::max(from, to));
    }
    return changed;
}

bool Playback::Click(int32_t x)
{
    m_clickedFrame = m_lookingBack.FrameAt(x);
    m_clickedColumn = x;
    return Playing() && (m_playingModel || m_clickedFrame >= 0);
}

void Playback::ForgetClick()
{
    m_clickedFrame = -1;
    m_clickedColumn = -1;
}

void Playback::Draw(const Canvas& canvas)
{
    // The line crosses the lane whose sound plays.
    const PixelImage lane = m_playingModel && m_lanes.HasModel() ? canvas.ModelLane() : canvas.SessionLane();
    DrawPlayLine(lane.pixels, static_cast<int>(lane.stride), lane.width, lane.height, m_replay->LineColumn());
}

}  // namespace vocalume
