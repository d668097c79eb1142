// A view of an RGB picture in memory, for drawing overlays on a finished
// picture: rows from the top, 3 bytes (red, green, blue) per pixel, rows
// `stride` bytes apart. The view owns nothing; drawing outside it is ignored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "column_surface.h"

namespace vocalume {

struct PixelImage {
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;

    bool Holds(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    void Set(int32_t x, int32_t y, Rgb c)
    {
        if (!Holds(x, y))
            return;
        uint8_t* p = pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        p[0] = c.red;
        p[1] = c.green;
        p[2] = c.blue;
    }
    // Moves the pixel `share` of the way (in 256ths) towards `c`.
    void Blend(int32_t x, int32_t y, Rgb c, int32_t share)
    {
        if (!Holds(x, y))
            return;
        uint8_t* p = pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
        const uint8_t to[3] = {c.red, c.green, c.blue};
        for (int i = 0; i < 3; ++i)
            p[i] = static_cast<uint8_t>((p[i] * (256 - share) + to[i] * share) / 256);
    }
};

}  // namespace vocalume
