// Where the main frame opens and what it leaves behind when it closes,
// kept in the "position" section of the settings store. Free of the toolkit
// so that the rules can be tested against an in-memory store.
#pragma once

#include <optional>

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

// The rectangle to move a new frame to, or none when it should open where the
// window system puts a new window. A frame saved maximised opens at that
// default place, not maximised; a stored rectangle is applied as it stands.
std::optional<FrameRect> LoadPlacement(SettingsStore& store);

// Records how the frame is left: a minimised frame writes nothing, a
// maximised one only "maximised" = 1 (the earlier rectangle stays), a normal
// one "maximised" = 0 and its rectangle.
void SavePlacement(SettingsStore& store, FrameShowState state, const FrameRect& rect);

}  // namespace vocalume
