#include "tiny_font.h"

namespace vocalume {
namespace {

// Rows from the top, the glyph's left column in bit 2.
struct Glyph {
    char character;
    uint8_t rows[kTinyGlyphHeight];
};

constexpr Glyph kGlyphs[] = {
    {'C', {0b011, 0b100, 0b100, 0b100, 0b011}}, {'0', {0b111, 0b101, 0b101, 0b101, 0b111}},
    {'1', {0b010, 0b110, 0b010, 0b010, 0b111}}, {'2', {0b110, 0b001, 0b010, 0b100, 0b111}},
    {'3', {0b110, 0b001, 0b010, 0b001, 0b110}}, {'4', {0b101, 0b101, 0b111, 0b001, 0b001}},
    {'5', {0b111, 0b100, 0b110, 0b001, 0b110}}, {'6', {0b011, 0b100, 0b111, 0b101, 0b111}},
    {'7', {0b111, 0b001, 0b010, 0b010, 0b010}}, {'8', {0b111, 0b101, 0b111, 0b101, 0b111}},
    {'9', {0b111, 0b101, 0b111, 0b001, 0b110}},
};

const Glyph* Find(char c)
{
    for (const Glyph& g : kGlyphs)
        if (g.character == c)
            return &g;
    return nullptr;
}

bool Lit(const Glyph& g, int32_t col, int32_t row)
{
    if (col < 0 || row < 0 || col >= kTinyGlyphWidth || row >= kTinyGlyphHeight)
        return false;
    return ((g.rows[row] >> (kTinyGlyphWidth - 1 - col)) & 1) != 0;
}

}  // namespace

int32_t TinyTextWidth(std::string_view text)
{
    return text.empty() ? 0 : static_cast<int32_t>(text.size()) * (kTinyGlyphWidth + 1) - 1;
}

void DrawTinyText(PixelImage image, int32_t x, int32_t y, std::string_view text, Rgb ink, Rgb edge)
{
    // The edge first, everywhere a lit pixel has a neighbour; then the ink.
    for (int pass = 0; pass < 2; ++pass) {
        int32_t left = x;
        for (char c : text) {
            const Glyph* g = Find(c);
            for (int32_t row = 0; g != nullptr && row < kTinyGlyphHeight; ++row)
                for (int32_t col = 0; col < kTinyGlyphWidth; ++col) {
                    if (!Lit(*g, col, row))
                        continue;
                    if (pass == 1) {
                        image.Set(left + col, y + row, ink);
                        continue;
                    }
                    for (int32_t dy = -1; dy <= 1; ++dy)
                        for (int32_t dx = -1; dx <= 1; ++dx)
                            image.Set(left + col + dx, y + row + dy, edge);
                }
            left += kTinyGlyphWidth + 1;
        }
    }
}

}  // namespace vocalume
