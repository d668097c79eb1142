// What the analysis view is made of: its settings, framer, session and
// retained picture, and the parts that each do one job, each given what it
// works on. Private to the view's own files (analysis_view.cpp, the
// coordinator's core; view_commands.cpp, its commands on the whole session,
// the model and playing back).
//
// Threads: user-interface thread only, as the view.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "column_painter.h"
#include "column_zoom.h"
#include "coach.h"
#include "column_surface.h"
#include "compositor.h"
#include "framer.h"
#include "input_choice.h"
#include "lanes.h"
#include "looking_back.h"
#include "pitch_overlay.h"
#include "playback.h"
#include "recording_control.h"
#include "session_history.h"
#include "session_pitch.h"
#include "status_bar.h"
#include "target_note.h"
#include "view_settings.h"

namespace vocalume {

// The coordinator's state: the settings, the framer, the session and its
// picture, and the parts, each given what it works on. Members are made in
// this order and go in the reverse one: the device first.
struct CAnalysisView::Impl {
    Impl(SettingsStore* store, const ViewSettings& settings, AnalysisCore& core, std::unique_ptr<SoundSource> source,
         ViewOptions options)
        : m_store(store),
          m_core(core),
          m_options(options),
          m_settings(settings),
          m_loaded(settings),
          m_input(m_settings.input),
          m_recording(core, std::move(source), options.workerThread)
    {
        m_settings.Validate();
        m_compositor.Add(m_lanes);
        m_compositor.Add(m_coachMarks);
        m_compositor.Add(m_targetLine);
        m_compositor.Add(m_pitchOverlay);
        m_compositor.Add(m_scorePanel);
        m_compositor.Add(m_playback);
        m_coach.SetProgressLog(m_options.progressLog);
        m_recording.SetInput(m_settings.input);
        m_session.SetLimitMinutes(m_settings.historyMinutes);
        m_framer.m_onFramesCut = [this](const int16_t* samples, int32_t count) { OnSessionSound(samples, count); };
        m_framer.m_refreshRate = m_settings.refresh;
        m_framer.m_lowLatency = m_settings.lowLatency;
        core.undersampling.store(m_settings.sampling);
        ComputeFraming();
    }

    void RequestPaint()
    {
        if (m_host != nullptr)
            m_host->RequestPaint();
    }

    // New framing parameters, a new accumulation buffer and a ring reset that
    // never overlaps the worker's work on a record. The session goes on with
    // the ring's new numbering.
    void ComputeFraming()
    {
        m_framer.ComputeFraming(m_core);
        m_session.BeginEra(m_framer.m_frameCounter);
    }

    // The framer cut frames: the session keeps their sound and the pitch
    // tracker follows it. While the line is on and the live picture shows
    // frames newer than the settled estimates (refresh rates of 20 and more
    // scroll them in sooner than the tracker settles), those get provisional
    // ones, replaced as the settled ones come.
    void OnSessionSound(const int16_t* samples, int32_t count)
    {
        m_session.Recorded(samples, count, m_framer.m_frameCounter);
        if (!m_options.trackPitch)
            return;
        m_pitch.Recorded(samples, count);
        if (m_settings.pitchLine && m_lookingBack.LiveEnd() >= m_pitch.SettledEnd())
            m_pitch.Provisional();
    }

    // Whole columns the live picture has shown so far: the scroll of a
    // buffer is how many it adds.
    int64_t LiveColumns() const
    {
        const int32_t width = m_surface.Width();
        const int64_t newest = m_session.FrameOf(m_framer.m_frameCounter - 1 -
                                                 FramesBehindNewest(width - 1, width, m_framer.m_framesPerBuffer));
        return ColumnOfFrame(newest + 1, m_settings.zoom);
    }

    // The lanes were laid out anew (a resize, a model shown or closed).
    void Relaid()
    {
        if (m_lookingBack.Active()) {
            // Drawn again at the new size from the kept descriptions, from the
            // same right-most frame.
            m_lookingBack.Draw();
            ShowStatus();
        }
        RequestPaint();
    }

    // The status bar's state and position, the scroll bar, the readout.
    void ShowStatus()
    {
        if (m_host == nullptr)
            return;
        const bool recording = m_recording.Recording();
        const bool back = m_lookingBack.AwayFromLiveEnd();
        m_status.Show(StatusField::State,
                      StateText({recording, m_playback.Playing(), m_playback.PlayingModel(), back}));
        const double seconds = static_cast<double>(m_session.EndSample() - m_session.FirstSample()) / kRecordingRate;
        const int64_t framesBack = m_lookingBack.LiveEnd() - m_lookingBack.RightFrame();
        m_status.Show(StatusField::Position,
                      PositionText(seconds, back ? static_cast<double>(framesBack) * m_framer.m_hop / kRecordingRate
                                                 : -1.0));
        m_lookingBack.ShowScrollBar(*m_host, m_recording.Still());
        ShowReadout();
    }
    void ShowReadout()
    {
        if (auto text = m_pitchOverlay.Readout(m_recording.Recording()))
            m_status.Show(StatusField::Readout, *text);
    }
    void ShowModelName() { m_status.Show(StatusField::Model, m_lanes.StatusText()); }
    // Once, in the status bar: the chosen microphone is not connected (a live
    // device knows once it has opened, after Start).
    void TellMissingInput()
    {
        if (auto notice = m_input.MissingNotice(m_recording.InputMissing()))
            m_status.Show(StatusField::Input, *notice);
    }

    // The review of the take arrived, or went: the scores in the status bar,
    // the model lane drawn anew, the marks and the panel composed again.
    void ShowReview()
    {
        m_status.Show(StatusField::Scores, m_coach.StatusText());
        m_compositor.Compose(m_lanes.Rows());
        RequestPaint();
    }
    void PollReview()
    {
        if (m_coach.Poll())
            ShowReview();
    }
    // A Start, a new session, another model: the last review goes.
    void ForgetReview(bool modelChanged = false)
    {
        const bool shown = m_coach.Review() != nullptr;
        if (modelChanged)
            m_coach.ModelChanged();
        else
            m_coach.Forget();
        if (shown)
            ShowReview();
    }

    void StartPlaying(bool model)
    {
        if (m_host == nullptr || !m_recording.Still())
            return;
        std::string reason;
        if (m_playback.Start(model, reason))
            ShowStatus();
        else if (!reason.empty())
            ShowCannotPlay(reason);
    }
    // Why nothing plays, in the state's field until the state changes.
    void ShowCannotPlay(const std::string& reason) { m_status.Show(StatusField::State, "Cannot play: " + reason); }
    void StopPlaying()
    {
        if (m_playback.Stop())
            ShowStatus();
    }

    // The store and the core outlive the view (its destructor still writes
    // and ends the worker); a view given its settings has no store.
    SettingsStore* m_store;
    AnalysisCore& m_core;
    ViewOptions m_options;
    // The settings as they stand, and as they were read.
    ViewSettings m_settings;
    const ViewSettings m_loaded;
    // The folder the file dialogs open in, and as it was read; kept beside
    // the settings, which the analysis of a file copies, as the window's alone.
    std::string m_fileFolder;
    std::string m_loadedFileFolder;
    // The window, from OnCreate until the view is destroyed; none before.
    ViewHost* m_host = nullptr;
    Framer m_framer;
    ColumnSurface m_surface;
    SessionHistory m_session{kDefaultHistoryMinutes};
    SessionPitch m_pitch{m_session};
    StatusBar m_status;
    ChosenInput m_input;
    LookingBack m_lookingBack{m_session, m_surface, m_framer, m_settings};
    Lanes m_lanes{m_surface, m_lookingBack, m_settings};
    PitchOverlay m_pitchOverlay{m_settings, m_session, m_pitch, m_lookingBack, m_lanes};
    TargetLine m_targetLine{m_settings, m_lanes};
    Playback m_playback{m_session, m_lookingBack, m_lanes, m_settings};
    Coach m_coach{m_session, m_lanes, m_settings};
    CoachMarks m_coachMarks{m_coach, m_lanes, m_lookingBack, m_settings};
    ScorePanel m_scorePanel{m_coach};
    Compositor m_compositor{m_surface};
    // Last, so that the device is closed (and its sound thread gone) first.
    RecordingControl m_recording;
};

}  // namespace vocalume
