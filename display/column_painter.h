// The view's paint: every analysed frame of the ring becomes one pixel column
// of the retained surface, placed by its distance behind the write position,
// the newest at the right. Only columns not yet drawn, or lying in the paint
// rectangle, are drawn; drawing is clipped to the surface's invalid region.
//
// User-interface thread only (the thread of the framer), while the analysis
// worker may run: record flags are read with acquire loads, analysis fields
// only of records seen analysed, and the only field written is `drawn`.
#pragma once

#include <cstdint>

#include "column_description.h"
#include "column_surface.h"
#include "frame_ring.h"

namespace vocalume {

// The view's fields the paint reads (the view holds the same values).
struct PaintFields {
    int32_t m_framesPerBuffer = 104;
    int32_t m_hop = kFrameHop;
    int32_t m_ringSize = kRingSize;
    int32_t m_sampleRate = kRecordingRate;
    int32_t m_dbRange = 40;
    int32_t m_showWaveform = 1;
    int32_t m_showTimescale = 1;
    Palette m_palette = Palette::Standard;
    // Frames a column (see column_zoom.h), and what turns a record's index
    // into the frame number columns are cut at (the session's numbering).
    int32_t m_zoom = 1;
    int64_t m_frameOffset = 0;
    // The low-latency picture shows frames a few milliseconds old, which the
    // worker has often not analysed and smoothed at the paint: their columns
    // wait for the next paint instead of for a redraw, and the picture keeps
    // back no buffer's worth of frames (see BufferLead).
    bool m_paintLateFrames = false;
};

// Columns are at most this tall; taller client areas are painted in their top
// rows only.
inline constexpr int32_t kMaxColumnHeight = 1024;
// Rows of the per-paint column buffer (4 bytes each: blue, green, red, unused).
inline constexpr int32_t kColumnBufferRows = 2048;

// Frames the picture keeps back from the newest beyond a buffer's worth: a
// frame is smoothed over five neighbours on each side, so the five newest
// cannot be smoothed yet.
inline constexpr int32_t kSmoothingLead = 5;

// The frames kept back for the worker beyond the smoothing lead: a buffer's
// worth, which it has analysed by the time the next buffer is painted; none
// where the columns the worker has not finished wait for the next paint
// (the low-latency picture).
constexpr int32_t BufferLead(int32_t framesPerBuffer, bool paintLateFrames)
{
    return paintLateFrames ? 0 : framesPerBuffer;
}

// How many frames column `x` of a client area `width` pixels wide lies behind
// the newest frame: the right-most column a buffer's lead (see BufferLead)
// plus the smoothing lead, each column to its left one frame more.
constexpr int64_t FramesBehindNewest(int32_t x, int32_t width, int32_t framesPerBuffer)
{
    return static_cast<int64_t>(framesPerBuffer) + kSmoothingLead + (width - 1 - x);
}

// Told of every column a paint draws, with the frame it shows; the session
// keeps the descriptions so that the past can be drawn again.
class ColumnRecorder {
public:
    virtual ~ColumnRecorder() = default;
    virtual void Keep(int64_t frameIndex, const ColumnDescription& column) = 0;
    // The description kept of frame `frameIndex`; none when it has none to
    // show. A zoomed picture draws its columns older than the ring from these.
    virtual const ColumnDescription* Kept(int64_t frameIndex) const
    {
        (void)frameIndex;
        return nullptr;
    }
};

// One paint of the view: opens a paint on `surface`, draws the columns whose
// records call for it, marks them drawn and closes the paint. Column x shows
// the frame FramesBehindNewest(x, ...) behind the newest, the one at the slot
// before the write position; at most min(width - 1, 4999) records are
// walked, at columns width - 1 leftwards; column 0 is never painted. With
// `m_paintLateFrames` the column of a frame still waiting for the analysis
// or the smoothing is left invalid for the next paint; without, it shows once
// it is redrawn.
// Every drawn column is also handed to `recorder` when one is given.
// Zoomed out (m_zoom above 1) column x shows instead the m_zoom frames of one
// column number (see column_zoom.h), the right-most the last whose frames
// have all reached the place of the right-most column above; a column is
// drawn once all its frames are analysed, each frame's description handed to
// `recorder`, and columns the ring no longer reaches are drawn from what
// `recorder` kept.
void PaintColumns(FrameRing& ring, const PaintFields& view, ColumnSurface& surface,
                  ColumnRecorder* recorder = nullptr);

}  // namespace vocalume
