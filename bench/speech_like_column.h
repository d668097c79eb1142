// A column description that changes from frame to frame as a voiced sound's
// does (colour, beam lag), for benchmarks that draw many of them.
#pragma once

#include <cstdint>

#include "column_description.h"

namespace vocalume {

inline ColumnDescription SpeechLikeColumn(int64_t index)
{
    ColumnDescription c;
    c.red = 40 + index % 200;
    c.green = 90;
    c.blue = 180 - index % 100;
    c.acPeak = 0.9f;
    c.beamLag = 90 + static_cast<int32_t>(index % 20);
    c.minSample = -3000;
    c.maxSample = 4000;
    c.flags = ColumnDescription::kDeepPitch | ColumnDescription::kMarker;
    return c;
}

}  // namespace vocalume
