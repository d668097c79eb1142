// What one frame's column shows, apart from the column's height: the base
// colour, the pitch the beams follow and their depth, the waveform extremes,
// and the tick and marker. The painter describes a frame once and draws the
// description; the session keeps descriptions, so any stretch of the past can
// be drawn again exactly, at any height, from a few dozen bytes a frame.
//
// Plain data and pure functions; any thread.
#pragma once

#include <cstdint>

#include "column_colour.h"
#include "column_palette.h"
#include "frame_ring.h"

namespace vocalume {

struct ColumnDescription {
    // The base colour before the beams (see ColumnColour), kept exactly.
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    // Voicing strength; the beams are acPeak - 0.7 deep where they show.
    float acPeak = 0.0f;
    // The lag in samples the beams follow; 0 for no beams.
    int32_t beamLag = 0;
    // The frame's smallest and largest sample (within the 16-bit range);
    // no trace when the frame held no sample (see kNoTrace).
    int16_t minSample = 0;
    int16_t maxSample = 0;
    uint8_t flags = 0;

    static constexpr uint8_t kTick = 1;       // a new tenth of a second begins here
    static constexpr uint8_t kMarker = 2;     // the colour comes from the smoothed spectrum
    static constexpr uint8_t kDeepPitch = 4;  // pitch low enough for beams to have depth
    static constexpr uint8_t kNoTrace = 8;    // the frame's span held no sample
};

// How descriptions are turned into pixels: the settings a paint reads.
struct ColumnStyle {
    int32_t sampleRate = kRecordingRate;
    int32_t showWaveform = 1;
    int32_t showTimescale = 1;
    // The base colour is kept in the standard colours and shown in these.
    Palette palette = Palette::Standard;
    // Frames a column (see column_zoom.h).
    int32_t zoom = 1;
};

// Column geometry for a client area `height` pixels high (taller areas are
// painted in their top rows only).
struct ColumnGeometry {
    int32_t h = 0;           // column height
    int32_t mid = 0;         // centre row of the beams
    int32_t t = 0;           // height of the waveform strip at the top
    int32_t tickLength = 0;  // rows of a time tick at the bottom
};
ColumnGeometry GeometryForHeight(int32_t height);

// Tenths of a second since frame 0 at `hop` samples a frame, in double so that
// no product overflows.
int64_t TenthsAt(int64_t index, int32_t hop, int32_t sampleRate);

// Describes the frame in `record`, whose next newer neighbour is `newer`,
// under the colour table of the current paint.
ColumnDescription DescribeColumn(const FrameRecord& record, const FrameRecord& newer,
                                 const ColourBands& bands, int32_t dbRange, int32_t hop,
                                 int32_t sampleRate);

// The column of `count` consecutive frames described by `frames`, oldest
// first: the loudest frame's colour, beams and marker, the extremes of all
// their traces, and a tick where any of them begins a tenth of a second. One
// frame's column is its own description; none is a black column.
ColumnDescription MergeColumns(const ColumnDescription* frames, int32_t count);

// cos(2 pi i / p) for i = 0..mid, kept from column to column: neighbouring
// frames mostly share their pitch lag, and so their period.
struct BeamCosines {
    double period = 0.0;
    int32_t rows = -1;
    double value[512 + 1];
    const double* For(double p, int32_t mid);
};

// Fills rows 0 to h of a bottom-up column buffer (4 bytes a row: blue, green,
// red, unused) from `description`.
void DrawColumnDescription(const ColumnDescription& description, const ColumnGeometry& g,
                           const ColumnStyle& style, BeamCosines& cosines, uint8_t* column);

}  // namespace vocalume
