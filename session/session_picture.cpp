#include "session_picture.h"

#include <algorithm>

#include "column_painter.h"
#include "column_zoom.h"

namespace vocalume {

ColumnDescription SessionColumn(const SessionHistory& session, int64_t column, int32_t zoom)
{
    ColumnDescription frames[kMaxZoom];
    zoom = std::clamp(zoom, 1, kMaxZoom);
    const int64_t first = std::max(column * zoom, session.FirstFrame());
    const int64_t end = std::min(column * zoom + zoom, session.EndFrame());
    int32_t count = 0;
    for (int64_t frame = first; frame < end; ++frame)
        frames[count++] = session.Column(frame);
    return MergeColumns(frames, count);
}

void DrawSessionPicture(const SessionHistory& session, int64_t rightFrame, const ColumnStyle& style,
                        ColumnSurface& surface)
{
    // The paint's own storage, as the live painter's: nothing is allocated.
    alignas(8) uint8_t column[kColumnBufferRows * 4] = {};
    BeamCosines cosines;

    surface.InvalidateAll();
    surface.BeginPaint();
    const int32_t width = surface.Width();
    const ColumnGeometry g = GeometryForHeight(surface.Height());
    const int64_t right = ColumnOfFrame(rightFrame, std::clamp(style.zoom, 1, kMaxZoom));
    for (int32_t x = 0; x < width; ++x) {
        DrawColumnDescription(SessionColumn(session, right - (width - 1 - x), style.zoom), g, style, cosines,
                              column);
        surface.DrawColumn(x, column, g.h);
    }
    surface.EndPaint();
}

}  // namespace vocalume
