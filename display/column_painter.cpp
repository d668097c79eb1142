#include "column_painter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "column_colour.h"

namespace vocalume {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Colours as stored in a column row: blue, green, red.
constexpr uint8_t kTraceColour[3] = {128, 255, 0};
constexpr uint8_t kMarkerColour[3] = {0, 0, 255};

struct Geometry {
    int32_t h;           // column height
    int32_t mid;         // centre row of the beams
    int32_t t;           // height of the waveform strip at the top
    int32_t tickLength;  // rows of a time tick at the bottom
    int32_t width;
};

int32_t Modulo(int64_t v, int32_t n)
{
    const int64_t r = v % n;
    return static_cast<int32_t>(r < 0 ? r + n : r);
}

// Pixels per beam cycle for a lag of `lag` samples: a pitch of F Hz shows
// F / 60 cycles between the middle row and the edge.
double Period(int32_t lag, int32_t mid, int32_t sampleRate)
{
    const int32_t lagAt60Hz = sampleRate / 60;
    return static_cast<double>(static_cast<int64_t>(mid) * lag) / lagAt60Hz;
}

// Picks the pitch estimate the beams follow: the cepstral peak when the two
// estimators agree (or an octave apart) or the peak stands out, the
// autocorrelation lag when its correlation is high; no beams otherwise.
double BeamPeriod(const FrameRecord& r, int32_t mid, int32_t sampleRate)
{
    if (sampleRate / 60 <= 0)
        return 1.0;
    const int64_t ceps = r.cepsPeak;
    const int64_t lag = r.acLag;
    const double acPeak = r.acPeak;
    if (std::llabs(ceps - lag) < 10)
        return Period(r.cepsPeak, mid, sampleRate);
    if (r.cepsRatio > 20.0f)
        return Period(r.cepsPeak, mid, sampleRate);
    if (acPeak > 0.8)
        return Period(r.acLag, mid, sampleRate);
    if (std::llabs(ceps - lag / 2) < 10)
        return Period(r.cepsPeak, mid, sampleRate);
    if (r.cepsRatio < 15.0f && acPeak > 0.75)
        return Period(r.acLag, mid, sampleRate);
    return 1.0;
}

// Depth of the beams: the voicing strength above 0.7, none for pitches of
// about 400 Hz and up or without a usable period.
double BeamDepth(const FrameRecord& r, double p, int32_t sampleRate)
{
    const double d = static_cast<double>(r.acPeak) - 0.7;
    if (r.cepsPeak <= sampleRate / 400 || p <= 1.0 || !(d > 0.0))
        return 0.0;
    return d;
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

// Tenths of a second since frame 0, in double so that no product overflows.
int64_t Tenths(const FrameRecord& r, const PaintFields& view)
{
    if (view.m_sampleRate <= 0)
        return 0;
    return static_cast<int64_t>(static_cast<double>(r.index) * view.m_hop * 10.0 / view.m_sampleRate);
}

// cos(2 pi i / p) for i = 0..mid, kept from column to column: neighbouring
// frames mostly share their pitch lag, and so their period.
struct BeamCosines {
    double period = 0.0;
    int32_t rows = -1;
    double value[kMaxColumnHeight / 2 + 1];

    const double* For(double p, int32_t mid)
    {
        if (p != period || mid != rows) {
            for (int32_t i = 0; i <= mid; ++i)
                value[i] = std::cos(kTwoPi * i / p);
            period = p;
            rows = mid;
        }
        return value;
    }
};

// Fills rows 0 to h of the bottom-up column buffer for record `s`.
void FillColumn(const FrameRing& ring, int32_t s, const ColourBands& bands, const PaintFields& view,
                const Geometry& g, BeamCosines& cosines, uint8_t* column)
{
    const FrameRecord& r = ring[s];
    ColumnRgb colour = ColumnColour(bands, r, view.m_dbRange);
    if (view.m_palette != Palette::Standard)
        colour = PaletteColour(view.m_palette, colour);
    const double p = BeamPeriod(r, g.mid, view.m_sampleRate);
    const double d = BeamDepth(r, p, view.m_sampleRate);

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

    if (view.m_showWaveform != 0) {
        const int64_t lo = static_cast<int64_t>(r.minSample) * g.t / 65536;
        const int64_t hi = static_cast<int64_t>(r.maxSample) * g.t / 65536;
        if (lo <= hi) {
            // Rows outside the column are never shown; samples out of the
            // 16-bit range must not reach past the buffer.
            const int64_t centre = g.h - g.t / 2;
            const int64_t first = std::max<int64_t>(centre + lo, 0);
            const int64_t last = std::min<int64_t>(centre + hi, g.h - 1);
            for (int64_t row = first; row <= last; ++row)
                SetRow(column, static_cast<int32_t>(row), kTraceColour);
        }
    }

    if (view.m_showTimescale != 0 && Tenths(r, view) != Tenths(ring[NextSlot(s)], view)) {
        for (int32_t row = 0; row < g.tickLength; ++row)
            SetRow(column, row, kTraceColour);
    }

    if (r.smoothed.load(std::memory_order_acquire) == 1)
        SetRow(column, 0, kMarkerColour);
}

// The bin count the bands are laid out for: that of the slot at the write
// position. Should the worker be writing that slot (the ring is full), its
// bin count is taken from its window length, which is what the analysis
// writes there, instead of being read while it changes.
int32_t BandBinCount(const FrameRing& ring, int32_t w)
{
    const FrameRecord& r = ring[w];
    return ring.IsBusy(w) ? BinCountFor(r.nsamples) : r.nbins;
}

}  // namespace

void PaintColumns(FrameRing& ring, const PaintFields& view, ColumnSurface& surface)
{
    // The paint's own storage: nothing is allocated.
    alignas(8) uint8_t columnPixels[kColumnBufferRows * 4];
    ColourBands bands;
    BeamCosines cosines;

    std::memset(columnPixels, 0, sizeof columnPixels);
    const int32_t w = ring.WritePosition();
    BuildColourBands(bands, BandBinCount(ring, w), view.m_sampleRate);

    const PixelRect rcPaint = surface.BeginPaint();
    const PixelRect client = surface.ClientRect();
    Geometry g;
    g.h = std::min(client.bottom - client.top, kMaxColumnHeight);
    g.mid = g.h / 2;
    g.t = g.h / 10;
    g.tickLength = g.h / 50;
    g.width = client.right - client.left;

    // The newest frame is in the slot before the write position.
    int32_t s = Modulo(static_cast<int64_t>(w) + view.m_ringSize - 1 -
                           FramesBehindNewest(g.width - 1, g.width, view.m_framesPerBuffer),
                       kRingSize);
    // Width - 1 records, but at most 4999 so that the walk never comes round
    // to its start: a wider area leaves its left part alone, width 0 draws
    // nothing.
    const int32_t count = g.width >= 1 ? std::min(g.width - 1, kRingSize - 1) : 0;

    for (int32_t n = 0; n < count; ++n, s = PrevSlot(s)) {
        const int32_t x = g.width - 1 - n;
        FrameRecord& r = ring[s];
        if (r.analysed.load(std::memory_order_acquire) != 1)
            continue;
        const bool inPaint = rcPaint.left <= x && x <= rcPaint.right;
        if (r.drawn.load(std::memory_order_acquire) != 0 && !inPaint)
            continue;
        FillColumn(ring, s, bands, view, g, cosines, columnPixels);
        surface.DrawColumn(x, columnPixels, g.h);
        // Drawn even where the clip hid it: it shows after the next paint
        // that covers its column.
        r.drawn.store(1, std::memory_order_release);
    }

    surface.EndPaint();
}

}  // namespace vocalume
