// The view's commands on the whole session, the model and playing back:
// saving, a new session, an opened one handed over and taken, the model shown
// and closed, P and Shift+P. Part of CAnalysisView (see analysis_view.cpp).
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "analysis_view_impl.h"
#include "file_analysis.h"
#include "png_file.h"
#include "progress_log.h"
#include "progress_report.h"
#include "sound_file_writer.h"

namespace vocalume {

void CAnalysisView::SetSoundOutput(std::unique_ptr<SoundOutput> output)
{
    m_impl->m_playback.SetOutput(std::move(output));
}

void CAnalysisView::TogglePlayback()
{
    if (IsPlaying())
        m_impl->StopPlaying();
    else
        m_impl->StartPlaying(false);
}

void CAnalysisView::ToggleModelPlayback()
{
    if (IsPlaying())
        m_impl->StopPlaying();
    else
        m_impl->StartPlaying(true);
}

bool CAnalysisView::IsPlaying() const { return m_impl->m_playback.Playing(); }

void CAnalysisView::OnPlayTimer()
{
    Impl& v = *m_impl;
    if (!v.m_playback.Follow())
        return;
    v.ShowStatus();
    // The output's device failed: said in the state's field, as a refusal at
    // P is, until the state changes.
    if (!v.m_playback.EndedBecause().empty())
        v.ShowCannotPlay(v.m_playback.EndedBecause());
}

std::string CAnalysisView::SaveRecording(const std::string& path)
{
    Impl& v = *m_impl;
    if (v.m_session.EndSample() == v.m_session.FirstSample())
        return "The session holds no sound yet: record with Space, or open a recording, and save it then.";
    const std::string failure = WriteSoundFile(path, v.m_session.Sound(), kRecordingRate);
    if (!failure.empty())
        return failure;
    v.m_session.MarkSaved();
    const std::string name = std::filesystem::path(path).filename().string();
    // In the state's field until the state changes.
    v.m_status.Show(StatusField::State, "Saved " + name);
    if (v.m_host != nullptr)
        v.m_host->ShowSessionName(name);
    return failure;
}

std::string CAnalysisView::SavePicture(const std::string& path) const
{
    // What the window shows, lanes and all.
    return WritePngFile(path, ShownWidth(), ShownHeight(), ShownRgb(), ShownStride());
}

bool CAnalysisView::MayDropSession()
{
    Impl& v = *m_impl;
    // Paused first, so that what is saved, or dropped, is what was recorded.
    OnPause();
    if (!v.m_session.HasUnsavedSound() || v.m_host == nullptr)
        return true;
    switch (v.m_host->AskSaveRecording()) {
    case SaveAnswer::Save: return v.m_host->SaveRecordingAs() && !v.m_session.HasUnsavedSound();
    case SaveAnswer::DontSave: return true;
    case SaveAnswer::Cancel: break;
    }
    return false;
}

bool CAnalysisView::NewSession()
{
    Impl& v = *m_impl;
    if (!MayDropSession())
        return false;
    v.StopPlaying();
    v.m_lookingBack.BackToLive();
    v.m_session.Clear();
    v.m_pitch.Reset();
    v.ForgetReview();
    v.m_lanes.ForgetTake();
    v.ComputeFraming();
    RedrawAll();
    v.ShowStatus();
    if (v.m_host != nullptr)
        v.m_host->ShowSessionName({});
    return true;
}

const SessionHistory& CAnalysisView::Session() const { return m_impl->m_session; }

void CAnalysisView::AdoptSession(SessionHistory session, const std::string& name)
{
    Impl& v = *m_impl;
    OnPause();
    // The paused worker is ended now rather than at the timer: the ring is
    // reset below.
    if (v.m_recording.Pausing())
        v.m_recording.EndPause();
    v.StopPlaying();
    session.SetLimitMinutes(v.m_session.LimitMinutes());
    // A file longer than the session keeps is opened from where the kept
    // part begins (the analysis may have kept no more); the user is told,
    // so that its start is not thought lost, and how to see more of it.
    const int32_t minutes = session.LimitMinutes();
    if (session.FirstFrame() > 0 && v.m_host != nullptr)
        v.m_host->ShowMessage(
            (minutes == 1 ? std::string("Only the last minute")
                          : "Only the last " + std::to_string(minutes) + " minutes") +
            " of the recording is shown, of " +
            FormatSessionTime(static_cast<double>(session.EndSample()) / kRecordingRate, false) +
            ": the session keeps no more. To see more of it, choose more minutes in File \xE2\x80\xBA Configure "
            "(Keep the last \xE2\x80\xA6 minutes) and open it again.");
    session.MarkSaved();
    v.m_session = std::move(session);
    v.ForgetReview();
    v.m_lanes.ForgetTake();
    // A saved take is compared with the model as the take was: the model's
    // first frame beside the recording's.
    v.m_lanes.TakeBegins(0);
    v.m_lookingBack.Leave();
    // A new era begins at the session's end, where a Start records on.
    v.ComputeFraming();
    v.m_lookingBack.ShowAdopted();
    v.RequestPaint();
    v.ShowStatus();
    if (v.m_host != nullptr)
        v.m_host->ShowSessionName(name);
}

SessionHistory CAnalysisView::TakeSession()
{
    Impl& v = *m_impl;
    v.StopPlaying();
    SessionHistory taken(v.m_session.LimitMinutes(), v.m_session.Hop());
    std::swap(taken, v.m_session);
    v.ForgetReview();
    v.m_lookingBack.BackToLive();
    v.m_session.BeginEra(v.m_framer.m_frameCounter);
    return taken;
}

void CAnalysisView::SetModel(SessionHistory model, const std::string& name, const std::string& path)
{
    Impl& v = *m_impl;
    v.ForgetReview(true);
    v.m_lanes.SetModel(std::move(model), name, path);
    v.m_settings.modelFile = path;
    v.Relaid();
    v.ShowModelName();
}

std::string CAnalysisView::OpenModel(const std::string& path, const std::function<bool(double)>& progress)
{
    SessionHistory model(kDefaultHistoryMinutes);
    const std::string failure = AnalyseModelFile(path, WholeAnalysisOptions(*this), model, progress);
    if (failure.empty())
        SetModel(std::move(model), std::filesystem::path(path).filename().string(), path);
    return failure;
}

std::string CAnalysisView::RememberedModel() const
{
    const std::string& file = m_impl->m_settings.modelFile;
    std::error_code error;
    if (file.empty() || HasModel() || !std::filesystem::is_regular_file(file, error))
        return {};
    return file;
}

void CAnalysisView::CloseModel()
{
    Impl& v = *m_impl;
    if (!HasModel())
        return;
    v.ForgetReview(true);
    v.m_lanes.CloseModel();
    v.m_settings.modelFile.clear();
    v.Relaid();
    v.ShowModelName();
}

void CAnalysisView::ForgetRememberedModel()
{
    Impl& v = *m_impl;
    if (!HasModel())
        v.m_settings.modelFile.clear();
}

void CAnalysisView::RememberFileFolder(const std::string& path)
{
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        m_impl->m_fileFolder = folder.string();
}

const std::string& CAnalysisView::FileFolder() const { return m_impl->m_fileFolder; }

bool CAnalysisView::HasModel() const { return m_impl->m_lanes.HasModel(); }
const SessionHistory* CAnalysisView::Model() const { return m_impl->m_lanes.Model(); }
const std::string& CAnalysisView::ModelName() const { return m_impl->m_lanes.ModelName(); }

std::string CAnalysisView::WriteProgressReport(const std::string& path) const
{
    const std::string& log = m_impl->m_options.progressLog;
    std::vector<ProgressEntry> entries;
    if (!log.empty()) {
        const std::string failure = ReadProgress(log, entries);
        if (!failure.empty())
            return failure;
    }
    if (entries.empty())
        return "There are no scores to report yet: open a model (View \xE2\x80\xBA Model...), record a take and "
               "pause.";
    return vocalume::WriteProgressReport(path, entries, LocalTimeText(std::time(nullptr)));
}

void CAnalysisView::OnPictureClick(int x, int y)
{
    (void)y;
    Impl& v = *m_impl;
    // Where P plays from next; while playing, the sound goes there at once.
    const bool model = v.m_playback.PlayingModel();
    if (v.m_playback.Click(x)) {
        v.StopPlaying();
        v.StartPlaying(model);
    }
}

}  // namespace vocalume
