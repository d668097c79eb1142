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
    // Capitals and a few signs, for the coach's panel.
    {'A', {0b010, 0b101, 0b111, 0b101, 0b101}}, {'B', {0b110, 0b101, 0b110, 0b101, 0b110}},
    {'D', {0b110, 0b101, 0b101, 0b101, 0b110}}, {'E', {0b111, 0b100, 0b110, 0b100, 0b111}},
    {'F', {0b111, 0b100, 0b110, 0b100, 0b100}}, {'G', {0b011, 0b100, 0b101, 0b101, 0b011}},
    {'H', {0b101, 0b101, 0b111, 0b101, 0b101}}, {'I', {0b111, 0b010, 0b010, 0b010, 0b111}},
    {'J', {0b001, 0b001, 0b001, 0b101, 0b010}}, {'K', {0b101, 0b101, 0b110, 0b101, 0b101}},
    {'L', {0b100, 0b100, 0b100, 0b100, 0b111}}, {'M', {0b101, 0b111, 0b111, 0b101, 0b101}},
    {'N', {0b110, 0b101, 0b101, 0b101, 0b101}}, {'O', {0b010, 0b101, 0b101, 0b101, 0b010}},
    {'P', {0b110, 0b101, 0b110, 0b100, 0b100}}, {'Q', {0b010, 0b101, 0b101, 0b110, 0b011}},
    {'R', {0b110, 0b101, 0b110, 0b101, 0b101}}, {'S', {0b011, 0b100, 0b010, 0b001, 0b110}},
    {'T', {0b111, 0b010, 0b010, 0b010, 0b010}}, {'U', {0b101, 0b101, 0b101, 0b101, 0b111}},
    {'V', {0b101, 0b101, 0b101, 0b101, 0b010}}, {'W', {0b101, 0b101, 0b111, 0b111, 0b101}},
    {'X', {0b101, 0b101, 0b010, 0b101, 0b101}}, {'Y', {0b101, 0b101, 0b010, 0b010, 0b010}},
    {'Z', {0b111, 0b001, 0b010, 0b100, 0b111}}, {'.', {0b000, 0b000, 0b000, 0b000, 0b010}},
    {'%', {0b101, 0b001, 0b010, 0b100, 0b101}}, {'+', {0b000, 0b010, 0b111, 0b010, 0b000}},
    {'-', {0b000, 0b000, 0b111, 0b000, 0b000}}, {':', {0b000, 0b010, 0b000, 0b010, 0b000}},
    // The sharp of a target note's label.
    {'#', {0b101, 0b111, 0b101, 0b111, 0b101}},
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

int32_t TinyTextWidth(std::string_view text, int32_t scale)
{
    return text.empty() ? 0 : (static_cast<int32_t>(text.size()) * (kTinyGlyphWidth + 1) - 1) * scale;
}

void DrawTinyText(PixelImage image, int32_t x, int32_t y, std::string_view text, Rgb ink, Rgb edge, int32_t scale)
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
                    // Each lit pixel is a square of scale by scale, ringed by
                    // the edge one pixel wide.
                    const int32_t px = left + col * scale, py = y + row * scale;
                    const int32_t ring = pass == 1 ? 0 : 1;
                    for (int32_t dy = -ring; dy < scale + ring; ++dy)
                        for (int32_t dx = -ring; dx < scale + ring; ++dx)
                            image.Set(px + dx, py + dy, pass == 1 ? ink : edge);
                }
            left += (kTinyGlyphWidth + 1) * scale;
        }
    }
}

}  // namespace vocalume
