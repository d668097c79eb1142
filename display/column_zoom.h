// Zoom: how many frames one column of the picture stands for. At 1 every
// frame is a column of its own (about 0.7 s in 700 columns); at 16 a column
// stands for 16 frames and 700 columns hold about 11 s. Columns are cut at
// fixed frame numbers, the column of frame f being f / zoom rounded down, so
// that a column shows the same frames wherever and whenever it is drawn.
//
// Plain arithmetic; any thread.
#pragma once

#include <cstdint>

namespace vocalume {

// The zooms the user steps through, closest first.
inline constexpr int32_t kZoomLevels[] = {1, 2, 4, 8, 16};
inline constexpr int32_t kMaxZoom = 16;

constexpr bool ZoomUsable(int32_t zoom)
{
    for (const int32_t level : kZoomLevels)
        if (zoom == level)
            return true;
    return false;
}

// The next zoom out (more frames a column) or in from `zoom`; `zoom` itself
// at either end.
constexpr int32_t ZoomedOut(int32_t zoom)
{
    for (const int32_t level : kZoomLevels)
        if (level > zoom)
            return level;
    return zoom;
}
constexpr int32_t ZoomedIn(int32_t zoom)
{
    int32_t closer = zoom;
    for (const int32_t level : kZoomLevels)
        if (level < zoom)
            closer = level;
    return closer;
}

// The column number of frame `frame` (negative frames too: rounded down).
constexpr int64_t ColumnOfFrame(int64_t frame, int32_t zoom)
{
    return frame >= 0 ? frame / zoom : -((-frame + zoom - 1) / zoom);
}

}  // namespace vocalume
