#include "page_bridge.h"

#include <emscripten.h>

#include <cstdlib>

// Each call goes to the page's object Module.page (web/vocalume.js).
// clang-format off
EM_JS(void, page_request_paint, (int left, int right), { Module.page.requestPaint(left, right); });
EM_JS(void, page_set_timer, (int id, int ms, int repeat), { Module.page.setTimer(id, ms, repeat !== 0); });
EM_JS(void, page_kill_timer, (int id), { Module.page.killTimer(id); });
EM_JS(void, page_show_message, (const char* text), { Module.page.showMessage(UTF8ToString(text)); });
EM_JS(int, page_ask_yes_no, (const char* question), { return Module.page.askYesNo(UTF8ToString(question)) ? 1 : 0; });
// A dialog of the page's, `name` (configDialog, targetDialog), shown with
// `offer`; its answer, or "" for none yet.
EM_JS(char*, page_dialog, (const char* name, const char* offer), {
    const answer = Module.page[UTF8ToString(name)](UTF8ToString(offer)) || "";
    const size = lengthBytesUTF8(answer) + 1;
    const text = _malloc(size);
    stringToUTF8(answer, text, size);
    return text;
});
EM_JS(void, page_set_status, (int field, const char* text), { Module.page.setStatus(field, UTF8ToString(text)); });
EM_JS(void, page_show_scroll_bar, (int shown, double position, double page, double range),
      { Module.page.showScrollBar(shown !== 0, position, page, range); });
EM_JS(char*, page_inputs, (), {
    const lines = Module.page.inputs();
    const size = lengthBytesUTF8(lines) + 1;
    const text = _malloc(size);
    stringToUTF8(lines, text, size);
    return text;
});
EM_JS(void, page_cancel_job, (), { Module.page.cancelJob(); });
EM_JS(int, page_open_microphone, (const char* input, int rate),
      { return Module.page.openMicrophone(UTF8ToString(input), rate); });
EM_JS(void, page_close_microphone, (), { Module.page.closeMicrophone(); });
EM_JS(int, page_play_begin, (double count, int rate), { return Module.page.playBegin(count, rate) ? 1 : 0; });
EM_JS(void, page_play_fill, (const int16_t* samples, double count, double at),
      { Module.page.playFill(HEAP16.subarray(samples >> 1, (samples >> 1) + count), at); });
EM_JS(void, page_play_start, (double from), { Module.page.playStart(from); });
EM_JS(void, page_stop_playing, (), { Module.page.stopPlaying(); });
EM_JS(double, page_heard_sample, (), { return Module.page.heardSample(); });
EM_JS(int, page_play_finished, (), { return Module.page.playFinished() ? 1 : 0; });
EM_JS(char*, page_read_setting, (const char* key), {
    const value = Module.page.readSetting(UTF8ToString(key));
    if (value === null || value === undefined)
        return 0;
    const size = lengthBytesUTF8(value) + 1;
    const text = _malloc(size);
    stringToUTF8(value, text, size);
    return text;
});
EM_JS(void, page_write_setting, (const char* key, const char* value),
      { Module.page.writeSetting(UTF8ToString(key), UTF8ToString(value)); });
// clang-format on

namespace vocalume::page {
namespace {

// Text the page allocated for us, taken over and freed.
std::string Taken(char* text)
{
    std::string value = text != nullptr ? text : "";
    std::free(text);
    return value;
}

}  // namespace

void RequestPaint(int left, int right) { page_request_paint(left, right); }
void SetTimer(int id, int milliseconds, bool repeat) { page_set_timer(id, milliseconds, repeat ? 1 : 0); }
void KillTimer(int id) { page_kill_timer(id); }
void ShowMessage(const std::string& text) { page_show_message(text.c_str()); }
bool AskYesNo(const std::string& question) { return page_ask_yes_no(question.c_str()) != 0; }
std::string ConfigDialog(const std::string& offer) { return Taken(page_dialog("configDialog", offer.c_str())); }
std::string TargetDialog(const std::string& offer) { return Taken(page_dialog("targetDialog", offer.c_str())); }
void SetStatus(int field, const std::string& text) { page_set_status(field, text.c_str()); }
void ShowScrollBar(bool shown, double position, double page, double range)
{
    page_show_scroll_bar(shown ? 1 : 0, position, page, range);
}
std::string Inputs() { return Taken(page_inputs()); }
void CancelJob() { page_cancel_job(); }
int OpenMicrophone(const std::string& input, int32_t rate) { return page_open_microphone(input.c_str(), rate); }
void CloseMicrophone() { page_close_microphone(); }
bool Play(const SoundChunks& samples, int64_t from, int32_t rate)
{
    if (page_play_begin(static_cast<double>(samples.Size() - from), rate) == 0)
        return false;
    for (int64_t at = from; at < samples.Size();) {
        const std::span<const int16_t> run = samples.Run(at, samples.Size() - at);
        page_play_fill(run.data(), static_cast<double>(run.size()), static_cast<double>(at - from));
        at += static_cast<int64_t>(run.size());
    }
    page_play_start(static_cast<double>(from));
    return true;
}
void StopPlaying() { page_stop_playing(); }
double HeardSample() { return page_heard_sample(); }
bool PlayFinished() { return page_play_finished() != 0; }

bool ReadSetting(const std::string& key, std::string& value)
{
    char* text = page_read_setting(key.c_str());
    if (text == nullptr)
        return false;
    value = Taken(text);
    return true;
}

void WriteSetting(const std::string& key, const std::string& value) { page_write_setting(key.c_str(), value.c_str()); }

}  // namespace vocalume::page
