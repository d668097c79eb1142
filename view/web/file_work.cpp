#include "file_work.h"

#include <emscripten.h>

#include "analysis_view.h"
#include "model_lane.h"
#include "session_bytes.h"
#include "session_history.h"

// clang-format off
EM_JS(int, worker_progress, (double share), { return Module.reportProgress(share) ? 1 : 0; });
// clang-format on

namespace vocalume {

AnalysisOptions OptionsFromIntegers(const int32_t* v)
{
    AnalysisOptions o;
    o.width = v[0];
    o.height = v[1];
    o.refresh = v[2];
    o.sampling = v[3];
    o.waveform = v[4] != 0;
    o.timescale = v[5] != 0;
    o.palette = v[6];
    o.whole = v[7] != 0;
    o.paint = v[8] != 0;
    o.frameTable = v[9] != 0;
    o.pitchLine = v[10] != 0;
    o.session = v[11] != 0;
    o.keepMinutes = v[12];
    // The page's worker has no threads of its own to spread the work over.
    o.threads = 1;
    return o;
}

}  // namespace vocalume

namespace {

std::string g_result;
std::vector<uint8_t> g_bytes;

bool Progress(double share) { return worker_progress(share) != 0; }

}  // namespace

extern "C" {

// Analyses the sound file `path` in the worker's memory: as the session
// (`model` 0) or as the model (1). The result's bytes follow.
EMSCRIPTEN_KEEPALIVE const char* vocalume_analyse_file(const char* path, int model, const int32_t* options)
{
    using namespace vocalume;
    g_bytes.clear();
    AnalysisOptions o = OptionsFromIntegers(options);
    if (model != 0) {
        SessionHistory session(kDefaultHistoryMinutes);
        g_result = AnalyseModelFile(path, o, session, Progress);
        if (g_result.empty())
            g_bytes = SessionBytes(session);
    } else {
        RenderedPicture picture;
        g_result = AnalyseSoundFile(path, o, picture, Progress);
        if (g_result.empty() && picture.session)
            g_bytes = SessionBytes(*picture.session);
    }
    return g_result.c_str();
}

// Writes the frame table of `count` samples of a session's sound to `path`.
EMSCRIPTEN_KEEPALIVE const char* vocalume_export_frames(const int16_t* sound, int count, const int32_t* options,
                                                        const char* path)
{
    using namespace vocalume;
    g_bytes.clear();
    g_result = ExportFrameTable(SoundChunks(std::vector<int16_t>(sound, sound + count)), OptionsFromIntegers(options),
                                path, Progress);
    return g_result.c_str();
}

EMSCRIPTEN_KEEPALIVE const uint8_t* vocalume_result_bytes() { return g_bytes.data(); }
EMSCRIPTEN_KEEPALIVE int vocalume_result_size() { return static_cast<int>(g_bytes.size()); }

}  // extern "C"
