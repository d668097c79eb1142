#include "web_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include "column_surface.h"
#include "config_exchange.h"
#include "file_analysis.h"
#include "file_commands.h"
#include "framer.h"
#include "input_choice.h"
#include "model_lane.h"
#include "page_bridge.h"
#include "session_bytes.h"
#include "session_history.h"
#include "target_note.h"
#include "web_sound_output.h"
#include "web_sound_source.h"

namespace vocalume {
namespace {

constexpr int kJobTickMs = 100;
// Work that ends within this many ticks never shows in the status bar.
constexpr int kJobQuietTicks = 5;

std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string List(const std::vector<std::string>& entries, int selected)
{
    std::string out = "{\"entries\":[";
    for (size_t i = 0; i < entries.size(); ++i)
        out += (i > 0 ? "," : "") + Quoted(entries[i]);
    return out + "],\"selected\":" + std::to_string(selected) + "}";
}

// The integer after "key": in the page's answer; `fallback` without one.
int AnswerField(const std::string& answer, const std::string& key, int fallback)
{
    const std::string pattern = "\"" + key + "\":";
    const size_t at = answer.find(pattern);
    return at == std::string::npos ? fallback : std::atoi(answer.c_str() + at + pattern.size());
}

std::vector<InputChoice> PageInputs()
{
    std::vector<InputChoice> inputs;
    const std::string lines = page::Inputs();
    size_t begin = 0;
    while (begin < lines.size()) {
        size_t end = lines.find('\n', begin);
        if (end == std::string::npos)
            end = lines.size();
        const std::string line = lines.substr(begin, end - begin);
        const size_t tab = line.find('\t');
        if (tab != std::string::npos && tab > 0)
            inputs.push_back({line.substr(0, tab), line.substr(tab + 1)});
        begin = end + 1;
    }
    return inputs;
}

std::vector<std::string> HistoryEntries()
{
    std::vector<std::string> entries;
    for (const int32_t minutes : kHistoryMinuteChoices)
        entries.push_back(std::to_string(minutes));
    return entries;
}

}  // namespace

CWebHost::CWebHost(int width, int height)
    : m_core(std::make_unique<AnalysisCore>()), m_state(std::make_unique<AnalyserState>())
{
    auto source = std::make_unique<WebSoundSource>();
    m_source = source.get();
    // No worker thread: the scan runs here after every buffer.
    m_view = std::make_unique<CAnalysisView>(m_store, *m_core, std::move(source), ViewOptions{false, true});
    m_view->SetInputLister(&PageInputs);
    m_view->SetSoundOutput(std::make_unique<WebSoundOutput>());
    m_view->OnCreate(*this);
    m_view->OnSize(width, height);
}

CWebHost::~CWebHost()
{
    m_view.reset();
    m_core->Shutdown();
}

void CWebHost::TakeNotices()
{
    if (m_taking)
        return;
    m_taking = true;
    while (m_notices > 0) {
        --m_notices;
        m_view->OnWimData();
        m_core->ScanUntilIdle(*m_state);
    }
    m_taking = false;
}

void CWebHost::OnChar(int character)
{
    // While a file is opened or exported, Esc cancels it and no other
    // character changes the session.
    if (Busy()) {
        if (character == 27)
            page::CancelJob();
        return;
    }
    m_view->OnChar(character);
    TakeNotices();
}

void CWebHost::OnKey(ViewKey key)
{
    m_view->OnKey(key);
    TakeNotices();
}

void CWebHost::OnCommand(int id)
{
    // Commands that would change the session wait while a file is worked on.
    const bool changesSession =
        id == ID_RECORD_START || id == ID_CONFIGURE || id == ID_NEW_SESSION || id == ID_CLOSE_MODEL;
    if (changesSession && Busy())
        return;
    switch (id) {
    case ID_RECORD_START: m_view->OnStart(); break;
    case ID_RECORD_PAUSE: m_view->OnPause(); break;
    case ID_CONFIGURE: m_view->OnConfigure(); break;
    case ID_NEW_SESSION: m_view->NewSession(); break;
    case ID_PITCH_LINE: m_view->SetPitchLine(!m_view->Settings().pitchLine); break;
    case ID_TARGET_NOTE: m_view->ChooseTargetNote(); break;
    case ID_FOLLOW_TIMING: m_view->SetFollowTiming(!m_view->Settings().followTiming); break;
    case ID_ZOOM_OUT: m_view->ZoomOut(); break;
    case ID_ZOOM_IN: m_view->ZoomIn(); break;
    case ID_CLOSE_MODEL: m_view->CloseModel(); break;
    default: break;
    }
    m_view->SaveSettings();
    TakeNotices();
}

void CWebHost::OnTimer(int id)
{
    if (id == kPauseTimerId) {
        m_view->OnTimer();
    } else if (id == kPlayTimerId) {
        m_view->OnPlayTimer();
    } else if (id == kReviewTimerId) {
        m_view->OnReviewTimer();
    } else if (id == kJobTimerId && Busy()) {
        if (++m_jobTicks >= kJobQuietTicks)
            ShowJob(true);
    }
    TakeNotices();
}

void CWebHost::OnSound(const float* samples, int32_t count, int32_t rate)
{
    m_source->Heard(samples, count, rate);
    TakeNotices();
}

void CWebHost::OnMicrophoneLost(const std::string& reason)
{
    m_source->Lost(reason);
    TakeNotices();
}

const uint8_t* CWebHost::Paint(int left, int right)
{
    if (left < 0) {
        left = 0;
        right = std::numeric_limits<int>::max();
    }
    m_view->OnPaint(left, right);
    const int width = m_view->ShownWidth();
    const int height = m_view->ShownHeight();
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(std::max(height, 0)) * 4;
    if (m_rgba.size() != bytes) {
        m_rgba.assign(bytes, 255);
        left = 0;
        right = width - 1;
    }
    left = std::max(left, 0);
    right = std::min(right, width - 1);
    const uint8_t* rgb = m_view->ShownRgb();
    const size_t stride = m_view->ShownStride();
    for (int y = 0; y < height && left <= right && rgb != nullptr; ++y) {
        const uint8_t* from = rgb + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * 3;
        uint8_t* to =
            m_rgba.data() + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(left)) * 4;
        for (int x = left; x <= right; ++x, from += 3, to += 4) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
    return m_rgba.data();
}

bool CWebHost::BeginJob(FileWork work)
{
    m_work = std::move(work);
    m_jobPercent = 0;
    m_jobTicks = 0;
    page::SetTimer(kJobTimerId, kJobTickMs, true);
    return true;
}

void CWebHost::ShowJob(bool shown)
{
    // The state field is lent to the job and handed back with what the view
    // last put there.
    if (shown)
        page::SetStatus(static_cast<int>(StatusField::State),
                        m_work->label + "\xE2\x80\xA6 " + std::to_string(m_jobPercent) + " %");
    else if (m_jobShown)
        page::SetStatus(static_cast<int>(StatusField::State), m_stateText);
    m_jobShown = shown;
}

bool CWebHost::BeginOpenRecording(const std::string& name)
{
    if (Busy())
        return false;
    std::optional<FileWork> work = vocalume::BeginOpenRecording(*m_view, name);
    TakeNotices();
    return work && BeginJob(std::move(*work));
}

bool CWebHost::BeginOpenModel(const std::string& name)
{
    return !Busy() && BeginJob(vocalume::BeginOpenModel(*m_view, name));
}

bool CWebHost::BeginExport()
{
    return !Busy() && CanExportFrames(*m_view, *this) && BeginJob(BeginExportFrames(*m_view));
}

void CWebHost::EndJob(Job job, const std::string& result, const uint8_t* bytes, size_t size, const std::string& name,
                      const std::string& path)
{
    page::KillTimer(kJobTimerId);
    ShowJob(false);
    m_work.reset();
    const auto session = [&] {
        return result.empty() ? SessionFromBytes(bytes, size) : std::optional<SessionHistory>();
    };
    switch (job) {
    case Job::Recording: EndOpenRecording(*m_view, *this, result, session(), name); break;
    case Job::Model: EndOpenModel(*m_view, *this, result, session(), name, path); break;
    case Job::Export: EndExportFrames(*this, result); break;
    }
    m_view->SaveSettings();
    TakeNotices();
}

std::vector<int32_t> CWebHost::AnalysisOptionsNow() const
{
    const AnalysisOptions o = m_work ? m_work->options : WholeAnalysisOptions(*m_view);
    return {o.width,   o.height, o.refresh, o.sampling,   o.waveform,  o.timescale,  o.palette,
            o.whole,   o.paint,  o.frameTable, o.pitchLine, o.session, o.keepMinutes};
}

double CWebHost::NewestShownSample() const
{
    const int64_t frame = m_view->FrameAtColumn(m_view->Surface().Width() - 1);
    if (frame < 0)
        return -1.0;
    return static_cast<double>(m_view->Session().SampleOfFrame(frame) + m_view->Framing().m_windowLength);
}

int64_t CWebHost::SamplesHeard() const { return m_source->Delivered(); }

void CWebHost::RequestPaint() { page::RequestPaint(-1, -1); }
void CWebHost::SetPauseTimer(int milliseconds) { page::SetTimer(kPauseTimerId, milliseconds, false); }
void CWebHost::KillPauseTimer() { page::KillTimer(kPauseTimerId); }
void CWebHost::SetPlayTimer(int milliseconds) { page::SetTimer(kPlayTimerId, milliseconds, true); }
void CWebHost::KillPlayTimer() { page::KillTimer(kPlayTimerId); }
void CWebHost::SetReviewTimer(int milliseconds) { page::SetTimer(kReviewTimerId, milliseconds, true); }
void CWebHost::KillReviewTimer() { page::KillTimer(kReviewTimerId); }
void CWebHost::RequestPaintColumns(int left, int right) { page::RequestPaint(left, right); }
void CWebHost::ShowMessage(const std::string& text) { page::ShowMessage(text); }

bool CWebHost::RunTargetDialog(TargetValues& values)
{
    const std::string answer = page::TargetDialog("{\"note\":" + List(TargetNoteEntries(), values.note) +
                                                  ",\"cents\":" + List(TargetCentsEntries(), values.cents) + "}");
    if (answer.empty())
        return false;
    values.note = AnswerField(answer, "note", -1);
    values.cents = AnswerField(answer, "cents", -1);
    return true;
}

bool CWebHost::RunConfigDialog(ConfigValues& values)
{
    // The lists as the desktop's dialog offers them: the default input
    // first, and a chosen input that is not there now by its name, so that
    // OK keeps it.
    std::vector<std::string> inputs{kDefaultInputName};
    int chosenInput = 0;
    for (const InputChoice& input : values.inputs) {
        inputs.push_back(input.description);
        if (input.name == values.input)
            chosenInput = static_cast<int>(inputs.size()) - 1;
    }
    if (!values.input.empty() && chosenInput == 0) {
        values.inputs.push_back({values.input, values.input});
        inputs.push_back(values.input);
        chosenInput = static_cast<int>(inputs.size()) - 1;
    }
    const std::vector<std::string> history = HistoryEntries();
    const std::string offer =
        "{\"refresh\":" + List(RefreshRateEntries(), FirstEntryBeginningWith(RefreshRateEntries(), values.refresh)) +
        ",\"sampling\":" +
        List(SamplingRatioEntries(), FirstEntryBeginningWith(SamplingRatioEntries(), values.sampling)) +
        ",\"waveform\":" + std::to_string(values.waveform != 0 ? 1 : 0) +
        ",\"timescale\":" + std::to_string(values.timescale != 0 ? 1 : 0) +
        ",\"palette\":" + List(PaletteEntries(), EntryIndexOrFirst(PaletteEntries(), values.palette)) +
        ",\"input\":" + List(inputs, chosenInput) + ",\"history\":" +
        List(history, static_cast<int>(std::find(history.begin(), history.end(), values.history) - history.begin())) +
        "}";
    const std::string answer = page::ConfigDialog(offer);
    if (answer.empty())
        return false;
    values.refresh = TextOfSelection(RefreshRateEntries(), AnswerField(answer, "refresh", -1), values.refresh);
    values.sampling = TextOfSelection(SamplingRatioEntries(), AnswerField(answer, "sampling", -1), values.sampling);
    values.waveform = AnswerField(answer, "waveform", values.waveform) != 0 ? 1 : 0;
    values.timescale = AnswerField(answer, "timescale", values.timescale) != 0 ? 1 : 0;
    values.palette = EntryIndexOrFirst(PaletteEntries(), AnswerField(answer, "palette", values.palette));
    const int input = AnswerField(answer, "input", -1);
    if (input >= 0 && input <= static_cast<int>(values.inputs.size()))
        values.input = input == 0 ? std::string() : values.inputs[static_cast<size_t>(input - 1)].name;
    values.history = TextOfSelection(history, AnswerField(answer, "history", -1), values.history);
    return true;
}

void CWebHost::SetStatusText(StatusField field, const std::string& text)
{
    if (field == StatusField::State) {
        m_stateText = text;
        if (m_jobShown)
            return;
    }
    page::SetStatus(static_cast<int>(field), text);
}

void CWebHost::ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range)
{
    page::ShowScrollBar(shown, static_cast<double>(position), static_cast<double>(page), static_cast<double>(range));
}

bool CWebHost::AskYesNo(const std::string& question) { return page::AskYesNo(question); }

// The page has no three-way question yet, nor a save that the question could
// wait for (a download is the browser's): it asks before dropping unsaved
// sound, and the user saves with File > Save recording first.
SaveAnswer CWebHost::AskSaveRecording()
{
    return page::AskYesNo("Discard the recording so far?") ? SaveAnswer::DontSave : SaveAnswer::Cancel;
}

}  // namespace vocalume
