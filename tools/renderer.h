// Headless rendering of a sound file: the file is played through the
// program's own analysis view (file source, CWaveIn, framer, analysis, surface,
// painter) on the calling thread, so that the same input and options always
// give the same picture, the one the live window would show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame_table.h"
#include "pitch_tracker.h"

namespace vocalume {

struct RenderOptions {
    std::string input;
    int32_t width = 700;  // client width of the live picture (not used with `whole`)
    int32_t height = 500;
    int32_t refresh = 10;
    int32_t sampling = 3;
    bool waveform = true;
    bool timescale = true;
    // The "palette" setting: 0 standard colours, 1 colour-blind safe.
    int32_t palette = 0;
    // One column for every frame of the file instead of the last screenful.
    bool whole = false;
    // False: frames are analysed but nothing is painted (for measuring the
    // analysis alone).
    bool paint = true;
    // Keep every frame's numbers for the frame table (needs `whole`).
    bool frameTable = false;
    // Track the pitch of every frame, and draw the pitch line over the picture.
    bool pitchLine = false;
};

// Rows from the top, 3 bytes (red, green, blue) per pixel, rows `stride`
// bytes apart.
struct RenderedPicture {
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
    std::vector<uint8_t> rgb;
    int64_t frames = 0;   // frames cut from the file's buffers
    int64_t buffers = 0;  // capture buffers taken, padding included
    // With `frameTable`: one row per frame, in frame order.
    std::vector<FrameRow> rows;
};

// Called now and then with the share of the work done, 0 to 1.
using RenderProgress = std::function<void(double)>;

// The widest picture `whole` draws, in columns (one per frame, about 997 s of
// sound): the widest PNG image the writer accepts.
inline constexpr int64_t kMaxWholeColumns = 1000000;

// Renders `options.input` (kStandardInput: standard input, read once) into
// `picture`. Returns an empty string on success, else one line saying what is
// wrong with the input, or that the picture does not fit in memory.
std::string RenderSoundFile(const RenderOptions& options, RenderedPicture& picture,
                            const RenderProgress& progress = {});

}  // namespace vocalume
