// The analysis of a whole recording away from the window: the sound (a file,
// or samples in memory) is played through the program's own analysis view
// (CWaveIn, framer, analysis, surface, painter) on the calling thread, with an
// analysis core of its own and no worker thread, so that the same input and
// settings always give the same picture, the one the live window would show.
// The frames are analysed on helper threads besides (ParallelScan), and the
// pitch is tracked on another (PitchFollower); neither changes a bit of the
// result.
// The render tool draws its pictures and frame tables this way, and the
// program opens sound files and exports frame tables this way.
//
// Threads: any one thread per call, which begins and ends the helpers of its
// own; calls on different threads share nothing but read-only tables, so the
// window's own view may exist meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame_table.h"
#include "pitch_tracker.h"
#include "session_history.h"

namespace vocalume {

class CAnalysisView;
class SoundSource;

struct AnalysisOptions {
    int32_t width = 700;  // client width of the live picture (not used with `whole`)
    int32_t height = 500;
    int32_t refresh = 10;
    int32_t sampling = 3;
    bool waveform = true;
    bool timescale = true;
    // The "palette" setting: 0 standard colours, 1 colour-blind safe.
    int32_t palette = 0;
    // One column for every frame of the sound instead of the last screenful.
    bool whole = false;
    // Frames a column of the last screenful (see column_zoom.h); a whole
    // picture has one column for every frame.
    int32_t zoom = 1;
    // False: frames are analysed but nothing is painted and no picture is
    // made (for the frame table alone, or for measuring the analysis).
    bool paint = true;
    // Keep every frame's numbers for the frame table (needs `whole`), as the
    // picture would show them, whether it is painted or not.
    bool frameTable = false;
    // Track the pitch of every frame, and draw the pitch line over the picture.
    bool pitchLine = false;
    // Hand over the whole sound's session (needs `whole` and `paint`): its
    // sound and the description of every frame's column.
    bool session = false;
    // With `session`, for a file opened as the session: the session keeps
    // its last this many minutes, as a recording keeps them, and no whole
    // picture is kept, so that a file of any length opens. 0: the whole
    // picture, of at most kMaxWholeColumns columns.
    int32_t keepMinutes = 0;
    // Ends the message for a sound longer than the widest whole picture.
    std::string tooLongFor = "for --whole";
    // What the user may do about such a sound, said after it.
    std::string tooLongAdvice = "Render it without --whole, or cut it shorter.";
    // Threads the analysis uses in all, the caller's included; 0: as many as
    // the environment's VOCALUME_THREADS says (a number from 1 up), else
    // one for every processor. The results are the same whatever the
    // number.
    int32_t threads = 0;
};

// Rows from the top, 3 bytes (red, green, blue) per pixel, rows `stride`
// bytes apart.
struct RenderedPicture {
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
    std::vector<uint8_t> rgb;
    int64_t frames = 0;   // frames cut from the sound's buffers
    int64_t buffers = 0;  // capture buffers taken, padding included
    // With `frameTable`: one row per frame, in frame order.
    FrameRows rows;
    // With `session`: the frames [0, frames) and the sound they were cut
    // from, as a recording of this sound would have left them.
    std::unique_ptr<SessionHistory> session;
    // What the user should know of a sound file that was read (samples that
    // held no number); empty when there is nothing to tell.
    std::string note;
};

// Called now and then with the share of the work done, 0 to 1 (negative when
// the sound's length is unknown). Returning false stops the analysis.
using AnalysisProgress = std::function<bool(double)>;

// What an analysis stopped by its progress callback returns.
inline constexpr const char* kAnalysisStopped = "stopped";

// The widest picture `whole` draws, in columns (one per frame, about 997 s of
// sound): the widest PNG image the writer accepts.
inline constexpr int64_t kMaxWholeColumns = 1000000;

// Analyses what `source` gives into `picture`; `soundName` names the sound in
// messages ("the sound file \"a.wav\""). Returns an empty string on success,
// kAnalysisStopped when `progress` stopped it, else one line saying what is
// wrong with the sound, or that the picture does not fit in memory.
std::string AnalyseSound(const AnalysisOptions& options, std::unique_ptr<SoundSource> source,
                         const std::string& soundName, RenderedPicture& picture,
                         const AnalysisProgress& progress = {});

// The same for the sound file `path` (kStandardInput: standard input, read
// once), in any format the file reader knows.
std::string AnalyseSoundFile(const std::string& path, const AnalysisOptions& options,
                             RenderedPicture& picture, const AnalysisProgress& progress = {});

// How messages name the sound file `path`.
std::string SoundFileName(const std::string& path);

// A whole analysis with the settings `view` analyses and draws with now
// (refresh, sampling, waveform, timescale, colours). Its picture is a strip
// a few rows high: what is wanted is the session or the frame table, whose
// columns are drawn at any height later.
AnalysisOptions WholeAnalysisOptions(const CAnalysisView& view);

// Writes the frame table of `sound` (a session's kept sound, at the recording
// rate) to `path`, whole or not at all: the rows vocalume-render --csv gives
// for that sound saved to a file. Returns what AnalyseSound returns, or why
// the file could not be written.
std::string ExportFrameTable(SoundChunks sound, const AnalysisOptions& options, const std::string& path,
                             const AnalysisProgress& progress = {});

}  // namespace vocalume
