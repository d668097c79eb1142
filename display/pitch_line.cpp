#include "pitch_line.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "column_painter.h"
#include "tiny_font.h"

namespace vocalume {
namespace {

constexpr Rgb kLineColour{255, 255, 255};
constexpr Rgb kEdgeColour{0, 0, 0};
constexpr Rgb kGuideColour{255, 255, 255};
constexpr int32_t kGuideShare = 48;  // in 256ths: faint
constexpr Rgb kTargetColour{255, 214, 0};
constexpr int32_t kTargetBandShare = 40;  // in 256ths: the picture's colours still read through
// C2 and the octaves above it; those outside the mapped range are left out.
constexpr double kC2Hz = 65.40639132514966;
constexpr int32_t kFirstOctave = 2;
constexpr int32_t kLastOctave = 6;
// The largest step between neighbouring columns, in octaves, that the line
// joins: a minor third.
constexpr double kLargestJoinedStep = 0.25;

// The line's pieces over the top `h` rows of `image`, in `colour`.
void DrawLineOnly(PixelImage image, int32_t h, const PitchEstimate* columns, Rgb colour)
{
    // The dark edge of every piece first, then the core, so that a
    // neighbour's edge never cuts into the line.
    for (int pass = 0; pass < 2; ++pass) {
        int32_t previous = -1;
        float previousHz = 0.0f;
        for (int32_t x = 0; x < image.width; ++x) {
            const PitchEstimate& e = columns[x];
            if (!e.voiced || !(e.f0Hz > 0.0f)) {
                previous = -1;
                continue;
            }
            const int32_t y = PitchLineRow(e.f0Hz, h);
            // Joined to the column before, so that fast changes stay one
            // line; but no voice moves by more than a few semitones within a
            // frame, so a bigger step (the tracker settling on another
            // octave) starts a new piece instead of a bar across the picture.
            if (previous >= 0 && std::abs(std::log2(e.f0Hz / previousHz)) > kLargestJoinedStep)
                previous = -1;
            previousHz = e.f0Hz;
            const int32_t top = previous < 0 ? y : std::min(y, previous);
            const int32_t bottom = std::min((previous < 0 ? y : std::max(y, previous)) + 1, h - 1);
            previous = y;
            if (pass == 0) {
                for (int32_t dx = -1; dx <= 1; ++dx)
                    for (int32_t row = top - 1; row <= bottom + 1; ++row)
                        if (row < h)
                            image.Set(x + dx, row, kEdgeColour);
            } else {
                for (int32_t row = top; row <= bottom; ++row)
                    image.Set(x, row, colour);
            }
        }
    }
}

}  // namespace

int32_t PitchLineRow(double hz, int32_t height)
{
    if (height <= 0)
        return 0;
    const double share = std::log(hz / kPitchLineLowHz) / std::log(kPitchLineHighHz / kPitchLineLowHz);
    const double row = (1.0 - share) * (height - 1);
    if (!(row > 0.0))
        return 0;
    return std::min(static_cast<int32_t>(std::lround(row)), height - 1);
}

void DrawPitchLine(PixelImage image, const PitchEstimate* columns)
{
    const int32_t h = std::min(image.height, kMaxColumnHeight);
    if (image.width <= 0 || h <= 0)
        return;

    const int32_t labelWidth = TinyTextWidth("C4");
    for (int32_t octave = kFirstOctave; octave <= kLastOctave; ++octave) {
        const double hz = kC2Hz * std::pow(2.0, octave - kFirstOctave);
        if (hz < kPitchLineLowHz || hz > kPitchLineHighHz)
            continue;
        const int32_t y = PitchLineRow(hz, h);
        for (int32_t x = 0; x < image.width; ++x)
            image.Blend(x, y, kGuideColour, kGuideShare);
    }

    DrawLineOnly(image, h, columns, kLineColour);

    for (int32_t octave = kFirstOctave; octave <= kLastOctave; ++octave) {
        const double hz = kC2Hz * std::pow(2.0, octave - kFirstOctave);
        if (hz < kPitchLineLowHz || hz > kPitchLineHighHz)
            continue;
        const int32_t y = PitchLineRow(hz, h);
        const char label[2] = {'C', static_cast<char>('0' + octave)};
        DrawTinyText(image, image.width - labelWidth - 2, std::max(y - kTinyGlyphHeight - 1, 1),
                     std::string_view(label, 2),
                     kLineColour, kEdgeColour);
    }
}

void DrawPitchLineOnly(PixelImage image, const PitchEstimate* columns, Rgb colour)
{
    const int32_t h = std::min(image.height, kMaxColumnHeight);
    if (image.width > 0 && h > 0)
        DrawLineOnly(image, h, columns, colour);
}

void DrawPitchTarget(PixelImage image, double hz, double toleranceCents, std::string_view label)
{
    const int32_t h = std::min(image.height, kMaxColumnHeight);
    if (image.width <= 0 || h <= 0 || !(hz > 0.0))
        return;
    const double spread = std::exp2(toleranceCents / 1200.0);
    const int32_t y = PitchLineRow(hz, h);
    // Rows are higher for higher notes, so the band's top is its sharp end.
    const int32_t top = PitchLineRow(hz * spread, h);
    const int32_t bottom = PitchLineRow(hz / spread, h);
    for (int32_t row = top; row <= bottom; ++row) {
        if (row == y)
            continue;
        for (int32_t x = 0; x < image.width; ++x)
            image.Blend(x, row, kTargetColour, kTargetBandShare);
    }
    for (int32_t x = 0; x < image.width; ++x)
        image.Set(x, y, kTargetColour);
    DrawTinyText(image, 2, std::max(y - kTinyGlyphHeight - 1, 1), label, kTargetColour, kEdgeColour);
}

void DrawPitchLine(ColumnSurface& surface, const PitchEstimate* columns)
{
    DrawPitchLine(PixelImage{surface.MutablePixels(), surface.Width(), surface.Height(), surface.Stride()},
                  columns);
}

}  // namespace vocalume
