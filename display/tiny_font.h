// A tiny built-in bitmap font (3 x 5 pixels a glyph) for labels drawn into
// the picture itself, so that the program and the render tool show the same
// labels without a font library. Holds the digits, the capitals and a few
// signs (. % + - : #).
#pragma once

#include <cstdint>
#include <string_view>

#include "pixel_image.h"

namespace vocalume {

inline constexpr int32_t kTinyGlyphWidth = 3;
inline constexpr int32_t kTinyGlyphHeight = 5;

// Width in pixels of `text` drawn with one pixel between glyphs, every
// pixel of a glyph `scale` pixels square.
int32_t TinyTextWidth(std::string_view text, int32_t scale = 1);

// Draws `text` with its top left at (x, y) in `ink`, each lit pixel ringed by
// `edge` so that it reads on any colour, every pixel of a glyph `scale`
// pixels square. Characters the font lacks are left blank.
void DrawTinyText(PixelImage image, int32_t x, int32_t y, std::string_view text, Rgb ink, Rgb edge,
                  int32_t scale = 1);

}  // namespace vocalume
