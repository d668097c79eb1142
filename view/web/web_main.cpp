// The browser edition's entry points: what the page's script calls. The page
// (web/page.js) maps its keys, menus, timers, microphone and files onto
// these; each goes to the view's host and from there to the view.
#include <emscripten.h>

#include <memory>
#include <span>
#include <string>

#include "analysis_view.h"
#include "file_work.h"
#include "guide_text.h"
#include "recording_format.h"
#include "vocalume_version.h"
#include "web_host.h"

using vocalume::CWebHost;

namespace {

std::unique_ptr<CWebHost> g_host;
std::string g_text;
int g_runSize = 0;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* vocalume_version() { return vocalume::kVersion; }
EMSCRIPTEN_KEEPALIVE int vocalume_recording_rate() { return vocalume::kRecordingRate; }

EMSCRIPTEN_KEEPALIVE void vocalume_start(int width, int height) { g_host = std::make_unique<CWebHost>(width, height); }

EMSCRIPTEN_KEEPALIVE void vocalume_size(int width, int height) { g_host->View().OnSize(width, height); }

EMSCRIPTEN_KEEPALIVE void vocalume_char(int character) { g_host->OnChar(character); }

// 0 to 5: left, right, page up, page down, home, end.
EMSCRIPTEN_KEEPALIVE void vocalume_key(int key)
{
    if (key >= 0 && key <= static_cast<int>(vocalume::ViewKey::End))
        g_host->OnKey(static_cast<vocalume::ViewKey>(key));
}

EMSCRIPTEN_KEEPALIVE void vocalume_wheel(int notches) { g_host->View().OnWheel(notches); }
EMSCRIPTEN_KEEPALIVE void vocalume_scroll_to(double leftFrame)
{
    g_host->View().OnScrollTo(static_cast<int64_t>(leftFrame));
}
EMSCRIPTEN_KEEPALIVE void vocalume_pointer(int x, int y) { g_host->View().OnPointerMove(x, y); }
EMSCRIPTEN_KEEPALIVE void vocalume_pointer_leave() { g_host->View().OnPointerLeave(); }
EMSCRIPTEN_KEEPALIVE void vocalume_click(int x, int y) { g_host->View().OnPictureClick(x, y); }

// The menu commands, by the view's command identifiers.
EMSCRIPTEN_KEEPALIVE void vocalume_command(int id) { g_host->OnCommand(id); }
EMSCRIPTEN_KEEPALIVE int vocalume_pitch_line() { return g_host->View().Settings().pitchLine ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int vocalume_follow_timing() { return g_host->View().Settings().followTiming ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int vocalume_zoom() { return g_host->View().Settings().zoom; }
EMSCRIPTEN_KEEPALIVE int vocalume_has_model() { return g_host->View().HasModel() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int vocalume_recording() { return g_host->View().IsRecording() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int vocalume_busy() { return g_host->Busy() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE void vocalume_save_settings() { g_host->View().SaveSettings(); }

// The texts the page draws over the picture (the first take's hint, the
// lanes' names), one a line: x, y, 1 when centred on (x, y), the text; tabs
// between.
EMSCRIPTEN_KEEPALIVE const char* vocalume_picture_texts()
{
    g_text.clear();
    for (const vocalume::PictureText& t : g_host->View().PictureTexts())
        g_text += std::to_string(t.x) + '\t' + std::to_string(t.y) + '\t' + (t.centred ? "1" : "0") + '\t' + t.text +
                  '\n';
    return g_text.c_str();
}
// Help › Keys and colours.
EMSCRIPTEN_KEEPALIVE const char* vocalume_keys_and_colours() { return vocalume::KeysAndColoursText(); }

EMSCRIPTEN_KEEPALIVE void vocalume_timer(int id) { g_host->OnTimer(id); }

EMSCRIPTEN_KEEPALIVE void vocalume_sound(const float* samples, int count, int rate)
{
    g_host->OnSound(samples, count, rate);
}
EMSCRIPTEN_KEEPALIVE void vocalume_microphone_lost(const char* reason) { g_host->OnMicrophoneLost(reason); }

EMSCRIPTEN_KEEPALIVE const uint8_t* vocalume_paint(int left, int right) { return g_host->Paint(left, right); }
EMSCRIPTEN_KEEPALIVE int vocalume_shown_width() { return g_host->View().ShownWidth(); }
EMSCRIPTEN_KEEPALIVE int vocalume_shown_height() { return g_host->View().ShownHeight(); }

// Saving: the file is written in the page's memory, which the page then
// offers as a download. Empty on success, else why not.
EMSCRIPTEN_KEEPALIVE const char* vocalume_save_recording(const char* path)
{
    g_text = g_host->View().SaveRecording(path);
    return g_text.c_str();
}
EMSCRIPTEN_KEEPALIVE const char* vocalume_save_picture(const char* path)
{
    g_text = g_host->View().SavePicture(path);
    return g_text.c_str();
}

// File work: 1 when the page is to run it in its worker.
EMSCRIPTEN_KEEPALIVE int vocalume_begin_open_recording(const char* name)
{
    return g_host->BeginOpenRecording(name) ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE int vocalume_begin_open_model(const char* name) { return g_host->BeginOpenModel(name) ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int vocalume_begin_export() { return g_host->BeginExport() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE void vocalume_job_progress(int percent) { g_host->JobProgress(percent); }
// `job`: 0 a recording, 1 a model, 2 a frame table.
EMSCRIPTEN_KEEPALIVE void vocalume_end_job(int job, const char* result, const uint8_t* bytes, int size,
                                           const char* name, const char* path)
{
    g_host->EndJob(static_cast<CWebHost::Job>(job), result, bytes, static_cast<size_t>(size), name, path);
}
EMSCRIPTEN_KEEPALIVE const int32_t* vocalume_analysis_options()
{
    static std::vector<int32_t> options;
    options = g_host->AnalysisOptionsNow();
    return options.data();
}
// The sound to export, run by run as it lies in memory: the page copies each
// run into the one buffer it hands to its worker.
EMSCRIPTEN_KEEPALIVE double vocalume_export_sound_size() { return static_cast<double>(g_host->ExportSound().Size()); }
EMSCRIPTEN_KEEPALIVE const int16_t* vocalume_export_run(double from)
{
    const vocalume::SoundChunks& sound = g_host->ExportSound();
    const auto at = static_cast<int64_t>(from);
    const std::span<const int16_t> run = sound.Run(at, sound.Size() - at);
    g_runSize = static_cast<int>(run.size());
    return run.data();
}
EMSCRIPTEN_KEEPALIVE int vocalume_export_run_size() { return g_runSize; }
EMSCRIPTEN_KEEPALIVE const char* vocalume_remembered_model()
{
    g_text = g_host->View().RememberedModel();
    return g_text.c_str();
}

// For the page's measurements.
EMSCRIPTEN_KEEPALIVE double vocalume_newest_shown_sample() { return g_host->NewestShownSample(); }
EMSCRIPTEN_KEEPALIVE double vocalume_samples_heard() { return static_cast<double>(g_host->SamplesHeard()); }

}  // extern "C"
