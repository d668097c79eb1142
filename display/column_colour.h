// The base colour of one pixel column: how a frame's spectral level is spread
// over three bands (low band red, middle green, high blue), scaled so that the
// dominant band shows the square of the frame's relative energy.
//
// Used on the user-interface thread inside a paint. The record may be written
// by the analysis worker meanwhile; `smoothed` is read (acquire) once to choose
// the spectrum, the other fields are used as they stand.
#pragma once

#include <cstdint>

#include "frame_ring.h"

namespace vocalume {

// Band weights of one spectrum bin, in the order blue, green, red.
struct BandWeight {
    double blue;
    double green;
    double red;
};

// The band table, one entry per spectrum bin. It lives in the paint's own
// storage and is rebuilt at the start of every paint; BuildColourBands writes
// every entry, so nothing of an earlier paint survives.
struct ColourBands {
    static constexpr int32_t kEntries = 1024;
    BandWeight entry[kEntries];
};

// Channel intensities before the beams modulate them: 255 is full intensity,
// values above it occur when the energy is above its ceiling.
struct ColumnRgb {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
};

// Lays out the three bands for spectra of `nbins` bins at `sampleRate`
// samples per second. Entries from 4q on (q = nbins / 4) weigh nothing, so
// bins the layout does not cover never colour a column. Bin counts below 4,
// or rates so low that the 100 Hz cut reaches a band, leave the affected
// weights at zero rather than dividing by a zero sum.
void BuildColourBands(ColourBands& bands, int32_t nbins, int32_t sampleRate);

// The base colour of `record` under the table of the current paint, with
// levels shown over `dbRange` decibels below the record's ceilings.
ColumnRgb ColumnColour(const ColourBands& bands, const FrameRecord& record, int32_t dbRange);

// The largest of three values; among equal values the later argument wins,
// and a comparison with NaN counts as false.
double Max3(double x, double y, double z);

}  // namespace vocalume
