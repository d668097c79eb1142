// The analysis view's core: made and ended, the window's size and paints,
// recording (Start, Pause and its timer, the device's notices), the keys,
// Configure and the pointer. The commands on the whole session, the model
// and playing back are in view_commands.cpp.
#include "analysis_view.h"

#include <algorithm>
#include <climits>
#include <string>
#include <utility>

#include "analysis_view_impl.h"
#include "column_painter.h"

namespace vocalume {

CAnalysisView::CAnalysisView(SettingsStore& store, AnalysisCore& core, std::unique_ptr<SoundSource> source,
                             ViewOptions options)
    : m_impl(std::make_unique<Impl>(&store, ViewSettings::Load(store), core, std::move(source), options))
{
    m_impl->m_fileFolder = m_impl->m_loadedFileFolder = store.GetProfileString("config", "folder", "");
}

CAnalysisView::CAnalysisView(const ViewSettings& settings, AnalysisCore& core, std::unique_ptr<SoundSource> source,
                             ViewOptions options)
    : m_impl(std::make_unique<Impl>(nullptr, settings, core, std::move(source), options))
{}

CAnalysisView::~CAnalysisView()
{
    Impl& v = *m_impl;
    // The worker is told to end; nothing waits for it here.
    v.m_core.EndWorker();
    SaveSettings();
    v.m_recording.Close();
    v.m_host = nullptr;
}

void CAnalysisView::SaveSettings()
{
    Impl& v = *m_impl;
    if (v.m_store != nullptr) {
        v.m_settings.Save(*v.m_store, v.m_loaded);
        if (v.m_fileFolder != v.m_loadedFileFolder)
            v.m_store->WriteProfileString("config", "folder", v.m_fileFolder);
    }
}

void CAnalysisView::OnCreate(ViewHost& host)
{
    Impl& v = *m_impl;
    v.m_host = &host;
    v.m_status.Attach(&host);
    v.m_recording.Attach(&host);
    v.m_playback.Attach(&host);
    v.m_coach.Attach(&host);
    v.ComputeFraming();
    v.m_status.Show(StatusField::Input, v.m_input.Shown());
    v.ShowModelName();
    v.ShowStatus();
}

void CAnalysisView::OnSize(int width, int height)
{
    m_impl->m_lanes.LayOut(width, height);
    m_impl->Relaid();
}

void CAnalysisView::OnPaint(int left, int right)
{
    Impl& v = *m_impl;
    if (v.m_lookingBack.Active()) {
        if (!v.m_surface.IsValid())
            v.m_lookingBack.Draw();
    } else {
        PaintColumns(v.m_core.ring, Fields(), v.m_surface, &v.m_session);
    }
    v.m_compositor.Compose(v.m_lanes.Rows(), left, right);
}

void CAnalysisView::OnStart()
{
    Impl& v = *m_impl;
    if (IsRecording())
        return;
    v.StopPlaying();
    v.m_playback.ForgetClick();
    v.ForgetReview();
    v.m_lookingBack.BackToLive();
    // The model begins again beside the first frame of this take.
    v.m_lanes.TakeBegins(v.m_session.FrameOf(v.m_framer.m_frameCounter));
    v.m_core.ring.InvalidateAll();
    v.m_recording.Start(v.m_framer.m_samplesPerBuffer);
    v.m_surface.InvalidateAll();
    v.RequestPaint();
    v.TellMissingInput();
    v.ShowStatus();
}

void CAnalysisView::OnPause()
{
    Impl& v = *m_impl;
    if (!v.m_recording.Pause())
        return;
    if (v.m_options.trackPitch)
        v.m_pitch.Provisional();
    // With a model shown, the take is reviewed in the background.
    v.m_coach.TakeEnded();
    v.ShowStatus();
}

void CAnalysisView::OnTimer()
{
    Impl& v = *m_impl;
    // A timer notice that was already on its way when a Start cancelled the
    // timer must not end the worker of the new recording.
    if (!v.m_recording.Pausing())
        return;
    RedrawAll();
    v.m_recording.EndPause();
    v.ShowStatus();
}

void CAnalysisView::OnReviewTimer() { m_impl->PollReview(); }

void CAnalysisView::RedrawAll()
{
    Impl& v = *m_impl;
    if (v.m_lookingBack.Active()) {
        v.m_lookingBack.Draw();
    } else {
        v.m_core.ring.InvalidateAll();
        v.m_surface.InvalidateAll();
    }
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
    case 'p': TogglePlayback(); break;
    case 'P': ToggleModelPlayback(); break;
    case 27:
        OnPause();
        m_impl->StopPlaying();
        break;
    default: break;
    }
}

void CAnalysisView::OnConfigure()
{
    Impl& v = *m_impl;
    if (v.m_host == nullptr)
        return;
    ConfigValues values = v.m_settings.ToDialog();
    values.inputs = v.m_input.List();
    const std::vector<InputChoice> offered = values.inputs;
    if (!v.m_host->RunConfigDialog(values))
        return;  // cancelled: nothing changes, not even the picture

    const ViewSettings old = v.m_settings;
    v.m_settings.FromDialog(values);
    v.m_session.SetLimitMinutes(v.m_settings.historyMinutes);
    const bool newInput = v.m_settings.input != old.input;
    if (newInput) {
        v.m_input.Choose(v.m_settings.input, offered);
        v.m_recording.SetInput(v.m_settings.input);
        v.m_status.Show(StatusField::Input, v.m_input.Shown());
    }
    if (v.m_settings.refresh != old.refresh || v.m_settings.sampling != old.sampling ||
        v.m_settings.lowLatency != old.lowLatency || newInput) {
        OnPause();
        v.m_framer.m_refreshRate = v.m_settings.refresh;
        v.m_framer.m_lowLatency = v.m_settings.lowLatency;
        v.m_core.undersampling.store(v.m_settings.sampling);
        // Also for a new ratio alone: frames analysed at the old ratio are
        // not mixed with new ones. The live picture is cleared; the session
        // stays.
        v.StopPlaying();
        v.m_lookingBack.LivePictureCleared();
        v.ComputeFraming();
    }
    RedrawAll();
    // A change that cleared the picture ended looking back.
    v.ShowStatus();
}

void CAnalysisView::OnWimData()
{
    Impl& v = *m_impl;
    const int64_t columnsBefore = v.LiveColumns();
    const WimDataResult result = v.m_framer.OnWimData(v.m_recording.WaveIn(), v.m_core);
    if (result.scroll && result.framesCut > 0) {
        // Zoomed out, the picture moves on by whole columns only.
        const int64_t columns = v.m_settings.zoom == 1 ? result.framesCut : v.LiveColumns() - columnsBefore;
        if (columns > 0) {
            v.m_surface.ScrollLeft(static_cast<int32_t>(std::min<int64_t>(columns, INT32_MAX)));
            v.RequestPaint();
        }
        v.ShowStatus();
    }
    if (result.ran)
        v.TellMissingInput();
    std::string message;
    if (v.m_recording.TakeDeviceLost(message) && IsRecording()) {
        // As a Pause: what was recorded is analysed and stays on screen.
        OnPause();
        if (v.m_host != nullptr)
            v.m_host->ShowMessage(message);
    }
}

void CAnalysisView::OnKey(ViewKey key)
{
    Impl& v = *m_impl;
    if (!v.m_recording.Still())
        return;
    if (v.m_lookingBack.Move(key))
        v.RequestPaint();
    v.ShowStatus();
}

void CAnalysisView::OnWheel(int notches)
{
    Impl& v = *m_impl;
    if (!v.m_recording.Still() || notches == 0)
        return;
    if (v.m_lookingBack.Wheel(notches))
        v.RequestPaint();
    v.ShowStatus();
}

void CAnalysisView::OnScrollTo(int64_t leftFrame)
{
    Impl& v = *m_impl;
    if (!v.m_recording.Still())
        return;
    if (v.m_lookingBack.ScrollTo(leftFrame))
        v.RequestPaint();
    v.ShowStatus();
}

void CAnalysisView::SetInputLister(std::function<std::vector<InputChoice>()> lister)
{
    m_impl->m_input.SetLister(std::move(lister));
}

bool CAnalysisView::IsRecording() const { return m_impl->m_recording.Recording(); }

const uint8_t* CAnalysisView::ShownRgb() const { return m_impl->m_compositor.Rgb(); }
int CAnalysisView::ShownWidth() const { return m_impl->m_compositor.Width(); }
int CAnalysisView::ShownHeight() const { return m_impl->m_compositor.Height(); }
size_t CAnalysisView::ShownStride() const { return m_impl->m_compositor.Stride(); }

int64_t CAnalysisView::FrameAtColumn(int x) const { return m_impl->m_lookingBack.FrameAt(x); }

void CAnalysisView::SetPitchLine(bool on)
{
    Impl& v = *m_impl;
    if (v.m_settings.pitchLine == on)
        return;
    v.m_settings.pitchLine = on;
    // Only the shown picture changes: composed again at the next paint.
    v.m_compositor.Compose(v.m_lanes.Rows());
    v.RequestPaint();
    v.ShowReadout();
}

void CAnalysisView::SetFollowTiming(bool on)
{
    Impl& v = *m_impl;
    if (v.m_settings.followTiming == on)
        return;
    v.m_settings.followTiming = on;
    v.m_coach.ApplyTiming();
    v.m_compositor.Compose(v.m_lanes.Rows());
    v.RequestPaint();
}

void CAnalysisView::ChooseTargetNote()
{
    Impl& v = *m_impl;
    if (v.m_host == nullptr)
        return;
    TargetValues values = TargetToDialog(v.m_settings);
    if (!v.m_host->RunTargetDialog(values))
        return;
    TargetFromDialog(values, v.m_settings);
    if (v.m_settings.targetNote != kNoTargetNote && !v.m_settings.pitchLine) {
        SetPitchLine(true);
        return;
    }
    v.m_compositor.Compose(v.m_lanes.Rows());
    v.RequestPaint();
    v.ShowReadout();
}

bool CAnalysisView::ReviewingTake() const { return m_impl->m_coach.Reviewing(); }

void CAnalysisView::ZoomOut() { SetZoom(ZoomedOut(m_impl->m_settings.zoom)); }
void CAnalysisView::ZoomIn() { SetZoom(ZoomedIn(m_impl->m_settings.zoom)); }

void CAnalysisView::SetZoom(int32_t framesPerColumn)
{
    Impl& v = *m_impl;
    if (!ZoomUsable(framesPerColumn) || framesPerColumn == v.m_settings.zoom)
        return;
    const bool atLiveEnd = !v.m_lookingBack.AwayFromLiveEnd();
    v.m_settings.zoom = framesPerColumn;
    v.m_lookingBack.Rezoomed(atLiveEnd);
    if (!v.m_lookingBack.Active()) {
        // The live picture is painted anew: what the ring still holds from
        // it, the older columns from the session's descriptions.
        v.m_core.ring.InvalidateAll();
        v.m_surface.InvalidateAll();
    }
    // The play line goes where its frame now stands.
    v.m_playback.Follow();
    v.RequestPaint();
    v.ShowStatus();
}

void CAnalysisView::OnPointerMove(int x, int y)
{
    m_impl->m_pitchOverlay.PointAt(x, y);
    m_impl->ShowReadout();
}

void CAnalysisView::OnPointerLeave() { OnPointerMove(-1, -1); }

std::vector<PictureText> CAnalysisView::PictureTexts() const
{
    const Impl& v = *m_impl;
    // A few pixels in from the lane's corner.
    constexpr int32_t kInset = 4;
    std::vector<PictureText> texts;
    const LaneRows rows = v.m_lanes.Rows();
    if (v.m_lanes.HasModel()) {
        texts.push_back({kModelLaneName, kInset, kInset, false});
        texts.push_back({kSessionLaneName, kInset, rows.sessionTop + kInset, false});
    }
    if (!IsRecording() && v.m_session.EndSample() == v.m_session.FirstSample())
        texts.push_back({kFirstTakeHint, v.m_surface.Width() / 2, rows.sessionTop + rows.sessionHeight / 2, true});
    return texts;
}

const ColumnSurface& CAnalysisView::Surface() const { return m_impl->m_surface; }
const Framer& CAnalysisView::Framing() const { return m_impl->m_framer; }
CWaveIn& CAnalysisView::WaveIn() { return m_impl->m_recording.WaveIn(); }
const ViewSettings& CAnalysisView::Settings() const { return m_impl->m_settings; }

PaintFields CAnalysisView::Fields() const
{
    const Impl& v = *m_impl;
    // The ring's size, the rate and the decibels shown are the painter's own.
    PaintFields f;
    f.m_framesPerBuffer = v.m_framer.m_framesPerBuffer;
    f.m_hop = v.m_framer.m_hop;
    f.m_showWaveform = v.m_settings.waveform;
    f.m_showTimescale = v.m_settings.timescale;
    f.m_palette = v.m_settings.palette;
    f.m_zoom = v.m_settings.zoom;
    f.m_frameOffset = v.m_session.FrameOf(0);
    f.m_paintLateFrames = v.m_framer.m_lowLatency;
    return f;
}

}  // namespace vocalume
