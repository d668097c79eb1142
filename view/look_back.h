// Where the picture stands while the user looks back through the session, and
// how the keys, the wheel and the scroll bar move it. Positions are session
// frame numbers of the right-most column; the live end is the frame the live
// picture showed there when recording paused.
//
// Plain arithmetic; user-interface thread.
#pragma once

#include <cstdint>
#include <string>

namespace vocalume {

enum class ViewKey { Left, Right, PageUp, PageDown, Home, End };

class LookBack {
public:
    bool Active() const { return m_active; }
    // Starts looking back from the live end.
    void Enter(int64_t liveEnd);
    void Leave() { m_active = false; }
    int64_t RightFrame() const { return m_right; }

    // Moves by a key (arrows a tenth of the window, pages a window, Home and
    // End to the session's start and end) for a picture spanning `span`
    // frames (its width times the frames a column) over the session frames
    // [first, liveEnd]. True when the position moved.
    bool Move(ViewKey key, int64_t span, int64_t first, int64_t liveEnd);
    // Wheel notches: positive goes back in time, a tenth of the window each.
    bool Wheel(int notches, int64_t span, int64_t first, int64_t liveEnd);
    // The scroll bar's thumb was dragged: `leftFrame` is the frame wanted at
    // the left edge.
    bool ScrollTo(int64_t leftFrame, int64_t span, int64_t first, int64_t liveEnd);
    // Stays as near `right` as the bounds allow (the picture changed zoom).
    bool MoveTo(int64_t right, int64_t span, int64_t first, int64_t liveEnd)
    {
        return SetRight(right, span, first, liveEnd);
    }

private:
    bool SetRight(int64_t right, int64_t span, int64_t first, int64_t liveEnd);
    bool m_active = false;
    int64_t m_right = 0;
};

// "1:05.3": minutes, seconds and tenths; "1:05" without the tenths.
std::string FormatSessionTime(double seconds, bool tenths = true);

}  // namespace vocalume
