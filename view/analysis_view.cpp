#include "analysis_view.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "analysis_worker.h"
#include "column_painter.h"
#include "column_surface.h"
#include "framer.h"
#include "session_history.h"
#include "session_picture.h"
#include "sound_file_writer.h"
#include "wave_in.h"

namespace vocalume {
namespace {

constexpr const char* kConfigSection = "config";
constexpr int32_t kRingSizeSetting = 5000;
constexpr int32_t kSampleRate = 11025;
constexpr int32_t kWindowRefHz = 45;
constexpr int32_t kHopTenthsMs = 10;
constexpr int32_t kDbRange = 40;

// A refresh rate outside 1..30 would divide by zero or make capture buffers
// shorter than a frame; a ratio below 1 would divide by zero in the analysis.
// Such stored values (hand-edited or from a damaged store) fall back to the
// defaults.
bool RefreshUsable(int32_t refresh) { return refresh >= 1 && refresh <= kMaxRefresh; }
bool SamplingUsable(int32_t sampling) { return sampling >= 1; }
bool HistoryUsable(int32_t minutes)
{
    for (const int32_t choice : kHistoryMinuteChoices)
        if (minutes == choice)
            return true;
    return false;
}
constexpr const char* kHistorySection = "history";
constexpr const char* kMinus = "\xE2\x88\x92";  // the minus sign

std::string FormatInt(int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return text;
}

}  // namespace

struct CAnalysisView::Impl : WaveInHost {
    Impl(SettingsStore& s, AnalysisCore& c, std::unique_ptr<SoundSource> source, ViewOptions o)
        : store(s), core(c), options(o), waveIn(std::move(source))
    {
    }

    // The device's notices go to the window through the view's host. Buffer
    // notices arrive on the sound thread; the host posts them on.
    void PostBufferDone() override
    {
        if (host != nullptr)
            host->PostBufferDone();
    }
    void PostEndOfStream() override { soundEnded.store(true, std::memory_order_release); }
    void ShowMessage(const std::string& text) override
    {
        if (host != nullptr)
            host->ShowMessage(text);
    }

    void RequestPaint()
    {
        if (host != nullptr)
            host->RequestPaint();
    }

    // New framing parameters, a new accumulation buffer and a ring reset that
    // never overlaps the worker's work on a record. The session goes on with
    // the ring's new numbering.
    void ComputeFraming()
    {
        framer.ComputeFraming(core);
        session.BeginEra(framer.m_frameCounter);
    }

    // The session frame the live picture shows in its right-most column.
    int64_t LiveEnd() const
    {
        return session.FrameOf(static_cast<int64_t>(framer.m_frameCounter) - framer.m_framesPerBuffer - 6);
    }
    bool CanLookBack() const { return waveIn.m_isOpen == 0 && !pauseTimerSet; }

    // The first move back keeps the live picture, so that coming back to
    // the live end shows the very pixels shown at Pause.
    void EnterLookBack()
    {
        if (lookBack.Active())
            return;
        liveSnapshot.assign(surface.Pixels(), surface.Pixels() + surface.Stride() * surface.Height());
        snapshotWidth = surface.Width();
        snapshotHeight = surface.Height();
        lookBack.Enter(LiveEnd());
    }

    // Draws the whole picture from the kept column descriptions.
    void DrawLookBack()
    {
        const int64_t right = lookBack.RightFrame();
        if (right == LiveEnd() && surface.Restore(snapshotWidth, snapshotHeight, liveSnapshot))
            return;
        DrawSessionPicture(session, right, ColumnStyle{m_sampleRate, m_showWaveform, m_showTimescale},
                           surface);
    }

    void LookedBack(bool moved)
    {
        if (moved) {
            DrawLookBack();
            RequestPaint();
        }
        ShowStatus();
    }

    // The status bar's state and position, and the scroll bar.
    void ShowStatus()
    {
        if (host == nullptr)
            return;
        const bool recording = waveIn.m_isOpen != 0;
        const char* state = recording ? "Recording" : (lookBack.Active() ? "Looking back" : "Paused");
        const double seconds =
            static_cast<double>(session.EndSample() - session.FirstSample()) / m_sampleRate;
        std::string position = FormatSessionTime(seconds);
        if (lookBack.Active()) {
            char back[32];
            std::snprintf(back, sizeof back, "%.1f s of ",
                          static_cast<double>(LiveEnd() - lookBack.RightFrame()) * framer.m_hop / m_sampleRate);
            position = (LiveEnd() > lookBack.RightFrame() ? std::string(kMinus) : std::string()) + back + position;
        }
        if (state != shownState) {
            shownState = state;
            host->SetStatusText(0, shownState);
        }
        if (position != shownPosition) {
            shownPosition = position;
            host->SetStatusText(2, shownPosition);
        }
        const int32_t width = surface.Width();
        const int64_t first = session.FirstFrame();
        const int64_t liveEnd = LiveEnd();
        const bool bar = CanLookBack() && liveEnd + 1 - first > width;
        const int64_t right = lookBack.Active() ? lookBack.RightFrame() : liveEnd;
        host->ShowScrollBar(bar, right - width + 1 - first, width, liveEnd + 1 - first);
    }

    SettingsStore& store;
    AnalysisCore& core;
    ViewOptions options;
    ViewHost* host = nullptr;
    std::atomic<bool> soundEnded{false};

    int32_t m_ringSize = 0;
    int32_t m_sampleRate = 0;
    int32_t m_windowRefHz = 0;
    int32_t m_hopTenthsMs = 0;
    int32_t m_dbRange = 0;
    int32_t m_showWaveform = 1;
    int32_t m_showTimescale = 1;
    bool pauseTimerSet = false;

    Framer framer;
    ColumnSurface surface;
    SessionHistory session{kDefaultHistoryMinutes};
    LookBack lookBack;
    std::vector<uint8_t> liveSnapshot;
    int32_t snapshotWidth = 0;
    int32_t snapshotHeight = 0;
    std::string shownState;
    std::string shownPosition;
    // Last, so that it is closed (and its sound thread gone) before the rest.
    CWaveIn waveIn;
};

CAnalysisView::CAnalysisView(SettingsStore& store, AnalysisCore& core)
    : CAnalysisView(store, core, MakeLiveSoundSource())
{
}

CAnalysisView::CAnalysisView(SettingsStore& store, AnalysisCore& core,
                             std::unique_ptr<SoundSource> source, ViewOptions options)
    : m_impl(std::make_unique<Impl>(store, core, std::move(source), options))
{
    Impl& v = *m_impl;
    const int32_t refresh = store.GetProfileInt(kConfigSection, "refresh", kDefaultRefresh);
    const int32_t sampling = store.GetProfileInt(kConfigSection, "sampling", kDefaultSampling);
    v.m_showWaveform = store.GetProfileInt(kConfigSection, "waveform", 1);
    v.m_showTimescale = store.GetProfileInt(kConfigSection, "timescale", 1);
    const int32_t minutes = store.GetProfileInt(kHistorySection, "minutes", kDefaultHistoryMinutes);
    v.session.SetLimitMinutes(HistoryUsable(minutes) ? minutes : kDefaultHistoryMinutes);
    v.framer.m_onFramesCut = [&v](const int16_t* samples, int32_t count) {
        v.session.Recorded(samples, count, v.framer.m_frameCounter);
    };
    v.framer.m_refreshRate = RefreshUsable(refresh) ? refresh : kDefaultRefresh;
    core.undersampling.store(SamplingUsable(sampling) ? sampling : kDefaultSampling);

    v.m_ringSize = kRingSizeSetting;
    v.m_sampleRate = kSampleRate;
    v.m_windowRefHz = kWindowRefHz;
    v.m_hopTenthsMs = kHopTenthsMs;
    v.m_dbRange = kDbRange;
    v.framer.m_sampleRate = v.m_sampleRate;
    v.framer.m_windowRefHz = v.m_windowRefHz;
    v.framer.m_hopTenthsMs = v.m_hopTenthsMs;
    v.ComputeFraming();
}

CAnalysisView::~CAnalysisView()
{
    Impl& v = *m_impl;
    // The worker is told to end; nothing waits for it here.
    v.core.EndWorker();
    v.store.WriteProfileInt(kConfigSection, "refresh", v.framer.m_refreshRate);
    v.store.WriteProfileInt(kConfigSection, "sampling", v.core.undersampling.load());
    v.store.WriteProfileInt(kConfigSection, "waveform", v.m_showWaveform);
    v.store.WriteProfileInt(kConfigSection, "timescale", v.m_showTimescale);
    v.store.WriteProfileInt(kHistorySection, "minutes", v.session.LimitMinutes());
    v.waveIn.Close();
    v.host = nullptr;
}

void CAnalysisView::OnCreate(ViewHost& host)
{
    m_impl->host = &host;
    m_impl->ComputeFraming();
}

void CAnalysisView::OnSize(int width, int height)
{
    Impl& v = *m_impl;
    v.surface.Resize(width, height);
    if (v.lookBack.Active()) {
        // Drawn again at the new size from the kept descriptions, from the
        // same right-most frame.
        v.DrawLookBack();
        v.ShowStatus();
    }
    v.RequestPaint();
}

void CAnalysisView::OnPaint()
{
    Impl& v = *m_impl;
    if (v.lookBack.Active()) {
        if (!v.surface.IsValid())
            v.DrawLookBack();
        return;
    }
    PaintColumns(v.core.ring, Fields(), v.surface, &v.session);
}

void CAnalysisView::OnStart()
{
    Impl& v = *m_impl;
    if (IsRecording())
        return;
    // A Start before the pause timer has fired keeps the worker: left
    // pending, the timer would end it while recording runs again.
    if (v.pauseTimerSet) {
        if (v.host != nullptr)
            v.host->KillPauseTimer();
        v.pauseTimerSet = false;
    }
    v.lookBack.Leave();
    v.core.ring.InvalidateAll();
    // A device that fails to open has told the user; the rest still runs, so
    // the frames already held are analysed and shown.
    v.waveIn.Open(&v, v.m_sampleRate, v.framer.m_samplesPerBuffer);
    if (v.options.workerThread)
        v.core.StartWorker();
    v.surface.InvalidateAll();
    v.RequestPaint();
    v.ShowStatus();
}

void CAnalysisView::OnPause()
{
    Impl& v = *m_impl;
    if (!IsRecording())
        return;
    v.waveIn.Close();
    // The worker goes on with the frames already in the ring until the timer.
    if (v.host != nullptr)
        v.host->SetPauseTimer(kPauseTimerMs);
    v.pauseTimerSet = true;
    v.ShowStatus();
}

void CAnalysisView::OnTimer()
{
    Impl& v = *m_impl;
    // A timer notice that was already on its way when a Start cancelled the
    // timer must not end the worker of the new recording.
    if (!v.pauseTimerSet)
        return;
    RedrawAll();
    if (v.host != nullptr)
        v.host->KillPauseTimer();
    v.pauseTimerSet = false;
    v.core.EndWorker();
    v.ShowStatus();
}

void CAnalysisView::RedrawAll()
{
    Impl& v = *m_impl;
    if (v.lookBack.Active()) {
        v.DrawLookBack();
        v.RequestPaint();
        return;
    }
    v.core.ring.InvalidateAll();
    v.surface.InvalidateAll();
    v.RequestPaint();
}

void CAnalysisView::ToggleRecording()
{
    if (IsRecording())
        OnPause();
    else
        OnStart();
}

void CAnalysisView::OnChar(int character)
{
    switch (character) {
    case ' ': ToggleRecording(); break;
    case 'R':
    case 'r': RedrawAll(); break;
    case 27:
        if (IsRecording())
            OnPause();
        break;
    default: break;
    }
}

void CAnalysisView::OnConfigure()
{
    Impl& v = *m_impl;
    if (v.host == nullptr)
        return;
    const int32_t oldRefresh = v.framer.m_refreshRate;
    const int32_t oldSampling = v.core.undersampling.load();
    ConfigValues values;
    values.refresh = FormatInt(oldRefresh);
    values.sampling = FormatInt(oldSampling);
    values.waveform = v.m_showWaveform;
    values.timescale = v.m_showTimescale;
    if (!v.host->RunConfigDialog(values))
        return;  // cancelled: nothing changes, not even the picture

    // A list left without a selection, or a text that is no usable number,
    // keeps the value it had.
    int32_t refresh = std::atoi(values.refresh.c_str());
    int32_t sampling = std::atoi(values.sampling.c_str());
    if (!RefreshUsable(refresh))
        refresh = oldRefresh;
    if (!SamplingUsable(sampling))
        sampling = oldSampling;

    if (refresh != oldRefresh || sampling != oldSampling) {
        if (IsRecording())
            OnPause();
        v.framer.m_refreshRate = refresh;
        v.core.undersampling.store(sampling);
        // Also for a new ratio alone: frames analysed at the old ratio are
        // not mixed with new ones. The live picture is cleared, so there is
        // no live end to look back from; the session stays.
        v.lookBack.Leave();
        v.ComputeFraming();
    }
    v.m_showWaveform = values.waveform;
    v.m_showTimescale = values.timescale;
    RedrawAll();
}

void CAnalysisView::OnWimData()
{
    Impl& v = *m_impl;
    const WimDataResult result = v.framer.OnWimData(v.waveIn, v.core);
    if (result.scroll && result.framesCut > 0) {
        v.surface.ScrollLeft(result.framesCut);
        v.RequestPaint();
        v.ShowStatus();
    }
}

void CAnalysisView::OnKey(ViewKey key)
{
    Impl& v = *m_impl;
    if (!v.CanLookBack())
        return;
    v.EnterLookBack();
    v.LookedBack(v.lookBack.Move(key, v.surface.Width(), v.session.FirstFrame(), v.LiveEnd()));
}

void CAnalysisView::OnWheel(int notches)
{
    Impl& v = *m_impl;
    if (!v.CanLookBack() || notches == 0)
        return;
    v.EnterLookBack();
    v.LookedBack(v.lookBack.Wheel(notches, v.surface.Width(), v.session.FirstFrame(), v.LiveEnd()));
}

void CAnalysisView::OnScrollTo(int64_t leftFrame)
{
    Impl& v = *m_impl;
    if (!v.CanLookBack())
        return;
    v.EnterLookBack();
    v.LookedBack(v.lookBack.ScrollTo(v.session.FirstFrame() + leftFrame, v.surface.Width(),
                                     v.session.FirstFrame(), v.LiveEnd()));
}

bool CAnalysisView::IsLookingBack() const { return m_impl->lookBack.Active(); }

std::string CAnalysisView::SaveRecording(const std::string& path)
{
    Impl& v = *m_impl;
    const std::string failure = WriteSoundFile(path, v.session.Sound(), v.m_sampleRate);
    if (failure.empty())
        v.session.MarkSaved();
    return failure;
}

std::string CAnalysisView::SavePicture(const std::string& path) const
{
    return m_impl->surface.WritePng(path);
}

bool CAnalysisView::NewSession()
{
    Impl& v = *m_impl;
    if (v.session.HasUnsavedSound() && v.host != nullptr &&
        !v.host->AskYesNo("Discard the recording so far?"))
        return false;
    if (IsRecording())
        OnPause();
    v.lookBack.Leave();
    v.session.Clear();
    v.ComputeFraming();
    RedrawAll();
    v.ShowStatus();
    return true;
}

const SessionHistory& CAnalysisView::Session() const { return m_impl->session; }

bool CAnalysisView::IsRecording() const { return m_impl->waveIn.m_isOpen != 0; }
bool CAnalysisView::IsPauseTimerSet() const { return m_impl->pauseTimerSet; }

int CAnalysisView::SurfaceWidth() const { return m_impl->surface.Width(); }
int CAnalysisView::SurfaceHeight() const { return m_impl->surface.Height(); }
const uint8_t* CAnalysisView::SurfaceRgb() const { return m_impl->surface.Pixels(); }

const ColumnSurface& CAnalysisView::Surface() const { return m_impl->surface; }
const Framer& CAnalysisView::Framing() const { return m_impl->framer; }
AnalysisCore& CAnalysisView::Core() { return m_impl->core; }
CWaveIn& CAnalysisView::WaveIn() { return m_impl->waveIn; }

PaintFields CAnalysisView::Fields() const
{
    const Impl& v = *m_impl;
    PaintFields f;
    f.m_framesPerBuffer = v.framer.m_framesPerBuffer;
    f.m_hop = v.framer.m_hop;
    f.m_ringSize = v.m_ringSize;
    f.m_sampleRate = v.m_sampleRate;
    f.m_dbRange = v.m_dbRange;
    f.m_showWaveform = v.m_showWaveform;
    f.m_showTimescale = v.m_showTimescale;
    return f;
}

int32_t CAnalysisView::RefreshRate() const { return m_impl->framer.m_refreshRate; }
int32_t CAnalysisView::Undersampling() const { return m_impl->core.undersampling.load(); }
int32_t CAnalysisView::ShowWaveform() const { return m_impl->m_showWaveform; }
int32_t CAnalysisView::ShowTimescale() const { return m_impl->m_showTimescale; }
bool CAnalysisView::SoundEnded() const
{
    return m_impl->soundEnded.load(std::memory_order_acquire);
}

}  // namespace vocalume
