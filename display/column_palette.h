// The colours the three bands are shown in. The standard palette lights the
// low band red, the middle green and the high blue; the colour-blind-safe one
// shows them as orange-red, sky blue and bluish purple, three hues that
// stay apart for people who lack the red, the green or the blue cones.
// Brightness is kept: the brightest channel of a column is the same in both.
//
// Plain functions over values; callable from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "column_colour.h"

namespace vocalume {

// Stored as the integer of the "palette" setting.
enum class Palette : int32_t {
    Standard = 0,
    ColourBlind = 1,
};

// The palette a stored "palette" value names; anything unknown is Standard,
// so a damaged or future setting never leaves the picture uncoloured.
Palette PaletteFromSetting(int32_t value);

// Names used on the render tool's command line: "standard", "colour-blind".
std::string_view PaletteName(Palette palette);
std::optional<Palette> PaletteNamed(std::string_view name);

// Shows band intensities (low band in `red`, middle in `green`, high in
// `blue`, as ColumnColour gives them) in `palette`. Standard returns them
// unchanged.
ColumnRgb PaletteColour(Palette palette, const ColumnRgb& bands);

}  // namespace vocalume
