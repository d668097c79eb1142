// The picture of a stretch of the session, drawn from its kept column
// descriptions: what looking back shows. User-interface thread.
#pragma once

#include <cstdint>

#include "column_description.h"
#include "column_surface.h"
#include "session_history.h"

namespace vocalume {

// The column number `column` at `zoom` frames a column (see column_zoom.h),
// from the descriptions of those of its frames the session keeps.
ColumnDescription SessionColumn(const SessionHistory& session, int64_t column, int32_t zoom);

// Draws every column of `surface`: column x shows the session's frame
// rightFrame - (width - 1 - x), black where the session holds no such frame;
// zoomed out, the column number (width - 1 - x) before that of rightFrame.
// The surface ends valid.
void DrawSessionPicture(const SessionHistory& session, int64_t rightFrame, const ColumnStyle& style,
                        ColumnSurface& surface);

}  // namespace vocalume
