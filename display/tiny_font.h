// A tiny built-in bitmap font (3 x 5 pixels a glyph) for labels drawn into
// the picture itself, so that the program and the render tool show the same
// labels without a font library. Holds the letters and digits of note names.
#pragma once

#include <cstdint>
#include <string_view>

#include "pixel_image.h"

namespace vocalume {

inline constexpr int32_t kTinyGlyphWidth = 3;
inline constexpr int32_t kTinyGlyphHeight = 5;

// Width in pixels of `text` drawn with one pixel between glyphs.
int32_t TinyTextWidth(std::string_view text);

// Draws `text` with its top left at (x, y) in `ink`, each lit pixel ringed by
// `edge` so that it reads on any colour. Characters the font lacks are left
// blank.
void DrawTinyText(PixelImage image, int32_t x, int32_t y, std::string_view text, Rgb ink, Rgb edge);

}  // namespace vocalume
