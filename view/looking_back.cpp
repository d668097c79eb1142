#include "looking_back.h"

#include "column_painter.h"
#include "session_picture.h"

namespace vocalume {

LookingBack::LookingBack(const SessionHistory& session, ColumnSurface& surface, const Framer& framer,
                         const ViewSettings& settings)
    : m_session(session), m_surface(surface), m_framer(framer), m_settings(settings)
{}

int64_t LookingBack::LiveEnd() const
{
    if (m_noLivePicture)
        return m_session.EndFrame() - 1;
    const int32_t width = m_surface.Width();
    return m_session.FrameOf(m_framer.m_frameCounter - 1 -
                             FramesBehindNewest(width - 1, width, m_framer.m_framesPerBuffer));
}

int64_t LookingBack::FrameAt(int32_t x) const
{
    const int32_t width = m_surface.Width();
    if (x < 0 || x >= width)
        return -1;
    int64_t frame = 0;
    if (Active()) {
        frame = m_position.RightFrame() - (width - 1 - x);
        // The live picture as it stood shows no frame from before a ring
        // reset that cleared it.
        if (m_showingLive && frame < m_session.EraFirstFrame())
            return -1;
    } else {
        // The live picture's left-most column is never painted.
        if (x == 0)
            return -1;
        frame =
            m_session.FrameOf(m_framer.m_frameCounter - 1 - FramesBehindNewest(x, width, m_framer.m_framesPerBuffer));
        // A ring reset cleared the live picture: it shows no frame from
        // before it, nor a pitch line over them.
        if (frame < m_session.EraFirstFrame())
            return -1;
    }
    return m_session.HasFrame(frame) ? frame : -1;
}

void LookingBack::Enter()
{
    if (Active())
        return;
    m_liveSnapshot.assign(m_surface.Pixels(), m_surface.Pixels() + m_surface.Stride() * m_surface.Height());
    m_snapshotWidth = m_surface.Width();
    m_snapshotHeight = m_surface.Height();
    m_showingLive = true;
    m_position.Enter(LiveEnd());
}

bool LookingBack::Move(ViewKey key)
{
    Enter();
    return DrawnIf(m_position.Move(key, m_surface.Width(), m_session.FirstFrame(), LiveEnd()));
}

bool LookingBack::Wheel(int notches)
{
    Enter();
    return DrawnIf(m_position.Wheel(notches, m_surface.Width(), m_session.FirstFrame(), LiveEnd()));
}

bool LookingBack::ScrollTo(int64_t leftFrame)
{
    Enter();
    const int64_t first = m_session.FirstFrame();
    return DrawnIf(m_position.ScrollTo(first + leftFrame, m_surface.Width(), first, LiveEnd()));
}

bool LookingBack::DrawnIf(bool moved)
{
    if (moved)
        Draw();
    return moved;
}

void LookingBack::Draw()
{
    const int64_t right = m_position.RightFrame();
    m_showingLive = right == LiveEnd() && m_surface.Restore(m_snapshotWidth, m_snapshotHeight, m_liveSnapshot);
    if (m_showingLive)
        return;
    DrawSessionPicture(m_session, right, m_settings.Style(), m_surface);
}

void LookingBack::ShowAdopted()
{
    m_noLivePicture = true;
    m_liveSnapshot.clear();
    m_snapshotWidth = m_snapshotHeight = -1;
    m_position.Enter(LiveEnd());
    m_position.Move(ViewKey::Home, m_surface.Width(), m_session.FirstFrame(), LiveEnd());
    Draw();
}

void LookingBack::LivePictureCleared()
{
    if (!m_noLivePicture)
        m_position.Leave();
}

void LookingBack::ShowScrollBar(ViewHost& host, bool canLookBack) const
{
    const int32_t width = m_surface.Width();
    const int64_t first = m_session.FirstFrame();
    const int64_t liveEnd = LiveEnd();
    const bool shown = canLookBack && liveEnd + 1 - first > width;
    host.ShowScrollBar(shown, RightFrame() - width + 1 - first, width, liveEnd + 1 - first);
}

}  // namespace vocalume
