// The colour-blind-safe colours: the three bands and their pairwise mixes must
// stay far apart for people without red, green or blue cones, judged by
// simulating their vision (Machado, Oliveira and Fernandes 2009, full
// severity, in linear RGB) and measuring CIE DE2000 differences under D65.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "column_palette.h"

namespace vocalume {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;
using Lab = std::array<double, 3>;

constexpr Matrix kNormal{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
constexpr Matrix kProtanopia{{{0.152286, 1.052583, -0.204868},
                              {0.114503, 0.786281, 0.099216},
                              {-0.003882, -0.048116, 1.051998}}};
constexpr Matrix kDeuteranopia{{{0.367322, 0.860646, -0.227968},
                                {0.280085, 0.672501, 0.047413},
                                {-0.011820, 0.042940, 0.968881}}};
constexpr Matrix kTritanopia{{{1.255528, -0.076749, -0.178779},
                              {-0.078411, 0.930809, 0.147602},
                              {0.004733, 0.691367, 0.303900}}};

double Linear(double byte)
{
    const double c = byte / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The colour as seen with `vision`, in CIE L*a*b* (D65 white).
Lab Seen(const ColumnRgb& rgb, const Matrix& vision)
{
    const double in[3] = {Linear(rgb.red), Linear(rgb.green), Linear(rgb.blue)};
    double c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = std::clamp(vision[i][0] * in[0] + vision[i][1] * in[1] + vision[i][2] * in[2], 0.0, 1.0);
    const double x = (0.4124564 * c[0] + 0.3575761 * c[1] + 0.1804375 * c[2]) / 0.95047;
    const double y = 0.2126729 * c[0] + 0.7151522 * c[1] + 0.0721750 * c[2];
    const double z = (0.0193339 * c[0] + 0.1191920 * c[1] + 0.9503041 * c[2]) / 1.08883;
    auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
    return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

double Degrees(double radians) { return radians * 180.0 / std::numbers::pi; }
double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

double DeltaE2000(const Lab& p, const Lab& q)
{
    const double c7 = std::pow((std::hypot(p[1], p[2]) + std::hypot(q[1], q[2])) / 2.0, 7.0);
    const double g = 0.5 * (1.0 - std::sqrt(c7 / (c7 + std::pow(25.0, 7.0))));
    const double a1 = (1.0 + g) * p[1], a2 = (1.0 + g) * q[1];
    const double c1 = std::hypot(a1, p[2]), c2 = std::hypot(a2, q[2]);
    auto hue = [](double b, double a) { return a == 0.0 && b == 0.0 ? 0.0 : std::fmod(Degrees(std::atan2(b, a)) + 360.0, 360.0); };
    const double h1 = hue(p[2], a1), h2 = hue(q[2], a2);
    double dh = 0.0;
    if (c1 * c2 != 0.0) {
        dh = h2 - h1;
        dh += dh > 180.0 ? -360.0 : dh < -180.0 ? 360.0 : 0.0;
    }
    const double dL = q[0] - p[0], dC = c2 - c1;
    const double dH = 2.0 * std::sqrt(c1 * c2) * std::sin(Radians(dh / 2.0));
    const double lMean = (p[0] + q[0]) / 2.0, cMean = (c1 + c2) / 2.0;
    double hMean = h1 + h2;
    if (c1 * c2 != 0.0)
        hMean = std::abs(h1 - h2) <= 180.0 ? hMean / 2.0 : (hMean < 360.0 ? (hMean + 360.0) / 2.0 : (hMean - 360.0) / 2.0);
    const double t = 1.0 - 0.17 * std::cos(Radians(hMean - 30.0)) + 0.24 * std::cos(Radians(2.0 * hMean)) +
                     0.32 * std::cos(Radians(3.0 * hMean + 6.0)) - 0.20 * std::cos(Radians(4.0 * hMean - 63.0));
    const double cm7 = std::pow(cMean, 7.0);
    const double rc = 2.0 * std::sqrt(cm7 / (cm7 + std::pow(25.0, 7.0)));
    const double rt = -std::sin(Radians(60.0 * std::exp(-std::pow((hMean - 275.0) / 25.0, 2.0)))) * rc;
    const double sl = 1.0 + 0.015 * (lMean - 50.0) * (lMean - 50.0) / std::sqrt(20.0 + (lMean - 50.0) * (lMean - 50.0));
    const double sc = 1.0 + 0.045 * cMean, sh = 1.0 + 0.015 * cMean * t;
    return std::sqrt(std::pow(dL / sl, 2.0) + std::pow(dC / sc, 2.0) + std::pow(dH / sh, 2.0) +
                     rt * (dC / sc) * (dH / sh));
}

// Full-strength band levels: the three bands alone and each pair in equal parts.
const std::vector<ColumnRgb> kBandMixes{{255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                        {255, 255, 0}, {255, 0, 255}, {0, 255, 255}};

// The closest two of the six colours `palette` shows, as seen with `vision`.
double ClosestPair(Palette palette, const Matrix& vision)
{
    std::vector<Lab> seen;
    for (const ColumnRgb& bands : kBandMixes)
        seen.push_back(Seen(PaletteColour(palette, bands), vision));
    double closest = 1e9;
    for (size_t i = 0; i < seen.size(); ++i)
        for (size_t j = i + 1; j < seen.size(); ++j)
            closest = std::min(closest, DeltaE2000(seen[i], seen[j]));
    return closest;
}

TEST(PaletteTest, DifferenceFormulaMatchesPublishedPairs)
{
    // Pairs 1 and 17 of the reference data for the DE2000 formula.
    EXPECT_NEAR(DeltaE2000({50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}), 2.0425, 1e-4);
    EXPECT_NEAR(DeltaE2000({50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}), 27.1492, 1e-4);
}

TEST(PaletteTest, ColourBlindSafeBandsStayApartForEveryKindOfColourBlindness)
{
    const double standardNormal = ClosestPair(Palette::Standard, kNormal);
    std::printf("closest pair, DE2000: standard palette, normal vision %.1f\n", standardNormal);
    const struct {
        const char* name;
        const Matrix& vision;
    } kinds[] = {{"normal vision", kNormal}, {"protanopia", kProtanopia},
                 {"deuteranopia", kDeuteranopia}, {"tritanopia", kTritanopia}};
    for (const auto& kind : kinds) {
        const double standard = ClosestPair(Palette::Standard, kind.vision);
        const double safe = ClosestPair(Palette::ColourBlind, kind.vision);
        std::printf("  %-13s standard %5.1f   colour-blind safe %5.1f\n", kind.name, standard, safe);
        // As far apart as the standard colours for normal vision; for the
        // colour-blind about half that, and well beyond what the standard
        // colours leave them.
        if (&kind.vision == &kNormal) {
            EXPECT_GE(safe, 0.95 * standardNormal);
        } else {
            EXPECT_GE(safe, 0.45 * standardNormal) << kind.name;
            EXPECT_GE(safe, 1.4 * standard) << kind.name;
        }
    }
}

TEST(PaletteTest, BrightnessIsKeptAndStandardIsUnchanged)
{
    std::vector<ColumnRgb> cases = kBandMixes;
    cases.push_back({63.75, 20.1, 3.0});
    cases.push_back({0.0, 300.0, 299.0});  // energy above the ceiling
    cases.push_back({0.0, 0.0, 0.0});
    for (const ColumnRgb& bands : cases) {
        const ColumnRgb standard = PaletteColour(Palette::Standard, bands);
        EXPECT_EQ(standard.red, bands.red);
        EXPECT_EQ(standard.green, bands.green);
        EXPECT_EQ(standard.blue, bands.blue);
        const ColumnRgb safe = PaletteColour(Palette::ColourBlind, bands);
        EXPECT_EQ(Max3(safe.red, safe.green, safe.blue), Max3(bands.red, bands.green, bands.blue));
        EXPECT_GE(std::min({safe.red, safe.green, safe.blue}), 0.0);
    }
    EXPECT_EQ(PaletteFromSetting(1), Palette::ColourBlind);
    for (int32_t stored : {0, 2, -1, 255})
        EXPECT_EQ(PaletteFromSetting(stored), Palette::Standard) << stored;
}

}  // namespace
}  // namespace vocalume
