// Where the main frame opens and what it leaves behind when it closes,
// kept in the "position" section of the settings store. Free of the toolkit
// so that the rules can be tested against an in-memory store.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "settings_store.h"

namespace vocalume {

enum class FrameShowState { Normal, Maximised, Minimised };

// The frame's outer rectangle in screen pixels.
struct FrameRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FrameRect&) const = default;
};

// Outer size of a frame with no stored rectangle, or with a stored size of
// zero or less.
inline constexpr int kDefaultFrameWidth = 700;
inline constexpr int kDefaultFrameHeight = 500;

// The displays a frame can be placed on: the work area of each (the screen
// less panels and docks) and which one is the primary display.
struct DisplayLayout {
    std::vector<FrameRect> workAreas;
    size_t primary = 0;
};

// The rectangle to move a new frame to, or none when it should open where the
// window system puts a new window. A frame saved maximised opens at that
// default place, not maximised; a stored rectangle is read as it stands and
// goes through FitToDisplays before it is applied.
std::optional<FrameRect> LoadPlacement(SettingsStore& store);

// Where a frame stored at `stored` opens on `displays`. A rectangle that
// makes sense is kept exactly, even partly off the screen. A width or height
// of zero or less takes the default; a size larger than the work area of the
// display the frame lies on most is cut to it and moved onto it; a frame of
// which too little would show on every display (a damaged or hand-edited
// file, a display since removed) is centred on the primary display. With no
// display known the rectangle is only given a usable size.
FrameRect FitToDisplays(FrameRect stored, const DisplayLayout& displays);

// The size of the first frame (no stored rectangle): the default, or at most
// nine tenths of the primary display's work area each way where that is
// smaller (a small or scaled screen), so that the window manager's frame
// around it still fits.
FrameRect FirstFrameSize(const DisplayLayout& displays);

// Whether the frame was left maximised (it then opens maximised, its normal
// rectangle the one stored before). False for a store that never held one.
bool LoadMaximised(SettingsStore& store);

// Records how the frame is left: a minimised frame writes nothing, a
// maximised one only "maximised" = 1 (the earlier rectangle stays), a normal
// one "maximised" = 0 and its rectangle.
void SavePlacement(SettingsStore& store, FrameShowState state, const FrameRect& rect);

}  // namespace vocalume
