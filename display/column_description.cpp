#include "column_description.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace vocalume {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Colours as stored in a column row: blue, green, red.
constexpr uint8_t kTraceColour[3] = {128, 255, 0};
constexpr uint8_t kMarkerColour[3] = {0, 0, 255};
// What the analysis leaves in a frame whose span held no sample.
constexpr int32_t kEmptySpanMin = 32768;
constexpr int32_t kEmptySpanMax = -32768;
constexpr int32_t kMaxRows = 1024;

// Pixels per beam cycle for a lag of `lag` samples: a pitch of F Hz shows
// F / 60 cycles between the middle row and the edge.
double Period(int32_t lag, int32_t mid, int32_t sampleRate)
{
    const int32_t lagAt60Hz = sampleRate / 60;
    return static_cast<double>(static_cast<int64_t>(mid) * lag) / lagAt60Hz;
}

// Picks the lag the beams follow: the cepstral peak when the two estimators
// agree (or are an octave apart) or the peak stands out, the autocorrelation
// lag when its correlation is high; none (0) otherwise.
int32_t BeamLag(const FrameRecord& r)
{
    const int64_t ceps = r.cepsPeak;
    const int64_t lag = r.acLag;
    const double acPeak = r.acPeak;
    if (std::llabs(ceps - lag) < 10)
        return r.cepsPeak;
    if (r.cepsRatio > 20.0f)
        return r.cepsPeak;
    if (acPeak > 0.8)
        return r.acLag;
    if (std::llabs(ceps - lag / 2) < 10)
        return r.cepsPeak;
    if (r.cepsRatio < 15.0f && acPeak > 0.75)
        return r.acLag;
    return 0;
}

uint8_t ToByte(double v)
{
    if (v > 255.0)
        return 255;
    if (!(v >= 0.0))  // below 0, or NaN
        return 0;
    return static_cast<uint8_t>(v);
}

void SetRow(uint8_t* column, int32_t row, const uint8_t (&bgr)[3])
{
    std::memcpy(column + static_cast<size_t>(row) * 4, bgr, 3);
}

int16_t ToSample(int32_t v) { return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767)); }

}  // namespace

ColumnGeometry GeometryForHeight(int32_t height)
{
    ColumnGeometry g;
    g.h = std::min(height, kMaxRows);
    g.mid = g.h / 2;
    g.t = g.h / 10;
    g.tickLength = g.h / 50;
    return g;
}

int64_t TenthsAt(int64_t index, int32_t hop, int32_t sampleRate)
{
    if (sampleRate <= 0)
        return 0;
    return static_cast<int64_t>(static_cast<double>(index) * hop * 10.0 / sampleRate);
}

ColumnDescription DescribeColumn(const FrameRecord& r, const FrameRecord& newer,
                                 const ColourBands& bands, int32_t dbRange, int32_t hop,
                                 int32_t sampleRate)
{
    ColumnDescription c;
    const ColumnRgb colour = ColumnColour(bands, r, dbRange);
    c.red = colour.red;
    c.green = colour.green;
    c.blue = colour.blue;
    c.acPeak = r.acPeak;
    // With no rate to measure pitch by there are no beams at all.
    c.beamLag = sampleRate / 60 > 0 ? BeamLag(r) : 0;
    // Beams of pitches of about 400 Hz and up, or of a weak voice, are flat.
    const double depth = static_cast<double>(r.acPeak) - 0.7;
    if (r.cepsPeak > sampleRate / 400 && depth > 0.0)
        c.flags |= ColumnDescription::kDeepPitch;
    if (r.minSample == kEmptySpanMin && r.maxSample == kEmptySpanMax)
        c.flags |= ColumnDescription::kNoTrace;
    c.minSample = ToSample(r.minSample);
    c.maxSample = ToSample(r.maxSample);
    if (TenthsAt(r.index, hop, sampleRate) != TenthsAt(newer.index, hop, sampleRate))
        c.flags |= ColumnDescription::kTick;
    if (r.smoothed.load(std::memory_order_acquire) == 1)
        c.flags |= ColumnDescription::kMarker;
    return c;
}

ColumnDescription MergeColumns(const ColumnDescription* frames, int32_t count)
{
    if (count == 1)
        return frames[0];
    ColumnDescription merged;
    merged.flags = ColumnDescription::kNoTrace;
    if (count <= 0)
        return merged;
    // Loudness is what brightness shows: the sum of the base colour.
    int32_t loudest = 0;
    double loudestLevel = 0.0;
    int32_t low = kEmptySpanMin;
    int32_t high = kEmptySpanMax;
    bool tick = false;
    for (int32_t i = 0; i < count; ++i) {
        const ColumnDescription& c = frames[i];
        const double level = c.red + c.green + c.blue;
        if (i == 0 || level > loudestLevel) {
            loudest = i;
            loudestLevel = level;
        }
        if ((c.flags & ColumnDescription::kNoTrace) == 0) {
            low = std::min<int32_t>(low, c.minSample);
            high = std::max<int32_t>(high, c.maxSample);
        }
        tick = tick || (c.flags & ColumnDescription::kTick) != 0;
    }
    merged = frames[loudest];
    merged.flags &= static_cast<uint8_t>(~(ColumnDescription::kTick | ColumnDescription::kNoTrace));
    if (tick)
        merged.flags |= ColumnDescription::kTick;
    if (low <= high) {
        merged.minSample = static_cast<int16_t>(low);
        merged.maxSample = static_cast<int16_t>(high);
    } else {
        merged.flags |= ColumnDescription::kNoTrace;
    }
    return merged;
}

const double* BeamCosines::For(double p, int32_t mid)
{
    if (p != period || mid != rows) {
        for (int32_t i = 0; i <= mid; ++i)
            value[i] = std::cos(kTwoPi * i / p);
        period = p;
        rows = mid;
    }
    return value;
}

void DrawColumnDescription(const ColumnDescription& c, const ColumnGeometry& g,
                           const ColumnStyle& style, BeamCosines& cosines, uint8_t* column)
{
    ColumnRgb colour{c.red, c.green, c.blue};
    if (style.palette != Palette::Standard)
        colour = PaletteColour(style.palette, colour);
    const double p = c.beamLag != 0 ? Period(c.beamLag, g.mid, style.sampleRate) : 1.0;
    const double d = (c.flags & ColumnDescription::kDeepPitch) != 0 && p > 1.0
                         ? static_cast<double>(c.acPeak) - 0.7
                         : 0.0;

    // Without depth the factor is exactly 1; skipping the cosine also keeps a
    // zero period from turning the column black through NaN.
    if (d == 0.0) {
        const uint8_t bgr[3] = {ToByte(colour.blue), ToByte(colour.green), ToByte(colour.red)};
        for (int32_t row = 0; row <= 2 * g.mid; ++row)
            SetRow(column, row, bgr);
    } else {
        const double* cosine = cosines.For(p, g.mid);
        for (int32_t i = 0; i <= g.mid; ++i) {
            const double factor = 1.0 + d * cosine[i];
            const uint8_t bgr[3] = {ToByte(factor * colour.blue), ToByte(factor * colour.green),
                                    ToByte(factor * colour.red)};
            SetRow(column, g.mid - i, bgr);
            SetRow(column, g.mid + i, bgr);
        }
    }

    if (style.showWaveform != 0) {
        const bool empty = (c.flags & ColumnDescription::kNoTrace) != 0;
        const int64_t lo = static_cast<int64_t>(empty ? kEmptySpanMin : c.minSample) * g.t / 65536;
        const int64_t hi = static_cast<int64_t>(empty ? kEmptySpanMax : c.maxSample) * g.t / 65536;
        if (lo <= hi) {
            // Rows outside the column are never shown.
            const int64_t centre = g.h - g.t / 2;
            const int64_t first = std::max<int64_t>(centre + lo, 0);
            const int64_t last = std::min<int64_t>(centre + hi, g.h - 1);
            for (int64_t row = first; row <= last; ++row)
                SetRow(column, static_cast<int32_t>(row), kTraceColour);
        }
    }

    if (style.showTimescale != 0 && (c.flags & ColumnDescription::kTick) != 0) {
        for (int32_t row = 0; row < g.tickLength; ++row)
            SetRow(column, row, kTraceColour);
    }

    if ((c.flags & ColumnDescription::kMarker) != 0)
        SetRow(column, 0, kMarkerColour);
}

}  // namespace vocalume
