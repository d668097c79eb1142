#include "session_picture.h"

#include "column_painter.h"

namespace vocalume {

void DrawSessionPicture(const SessionHistory& session, int64_t rightFrame, const ColumnStyle& style,
                        ColumnSurface& surface)
{
    // The paint's own storage, as the live painter's: nothing is allocated.
    alignas(8) uint8_t column[kColumnBufferRows * 4] = {};
    BeamCosines cosines;
    ColumnDescription blank;
    blank.flags = ColumnDescription::kNoTrace;

    surface.InvalidateAll();
    surface.BeginPaint();
    const int32_t width = surface.Width();
    const ColumnGeometry g = GeometryForHeight(surface.Height());
    for (int32_t x = 0; x < width; ++x) {
        const int64_t frame = rightFrame - (width - 1 - x);
        DrawColumnDescription(session.HasFrame(frame) ? session.Column(frame) : blank, g, style, cosines,
                              column);
        surface.DrawColumn(x, column, g.h);
    }
    surface.EndPaint();
}

}  // namespace vocalume
