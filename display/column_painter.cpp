#include "column_painter.h"

#include <algorithm>
#include <cstring>

#include "column_colour.h"
#include "column_description.h"
#include "column_zoom.h"

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

// A paint opened on the surface, with its own storage (nothing is
// allocated): the column buffer, the colour table for the bin count at the
// write position, the paint rectangle, the geometry and the style.
struct OpenPaint {
    OpenPaint(const FrameRing& ring, const PaintFields& view, ColumnSurface& surface)
        : w(ring.WritePosition()),
          rcPaint(surface.BeginPaint()),
          width(surface.Width()),
          g(GeometryForHeight(surface.Height())),
          style{view.m_sampleRate, view.m_showWaveform, view.m_showTimescale, view.m_palette,
                std::clamp(view.m_zoom, 1, kMaxZoom)}
    {
        std::memset(columnPixels, 0, sizeof columnPixels);
        BuildColourBands(bands, BandBinCount(ring, w), view.m_sampleRate);
    }

    alignas(8) uint8_t columnPixels[kColumnBufferRows * 4];
    ColourBands bands;
    BeamCosines cosines;
    const int32_t w;
    const PixelRect rcPaint;
    const int32_t width;
    const ColumnGeometry g;
    const ColumnStyle style;
};

// Whether a record's column may be drawn now: analysed, and in the
// low-latency picture, whose newest columns lie within a smoothing
// neighbourhood of the newest frame, smoothed too (a column drawn before its
// smoothing would show, and keep in the session, the raw spectrum).
bool Finished(const PaintFields& view, const FrameRecord& r)
{
    return r.analysed.load(std::memory_order_acquire) == 1 &&
           (!view.m_paintLateFrames || r.smoothed.load(std::memory_order_acquire) == 1);
}

// A column whose frames the worker has not finished yet: in the low-latency
// picture it is painted by the next paint, wherever a scroll has moved it by
// then, so that the newest columns, which often wait for the worker there,
// are never left black.
void LeaveForNextPaint(const PaintFields& view, ColumnSurface& surface, int32_t x)
{
    if (view.m_paintLateFrames)
        surface.Invalidate({x, 0, x + 1, surface.Height()});
}

// PaintColumns zoomed out: one column for every m_zoom frames. Each frame is
// described once, when its column is first drawn, and so costs no more than
// at one frame a column, while columns are drawn m_zoom times less often.
void PaintZoomedColumns(FrameRing& ring, const PaintFields& view, ColumnSurface& surface,
                        ColumnRecorder* recorder)
{
    OpenPaint paint(ring, view, surface);
    const int32_t w = paint.w;
    const int32_t width = paint.width;
    const PixelRect& rcPaint = paint.rcPaint;
    const int32_t zoom = paint.style.zoom;
    ColumnDescription frames[kMaxZoom];

    // The newest frame one frame a column would show at the right edge; the
    // right-most column ends with the last frame of a whole column up to it.
    const int64_t newestBehind = width >= 1 ? FramesBehindNewest(width - 1, width, BufferLead(view.m_framesPerBuffer, view.m_paintLateFrames)) : 0;
    const int64_t newest = ring[Modulo(static_cast<int64_t>(w) + view.m_ringSize - 1 - newestBehind, kRingSize)].index;
    const int64_t past = newest + view.m_frameOffset - (ColumnOfFrame(newest + view.m_frameOffset + 1, zoom) * zoom - 1);

    for (int32_t n = 0; n < width - 1; ++n) {
        const int32_t x = width - 1 - n;
        const bool inPaint = rcPaint.left <= x && x <= rcPaint.right;
        const int64_t lastBehind = newestBehind + past + static_cast<int64_t>(n) * zoom;
        ColumnDescription column;
        // The record at the write position is the oldest, next to go.
        if (lastBehind + zoom - 1 <= kRingSize - 2) {
            const int32_t last = Modulo(static_cast<int64_t>(w) - 1 - lastBehind, kRingSize);
            if (ring[last].drawn.load(std::memory_order_acquire) != 0 && !inPaint)
                continue;
            bool analysed = true;
            for (int32_t k = 0, s = last; k < zoom && analysed; ++k, s = PrevSlot(s))
                analysed = Finished(view, ring[s]);
            if (!analysed) {
                LeaveForNextPaint(view, surface, x);
                continue;
            }
            int32_t s = Modulo(static_cast<int64_t>(last) - (zoom - 1), kRingSize);
            for (int32_t k = 0; k < zoom; ++k, s = NextSlot(s)) {
                FrameRecord& r = ring[s];
                frames[k] =
                    DescribeColumn(r, ring[NextSlot(s)], paint.bands, view.m_dbRange, view.m_hop, view.m_sampleRate);
                if (recorder != nullptr)
                    recorder->Keep(r.index, frames[k]);
                r.drawn.store(1, std::memory_order_release);
            }
            column = MergeColumns(frames, zoom);
        } else if (inPaint && recorder != nullptr) {
            // Older than the ring: from the descriptions kept.
            const int64_t lastIndex = newest - past - static_cast<int64_t>(n) * zoom;
            int32_t count = 0;
            for (int64_t index = lastIndex - (zoom - 1); index <= lastIndex; ++index)
                if (const ColumnDescription* kept = recorder->Kept(index))
                    frames[count++] = *kept;
            column = MergeColumns(frames, count);
        } else if (x < rcPaint.left || recorder == nullptr) {
            break;  // nothing further left is to be painted
        } else {
            continue;
        }
        DrawColumnDescription(column, paint.g, paint.style, paint.cosines, paint.columnPixels);
        surface.DrawColumn(x, paint.columnPixels, paint.g.h);
    }

    surface.EndPaint();
}

}  // namespace

void PaintColumns(FrameRing& ring, const PaintFields& view, ColumnSurface& surface,
                  ColumnRecorder* recorder)
{
    if (view.m_zoom > 1) {
        PaintZoomedColumns(ring, view, surface, recorder);
        return;
    }
    OpenPaint paint(ring, view, surface);
    const int32_t w = paint.w;
    const int32_t width = paint.width;
    const PixelRect& rcPaint = paint.rcPaint;

    // The newest frame is in the slot before the write position.
    int32_t s = Modulo(static_cast<int64_t>(w) + view.m_ringSize - 1 -
                           FramesBehindNewest(width - 1, width, BufferLead(view.m_framesPerBuffer, view.m_paintLateFrames)),
                       kRingSize);
    // Width - 1 records, but at most 4999 so that the walk never comes round
    // to its start: a wider area leaves its left part alone, width 0 draws
    // nothing.
    const int32_t count = width >= 1 ? std::min(width - 1, kRingSize - 1) : 0;

    for (int32_t n = 0; n < count; ++n, s = PrevSlot(s)) {
        const int32_t x = width - 1 - n;
        FrameRecord& r = ring[s];
        if (!Finished(view, r)) {
            LeaveForNextPaint(view, surface, x);
            continue;
        }
        const bool inPaint = rcPaint.left <= x && x <= rcPaint.right;
        if (r.drawn.load(std::memory_order_acquire) != 0 && !inPaint)
            continue;
        const ColumnDescription column =
            DescribeColumn(r, ring[NextSlot(s)], paint.bands, view.m_dbRange, view.m_hop, view.m_sampleRate);
        DrawColumnDescription(column, paint.g, paint.style, paint.cosines, paint.columnPixels);
        if (recorder != nullptr)
            recorder->Keep(r.index, column);
        surface.DrawColumn(x, paint.columnPixels, paint.g.h);
        // Drawn even where the clip hid it: it shows after the next paint
        // that covers its column.
        r.drawn.store(1, std::memory_order_release);
    }

    surface.EndPaint();
}

}  // namespace vocalume
