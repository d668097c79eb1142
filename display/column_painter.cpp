#include "column_painter.h"

#include <algorithm>
#include <cstring>

#include "column_colour.h"
#include "column_description.h"

namespace vocalume {

namespace {

int32_t Modulo(int64_t v, int32_t n)
{
    const int64_t r = v % n;
    return static_cast<int32_t>(r < 0 ? r + n : r);
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

void PaintColumns(FrameRing& ring, const PaintFields& view, ColumnSurface& surface,
                  ColumnRecorder* recorder)
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
    const ColumnGeometry g = GeometryForHeight(client.bottom - client.top);
    const int32_t width = client.right - client.left;
    const ColumnStyle style{view.m_sampleRate, view.m_showWaveform, view.m_showTimescale, view.m_palette};

    // The newest frame is in the slot before the write position.
    int32_t s = Modulo(static_cast<int64_t>(w) + view.m_ringSize - 1 -
                           FramesBehindNewest(width - 1, width, view.m_framesPerBuffer),
                       kRingSize);
    // Width - 1 records, but at most 4999 so that the walk never comes round
    // to its start: a wider area leaves its left part alone, width 0 draws
    // nothing.
    const int32_t count = width >= 1 ? std::min(width - 1, kRingSize - 1) : 0;

    for (int32_t n = 0; n < count; ++n, s = PrevSlot(s)) {
        const int32_t x = width - 1 - n;
        FrameRecord& r = ring[s];
        if (r.analysed.load(std::memory_order_acquire) != 1) {
            // A frame the worker has not reached yet: in the low-latency
            // picture its column is painted by the next paint, wherever a
            // scroll has moved it by then, so that the newest columns, which
            // often wait for the worker there, are never left black.
            if (view.m_paintLateFrames)
                surface.Invalidate({x, client.top, x + 1, client.bottom});
            continue;
        }
        const bool inPaint = rcPaint.left <= x && x <= rcPaint.right;
        if (r.drawn.load(std::memory_order_acquire) != 0 && !inPaint)
            continue;
        const ColumnDescription column =
            DescribeColumn(r, ring[NextSlot(s)], bands, view.m_dbRange, view.m_hop, view.m_sampleRate);
        DrawColumnDescription(column, g, style, cosines, columnPixels);
        if (recorder != nullptr)
            recorder->Keep(r.index, column);
        surface.DrawColumn(x, columnPixels, g.h);
        // Drawn even where the clip hid it: it shows after the next paint
        // that covers its column.
        r.drawn.store(1, std::memory_order_release);
    }

    surface.EndPaint();
}

}  // namespace vocalume
