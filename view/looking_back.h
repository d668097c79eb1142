// Looking back through the session while paused: where the picture stands,
// which session frame each column of the session lane shows (live or looking
// back), the picture drawn again from the kept column descriptions, and the
// live picture kept as it stood when looking back began, so that coming back
// to the live end shows the very pixels shown then.
//
// Threads: user-interface thread only. The session, the retained picture, the
// framer and the settings are the view's and outlive this.
#pragma once

#include <cstdint>
#include <vector>

#include "column_surface.h"
#include "framer.h"
#include "look_back.h"
#include "session_history.h"
#include "view_host.h"
#include "view_settings.h"

namespace vocalume {

class LookingBack {
public:
    LookingBack(const SessionHistory& session, ColumnSurface& surface, const Framer& framer,
                const ViewSettings& settings);

    bool Active() const { return m_position.Active(); }
    // Looking back, and not at the live end (where the picture is the paused
    // one again).
    bool AwayFromLiveEnd() const { return Active() && m_position.RightFrame() != LiveEnd(); }

    // The session frame the live picture shows in its right-most column; the
    // session's last frame when it has no live picture.
    int64_t LiveEnd() const;
    // The session frames in the picture's right-most and left-most columns now.
    int64_t RightFrame() const { return Active() ? m_position.RightFrame() : LiveEnd(); }
    int64_t LeftFrame() const { return RightFrame() - m_surface.Width() + 1; }
    // Columns of the session lane.
    int32_t Width() const { return m_surface.Width(); }
    // The session frame column `x` shows now; -1 for a column that shows none.
    int64_t FrameAt(int32_t x) const;

    // Starts looking back from the live end, keeping the live picture.
    void Enter();
    void Leave() { m_position.Leave(); }
    // Moves by a key (see LookBack), wheel notches or the scroll bar's thumb
    // (`leftFrame` counted from the session's first frame), looking back
    // first. True when the picture moved; it is then drawn anew.
    bool Move(ViewKey key);
    bool Wheel(int notches);
    bool ScrollTo(int64_t leftFrame);
    // Draws the whole picture where it stands.
    void Draw();

    // The session was replaced by an opened one: there is no live picture,
    // and the picture looks back from the session's start.
    void ShowAdopted();
    // Recording begins, or the session starts afresh: looking back ends and
    // the picture is live.
    void BackToLive()
    {
        m_position.Leave();
        m_noLivePicture = false;
    }
    // A ring reset cleared the live picture: there is no live end to look
    // back from. An opened session has none to clear and stays where it was.
    void LivePictureCleared();

    // The scroll bar under the picture, in frames from the session's first:
    // shown while `canLookBack` and the session is longer than the picture.
    void ShowScrollBar(ViewHost& host, bool canLookBack) const;

private:
    // Draws the picture when it `moved`; returns `moved`.
    bool DrawnIf(bool moved);

    const SessionHistory& m_session;
    ColumnSurface& m_surface;
    const Framer& m_framer;
    const ViewSettings& m_settings;
    LookBack m_position;
    // The session was adopted and nothing has been recorded since: there is
    // no live picture, and the session's last frame is its end.
    bool m_noLivePicture = false;
    // Looking back shows the live picture as it stood (from its snapshot, or
    // never drawn anew): its columns show the frames the live picture showed,
    // none from before a ring reset that cleared it.
    bool m_showingLive = false;
    // The live picture as it stood when looking back began.
    std::vector<uint8_t> m_liveSnapshot;
    int32_t m_snapshotWidth = 0;
    int32_t m_snapshotHeight = 0;
};

}  // namespace vocalume
