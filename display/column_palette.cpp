#include "column_palette.h"

namespace vocalume {
namespace {

struct Hue {
    double red;
    double green;
    double blue;
};

// Each hue has a full-strength channel, so a single band keeps its
// brightness. Chosen so that the three bands and their pairwise mixes stay
// far apart under simulated protanopia, deuteranopia and tritanopia, where
// red against green (or blue against green) all but vanishes.
constexpr Hue kColourBlindLow{255.0 / 255.0, 48.0 / 255.0, 0.0};
constexpr Hue kColourBlindMiddle{96.0 / 255.0, 235.0 / 255.0, 1.0};
constexpr Hue kColourBlindHigh{136.0 / 255.0, 48.0 / 255.0, 1.0};

}  // namespace

Palette PaletteFromSetting(int32_t value)
{
    return value == static_cast<int32_t>(Palette::ColourBlind) ? Palette::ColourBlind : Palette::Standard;
}

std::string_view PaletteName(Palette palette)
{
    return palette == Palette::ColourBlind ? "colour-blind" : "standard";
}

std::optional<Palette> PaletteNamed(std::string_view name)
{
    if (name == "standard")
        return Palette::Standard;
    if (name == "colour-blind")
        return Palette::ColourBlind;
    return std::nullopt;
}

ColumnRgb PaletteColour(Palette palette, const ColumnRgb& bands)
{
    if (palette == Palette::Standard)
        return bands;

    const Hue& lo = kColourBlindLow;
    const Hue& mid = kColourBlindMiddle;
    const Hue& hi = kColourBlindHigh;
    ColumnRgb mixed;
    mixed.red = bands.red * lo.red + bands.green * mid.red + bands.blue * hi.red;
    mixed.green = bands.red * lo.green + bands.green * mid.green + bands.blue * hi.green;
    mixed.blue = bands.red * lo.blue + bands.green * mid.blue + bands.blue * hi.blue;

    // The brightest channel shows the frame's brightness, exactly as in the
    // standard palette, however the hues add up.
    const double wanted = Max3(bands.red, bands.green, bands.blue);
    const double got = Max3(mixed.red, mixed.green, mixed.blue);
    if (!(got > 0.0) || !(wanted > 0.0))
        return ColumnRgb{};
    const double scale = wanted / got;
    double* brightest = got == mixed.blue ? &mixed.blue : got == mixed.green ? &mixed.green : &mixed.red;
    mixed.red *= scale;
    mixed.green *= scale;
    mixed.blue *= scale;
    *brightest = wanted;
    return mixed;
}

}  // namespace vocalume
