// The per-frame table of a sound file: for every frame, in frame order, the
// numbers its analysis left in the record, its column's base colour and the
// pitch tracker's estimate, written as comma-separated text with a header row.
// Numbers always use a point as the decimal mark, whatever the locale.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "column_colour.h"
#include "frame_ring.h"
#include "pitch_tracker.h"

namespace vocalume {

struct FrameRow {
    int64_t frame = 0;
    float energy = 0.0f;
    float energyCeiling = 0.0f;
    float specMax = 0.0f;
    float specCeiling = 0.0f;
    int32_t acLag = 0;
    float acPeak = 0.0f;
    int32_t cepsPeak = 0;
    float cepsRatio = 0.0f;
    int32_t minSample = 0;
    int32_t maxSample = 0;
    // The column's colour where no beam crosses it, as painted.
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    PitchEstimate pitch;
};

// The rows of a table, in frame order. Kept in blocks, so that a long
// sound's table grows without ever being copied whole.
using FrameRows = std::deque<FrameRow>;

inline constexpr const char* kFrameTableHeader =
    "frame,time_s,energy,energy_ceiling,spec_max,spec_ceiling,ac_lag,ac_peak,ceps_peak,ceps_ratio,"
    "min_sample,max_sample,red,green,blue,f0_hz,voiced";

// The time in seconds of frame `frame`'s centre, as the table's time_s gives
// it: frames may be fractional.
double FrameTimeSeconds(double frame);

// The row of frame `frame` for an analysed record and its base colour.
FrameRow FrameRowOf(int64_t frame, const FrameRecord& record, const ColumnRgb& colour);

// One line of the table, without its line end.
std::string FormatFrameRow(const FrameRow& row);

// Writes the header and every row to `path` through a temporary file in the
// same folder, renamed over `path` only when complete. Returns an empty string
// on success, else what went wrong.
std::string WriteFrameTable(const std::string& path, const FrameRows& rows);

// The alignment table of a take and the model it imitates: a header row, then
// for every frame of the take its time_s (as the frame table gives it) and
// the time in the model it matches, model_time_s, `modelFrame[f]` being the
// model frame matched by frame f. Written whole or not at all, as above.
inline constexpr const char* kAlignmentTableHeader = "time_s,model_time_s";
std::string WriteAlignmentTable(const std::string& path, const std::vector<double>& modelFrame);

}  // namespace vocalume
