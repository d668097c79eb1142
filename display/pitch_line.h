// The pitch line: the tracker's f0 drawn over the picture as a 2-pixel white
// line with a dark edge, so that it reads on any colour, at a height that
// maps log f0 from 50 Hz (bottom row) to about 1131 Hz (top row, four and a
// half octaves up: a bass's low notes to a soprano's top C and a child's
// highest) onto the column height; faint guide lines and small labels mark
// each C at the right edge.
// Unvoiced frames draw nothing. Toolkit-free; used on the thread that owns
// the picture.
#pragma once

#include <cstdint>
#include <string_view>

#include "column_surface.h"
#include "pitch_tracker.h"
#include "pixel_image.h"

namespace vocalume {

inline constexpr double kPitchLineLowHz = 50.0;
inline constexpr double kPitchLineHighHz = 1131.370849898476;  // 50 Hz times 2^4.5

// Row of the picture (0 at the top) for `hz` in a column `height` rows tall,
// clamped to the column.
int32_t PitchLineRow(double hz, int32_t height);

// Draws the guides, the labels and the line over `image`; `columns` holds
// one estimate per pixel column (image.width entries). Columns taller than
// the painter draws use its height.
void DrawPitchLine(PixelImage image, const PitchEstimate* columns);

// The line alone, in `colour`, with its dark edge but no guides or labels:
// a second melody over a lane that may show the first.
void DrawPitchLineOnly(PixelImage image, const PitchEstimate* columns, Rgb colour);

// A note to aim at on the same scale: a yellow line at `hz`, in a faint
// yellow band from `toleranceCents` below it to as far above, and `label`
// (the note's name) at the left edge. Drawn before the line, so that the
// voice's line crosses it.
void DrawPitchTarget(PixelImage image, double hz, double toleranceCents, std::string_view label);

// The same over the whole of a retained surface.
void DrawPitchLine(ColumnSurface& surface, const PitchEstimate* columns);

}  // namespace vocalume
