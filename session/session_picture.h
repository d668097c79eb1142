// The picture of a stretch of the session, drawn from its kept column
// descriptions: what looking back shows. User-interface thread.
#pragma once

#include <cstdint>

#include "column_description.h"
#include "column_surface.h"
#include "session_history.h"

namespace vocalume {

// Draws every column of `surface`: column x shows the session's frame
// rightFrame - (width - 1 - x), black where the session holds no such frame.
// The surface ends valid.
void DrawSessionPicture(const SessionHistory& session, int64_t rightFrame, const ColumnStyle& style,
                        ColumnSurface& surface);

}  // namespace vocalume
