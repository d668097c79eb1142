#include "looking_back.h"

#include <algorithm>

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
    const int64_t newest =
        m_session.FrameOf(m_framer.m_frameCounter - 1 -
                          FramesBehindNewest(width - 1, width,
                                             BufferLead(m_framer.m_framesPerBuffer, m_framer.m_lowLatency)));
    // Zoomed out, the last frame of the last whole column up to it.
    return ColumnOfFrame(newest + 1, Zoom()) * Zoom() - 1;
}

int64_t LookingBack::FrameAt(int32_t x) const
{
    const int32_t width = m_surface.Width();
    if (x < 0 || x >= width)
        return -1;
    // The live picture's left-most column is never painted.
    if (!Active() && x == 0)
        return -1;
    const int32_t zoom = Zoom();
    const int64_t first = (ColumnOfFrame(RightFrame(), zoom) - (width - 1 - x)) * zoom;
    int64_t from = std::max(first, m_session.FirstFrame());
    // A ring reset cleared the live picture: it shows no frame from before
    // it, nor a pitch line over them; nor does the live picture as it stood.
    if (!Active() || m_showingLive)
        from = std::max(from, m_session.EraFirstFrame());
    const int64_t to = std::min(first + zoom, m_session.EndFrame()) - 1;
    if (from > to)
        return -1;
    return std::clamp(first + zoom / 2, from, to);
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
    return DrawnIf(m_position.Move(key, Span(), FirstShown(), LiveEnd()));
}

bool LookingBack::Wheel(int notches)
{
    Enter();
    return DrawnIf(m_position.Wheel(notches, Span(), FirstShown(), LiveEnd()));
}

bool LookingBack::ScrollTo(int64_t leftFrame)
{
    Enter();
    const int64_t first = FirstShown();
    return DrawnIf(m_position.ScrollTo(first + leftFrame, Span(), first, LiveEnd()));
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
    m_position.Move(ViewKey::Home, Span(), FirstShown(), LiveEnd());
    Draw();
}

void LookingBack::LivePictureCleared()
{
    if (!m_noLivePicture)
        m_position.Leave();
}

void LookingBack::Rezoomed(bool atLiveEnd)
{
    m_liveSnapshot.clear();
    m_snapshotWidth = m_snapshotHeight = -1;
    if (!Active())
        return;
    m_position.MoveTo(atLiveEnd ? LiveEnd() : m_position.RightFrame(), Span(), FirstShown(), LiveEnd());
    Draw();
}

void LookingBack::ShowScrollBar(ViewHost& host, bool canLookBack) const
{
    // In frames, whatever the zoom.
    const int64_t span = Span();
    const int64_t first = FirstShown();
    const int64_t liveEnd = LiveEnd();
    const bool shown = canLookBack && liveEnd + 1 - first > span;
    host.ShowScrollBar(shown, RightFrame() - span + 1 - first, span, liveEnd + 1 - first);
}

}  // namespace vocalume
