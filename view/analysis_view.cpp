#include "analysis_view.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <utility>

#include "analysis_worker.h"
#include "column_painter.h"
#include "column_palette.h"
#include "column_surface.h"
#include "file_analysis.h"
#include "framer.h"
#include "replay.h"
#include "pitch_line.h"
#include "pitch_readout.h"
#include "model_lane.h"
#include "png_file.h"
#include "session_history.h"
#include "session_picture.h"
#include "session_pitch.h"
#include "sound_file_writer.h"
#include "sound_output.h"
#include "wave_in.h"

namespace vocalume {
namespace {

constexpr const char* kConfigSection = "config";
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
constexpr const char* kModelSection = "model";
constexpr const char* kMinus = "\xE2\x88\x92";  // the minus sign
// The live pitch readout changes at most every quarter of a second, and goes
// blank after half a second without voice.
constexpr int64_t kReadoutEveryFrames = 250;
constexpr int64_t kReadoutHoldFrames = 500;

std::string FormatInt(int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return text;
}

}  // namespace

struct CAnalysisView::Impl : WaveInHost {
    Impl(SettingsStore& s, AnalysisCore& c, std::unique_ptr<SoundSource> source, ViewOptions o)
        : m_store(s), m_core(c), m_options(o), m_waveIn(std::move(source))
    {
    }

    // The device's notices go to the window through the view's host. Buffer
    // notices arrive on the sound thread; the host posts them on.
    void PostBufferDone() override
    {
        if (m_host != nullptr)
            m_host->PostBufferDone();
    }
    // The device was lost: the reason waits for the UI thread, which a
    // notice of its own wakes.
    void PostDeviceLost(const std::string& reason) override
    {
        {
            std::lock_guard<std::mutex> lock(m_lostMutex);
            m_lostReason = reason;
            m_deviceLost = true;
        }
        PostBufferDone();
    }
    // True, with the reason, when the device was lost since the last call.
    bool TakeDeviceLost(std::string& reason)
    {
        std::lock_guard<std::mutex> lock(m_lostMutex);
        const bool lost = m_deviceLost;
        m_deviceLost = false;
        reason = m_lostReason;
        return lost;
    }
    void ShowMessage(const std::string& text) override
    {
        if (m_host != nullptr)
            m_host->ShowMessage(text);
    }

    void RequestPaint()
    {
        if (m_host != nullptr)
            m_host->RequestPaint();
    }

    // New framing parameters, a new accumulation buffer and a ring reset that
    // never overlaps the worker's work on a record.
    // The session goes on with the ring's new numbering.
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
        if (m_pitchLine && LiveEnd() >= m_pitch.SettledEnd())
            m_pitch.Provisional();
    }

    // The session frame the live picture shows in its right-most column.
    int64_t LiveEnd() const
    {
        if (m_noLivePicture)
            return m_session.EndFrame() - 1;
        const int32_t width = m_surface.Width();
        return m_session.FrameOf(static_cast<int64_t>(m_framer.m_frameCounter) - 1 -
                                 FramesBehindNewest(width - 1, width, m_framer.m_framesPerBuffer));
    }
    bool CanLookBack() const { return m_waveIn.m_isOpen == 0 && !m_pauseTimerSet; }

    // The first move back keeps the live picture, so that coming back to
    // the live end shows the very pixels shown at Pause.
    void EnterLookBack()
    {
        if (m_lookBack.Active())
            return;
        m_liveSnapshot.assign(m_surface.Pixels(), m_surface.Pixels() + m_surface.Stride() * m_surface.Height());
        m_snapshotWidth = m_surface.Width();
        m_snapshotHeight = m_surface.Height();
        m_lookBack.Enter(LiveEnd());
    }

    // Draws the whole picture from the kept column descriptions.
    void DrawLookBack()
    {
        const int64_t right = m_lookBack.RightFrame();
        if (right == LiveEnd() && m_surface.Restore(m_snapshotWidth, m_snapshotHeight, m_liveSnapshot))
            return;
        DrawSessionPicture(m_session, right,
                           ColumnStyle{m_sampleRate, m_showWaveform, m_showTimescale, m_palette}, m_surface);
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
        if (m_host == nullptr)
            return;
        const bool recording = m_waveIn.m_isOpen != 0;
        // Back at the live end, the picture is the paused one again.
        const bool back = m_lookBack.Active() && m_lookBack.RightFrame() != LiveEnd();
        const char* state = recording          ? "Recording"
                            : Playing()          ? (m_playingModel ? "Playing the model" : "Playing")
                            : back               ? "Looking back"
                                                 : "Paused";
        const double seconds =
            static_cast<double>(m_session.EndSample() - m_session.FirstSample()) / m_sampleRate;
        // While recording the length changes every buffer: whole seconds keep
        // the status bar from being redrawn ten times a second.
        std::string position = FormatSessionTime(seconds, !recording);
        if (back) {
            const int64_t frames = LiveEnd() - m_lookBack.RightFrame();
            char text[32];
            std::snprintf(text, sizeof text, "%.1f s of ",
                          static_cast<double>(frames) * m_framer.m_hop / m_sampleRate);
            position = (frames > 0 ? std::string(kMinus) : std::string()) + text + position;
        }
        if (state != m_shownState) {
            m_shownState = state;
            m_host->SetStatusText(0, m_shownState);
        }
        if (position != m_shownPosition) {
            m_shownPosition = position;
            m_host->SetStatusText(2, m_shownPosition);
        }
        const int32_t width = m_surface.Width();
        const int64_t first = m_session.FirstFrame();
        const int64_t liveEnd = LiveEnd();
        const bool bar = CanLookBack() && liveEnd + 1 - first > width;
        const int64_t right = m_lookBack.Active() ? m_lookBack.RightFrame() : liveEnd;
        m_host->ShowScrollBar(bar, right - width + 1 - first, width, liveEnd + 1 - first);
        ShowPitchReadout();
    }

    // The status bar's pitch readout (field 3), while the pitch line is on:
    // recording, the newest voiced frame's pitch, blank once the voice has
    // been silent for a while; otherwise the frame under the mouse pointer,
    // blank while the pointer is away from the picture.
    void ShowPitchReadout()
    {
        std::string text;
        const bool live = m_waveIn.m_isOpen != 0;
        if (!live)
            m_readoutFrame = -kReadoutEveryFrames;
        if (m_pitchLine && live) {
            // A few times a second: faster is unreadable, and every change
            // redraws the status bar.
            const int64_t settled = m_pitch.SettledEnd();
            if (settled >= m_readoutFrame && settled < m_readoutFrame + kReadoutEveryFrames)
                return;
            m_readoutFrame = settled;
            const int64_t voiced = m_pitch.NewestVoicedFrame();
            if (voiced >= 0 && m_pitch.SettledEnd() - voiced <= kReadoutHoldFrames)
                text = FormatPitch(m_pitch.NewestVoicedHz());
        } else if (m_pitchLine && m_model.Active() && m_pointerY >= 0 && m_pointerY < m_model.Surface().Height()) {
            // Over the model's lane: the model's pitch, timed in the model.
            const SessionHistory& model = *m_model.Model();
            const int64_t frame = m_model.ModelFrameAt(m_pointerX, RightSessionFrame());
            if (frame >= 0 && frame < model.PitchEnd() && model.HasFrame(frame)) {
                const int64_t sample = model.SampleOfFrame(frame) + PitchTracker::kCentreOffset;
                text = "Model: " + FormatPitchAt(model.Pitch(frame),
                                                 static_cast<double>(sample - model.FirstSample()) / m_sampleRate);
            }
        } else if (m_pitchLine) {
            const int64_t frame = FrameAt(m_pointerX);
            if (frame >= 0 && frame < m_session.PitchEnd()) {
                // The time of the frame's centre in the kept sound, as in a
                // saved recording.
                const int64_t sample = m_session.SampleOfFrame(frame) + PitchTracker::kCentreOffset;
                text = FormatPitchAt(m_session.Pitch(frame),
                                     static_cast<double>(sample - m_session.FirstSample()) / m_sampleRate);
            }
        }
        if (text != m_shownReadout) {
            m_shownReadout = text;
            if (m_host != nullptr)
                m_host->SetStatusText(3, m_shownReadout);
        }
    }

    // The session frame the picture's column `x` shows now; -1 for none.
    int64_t FrameAt(int x) const
    {
        const int32_t width = m_surface.Width();
        if (x < 0 || x >= width)
            return -1;
        int64_t frame = 0;
        if (m_lookBack.Active()) {
            frame = m_lookBack.RightFrame() - (width - 1 - x);
        } else {
            // The live picture's left-most column is never painted.
            if (x == 0)
                return -1;
            frame = m_session.FrameOf(static_cast<int64_t>(m_framer.m_frameCounter) - 1 -
                                      FramesBehindNewest(x, width, m_framer.m_framesPerBuffer));
            // A ring reset cleared the live picture: it shows no frame from
            // before it, nor a pitch line over them.
            if (frame < m_session.EraFirstFrame())
                return -1;
        }
        return m_session.HasFrame(frame) ? frame : -1;
    }

    // Whether anything is drawn over the retained picture now. While nothing
    // is, the window shows the retained picture itself, untouched.
    bool HasOverlays() const { return m_pitchLine || m_model.Active() || (m_replay && m_replay->LineColumn() >= 0); }

    // Builds the picture the window shows after a paint: a copy of the
    // retained picture with whatever is drawn over it. Only the columns
    // `left` to `right`, which the window is about to show, are copied
    // afresh (all of them when the size changed); the rest of the copy may
    // be stale, but is not shown before a paint that covers it.
    void ComposeShown(int32_t left = 0, int32_t right = std::numeric_limits<int32_t>::max())
    {
        m_composed = HasOverlays();
        if (!m_composed) {
            m_shown.clear();
            return;
        }
        if (m_model.Active()) {
            ComposeLanes();
        } else {
            const size_t bytes = m_surface.Stride() * static_cast<size_t>(m_surface.Height());
            if (m_shown.size() != bytes || m_shownWidth != m_surface.Width() || m_shownHeight != m_surface.Height()) {
                m_shownWidth = m_surface.Width();
                m_shownHeight = m_surface.Height();
                m_shownStride = m_surface.Stride();
                m_shown.assign(m_surface.Pixels(), m_surface.Pixels() + bytes);
            } else {
                left = std::max(left, 0);
                right = std::min(right, m_shownWidth - 1);
                for (int32_t y = 0; y < m_shownHeight && left <= right; ++y) {
                    const size_t at = static_cast<size_t>(y) * m_shownStride + static_cast<size_t>(left) * 3;
                    std::copy_n(m_surface.Pixels() + at, static_cast<size_t>(right - left + 1) * 3,
                                m_shown.data() + at);
                }
            }
        }
        if (m_pitchLine)
            DrawPitchOverlays();
        // The play line crosses the lane whose sound plays: the session's,
        // the lowest, or the model's on top.
        if (m_replay) {
            const bool model = m_playingModel && m_model.Active();
            const int32_t top = model ? 0 : m_shownHeight - m_surface.Height();
            DrawPlayLine(m_shown.data() + m_shownStride * static_cast<size_t>(top), static_cast<int>(m_shownStride),
                         m_shownWidth, model ? m_model.Surface().Height() : m_surface.Height(),
                         m_replay->LineColumn());
        }
    }

    // The pitch line over each lane of the composed picture: each column's
    // frame and its estimate; frames not yet estimated draw nothing. The
    // model's line comes from its whole-file track, so a learner sees both
    // melodies one above the other.
    void DrawPitchOverlays()
    {
        const auto lane = [this](int32_t top, int32_t height, const SessionHistory& session, auto frameAt) {
            m_lineColumns.assign(static_cast<size_t>(m_shownWidth), PitchEstimate{});
            for (int32_t x = 0; x < m_shownWidth; ++x) {
                const int64_t frame = frameAt(x);
                if (frame < 0 || frame >= session.PitchEnd() || !session.HasFrame(frame))
                    continue;
                const float f0 = session.Pitch(frame);
                m_lineColumns[static_cast<size_t>(x)] = PitchEstimate{f0, f0 > 0.0f};
            }
            DrawPitchLine(PixelImage{m_shown.data() + m_shownStride * static_cast<size_t>(top), m_shownWidth, height,
                                     m_shownStride},
                          m_lineColumns.data());
        };
        const int32_t sessionTop = m_shownHeight - m_surface.Height();
        lane(sessionTop, m_surface.Height(), m_session, [this](int32_t x) { return FrameAt(x); });
        if (m_model.Active()) {
            const int64_t right = RightSessionFrame();
            lane(0, m_model.Surface().Height(), *m_model.Model(),
                 [this, right](int32_t x) { return m_model.ModelFrameAt(x, right); });
        }
    }

    // The model lane and the session lane share the client area; without a
    // model the session's picture fills it. A model's arrival or departure
    // goes through here as a window resize does, so closing the model leaves
    // the very picture a view that never had one would show.
    void LayOut(int32_t width, int32_t height)
    {
        m_clientWidth = width;
        m_clientHeight = height;
        if (!m_model.Active()) {
            m_surface.Resize(width, height);
            return;
        }
        const LaneSplit split = SplitLanes(height);
        m_surface.Resize(width, split.lower);
        m_model.Resize(width, split.upper);
    }

    ColumnStyle Style() const { return ColumnStyle{m_sampleRate, m_showWaveform, m_showTimescale, m_palette}; }

    // The session frame the session lane shows in its right-most column.
    int64_t RightSessionFrame() const { return m_lookBack.Active() ? m_lookBack.RightFrame() : LiveEnd(); }

    // The model lane over a separator row over the session's picture, the
    // model lane brought to where the session stands.
    void ComposeLanes()
    {
        m_model.Show(RightSessionFrame(), Style());
        const ColumnSurface& upper = m_model.Surface();
        m_shownWidth = m_surface.Width();
        m_shownStride = m_surface.Stride();
        m_shownHeight = upper.Height() + 1 + m_surface.Height();
        m_shown.resize(m_shownStride * static_cast<size_t>(m_shownHeight));
        uint8_t* row = m_shown.data();
        const size_t upperBytes = std::min(upper.Stride(), m_shownStride);
        for (int32_t y = 0; y < upper.Height(); ++y, row += m_shownStride) {
            std::memcpy(row, upper.Pixels() + upper.Stride() * static_cast<size_t>(y), upperBytes);
            std::memset(row + upperBytes, 0, m_shownStride - upperBytes);
        }
        for (int32_t x = 0; x < m_shownWidth; ++x) {
            row[3 * x] = kLaneSeparator.red;
            row[3 * x + 1] = kLaneSeparator.green;
            row[3 * x + 2] = kLaneSeparator.blue;
        }
        row += m_shownStride;
        if (m_surface.Height() > 0)
            std::memcpy(row, m_surface.Pixels(), m_shownStride * static_cast<size_t>(m_surface.Height()));
    }

    void ShowModelName()
    {
        if (m_host != nullptr)
            m_host->SetStatusText(kModelStatusField, m_model.Active() ? "Model: " + m_model.Name() : std::string());
    }

    // Playing the session back. The picture looks back while it plays, so
    // that the page can turn; entered at the live end, it shows the very
    // pixels shown at Pause.
    bool Playing() const { return m_replay && m_replay->Playing(); }
    // The session frame in the picture's left-most column, looking back.
    int64_t LeftFrame() const { return m_lookBack.RightFrame() - m_surface.Width() + 1; }
    // The play line moves at the pace the live picture scrolls (the refresh
    // rate): as smooth as the picture the user chose, and each step costs a
    // paint of the window.
    int PlayTimerMs() const { return std::max(kPlayTimerMs, 1000 / std::max(m_framer.m_refreshRate, 1)); }

    // The model's sound, from the model frame at the clicked column or else
    // the first one the model lane shows (its start when it shows none).
    bool StartModelReplay(std::string& reason)
    {
        const SessionHistory& model = *m_model.Model();
        EnterLookBack();
        const int64_t right = RightSessionFrame();
        int64_t from = -1;
        if (m_playColumn >= 0)
            from = m_model.ModelFrameAt(m_playColumn, right);
        for (int32_t x = 0; from < 0 && x < m_surface.Width(); ++x)
            from = m_model.ModelFrameAt(x, right);
        from = std::max(from, model.FirstFrame());
        auto sound = std::make_shared<const std::vector<int16_t>>(model.Sound());
        m_playingModel = true;
        return m_replay->Start(std::move(sound), model.FirstSample(), model.Hop(), from, reason);
    }
    void StartReplay(bool model = false)
    {
        if (m_host == nullptr || !CanLookBack())
            return;
        std::string reason = "no sound output device was found";
        if (model) {
            if (!m_model.Active() || !m_replay || m_model.Model()->EndSample() <= m_model.Model()->FirstSample())
                return;
            if (StartModelReplay(reason)) {
                m_host->SetPlayTimer(PlayTimerMs());
                FollowReplay();
                ShowStatus();
                return;
            }
        } else if (m_replay && m_session.EndSample() > m_session.FirstSample()) {
            m_playingModel = false;
            EnterLookBack();
            int64_t from = std::max(LeftFrame(), m_session.FirstFrame());
            if (m_playFrom >= from && m_playFrom <= m_lookBack.RightFrame())
                from = m_playFrom;
            auto sound = std::make_shared<const std::vector<int16_t>>(m_session.Sound());
            if (m_replay->Start(std::move(sound), m_session.FirstSample(), m_session.Hop(), from, reason)) {
                m_host->SetPlayTimer(PlayTimerMs());
                FollowReplay();
                ShowStatus();
                return;
            }
        } else if (m_replay) {
            return;  // nothing recorded yet: nothing to play
        }
        // In the state's field, until the state changes.
        m_shownState = "Cannot play: " + reason;
        m_host->SetStatusText(0, m_shownState);
    }
    void StopReplay()
    {
        if (!Playing())
            return;
        const int32_t column = m_replay->LineColumn();
        m_replay->Stop();
        if (m_host != nullptr)
            m_host->KillPlayTimer();
        if (column >= 0 && m_host != nullptr)
            m_host->RequestPaintColumns(column, column);
        ShowStatus();
    }
    // Moves the play line to the sound heard now, turning the page when it
    // has gone past the right edge.
    void FollowReplay()
    {
        const int32_t width = m_surface.Width();
        auto columnOf = [this](int64_t frame) {
            return m_playingModel && m_model.Active() ? m_model.ColumnOf(frame, RightSessionFrame())
                                                      : frame - LeftFrame();
        };
        Replay::Step step = m_replay->Follow(columnOf, width);
        const int32_t oldColumn = step.oldColumn;
        if (step.turnPage &&
            m_lookBack.Move(ViewKey::PageDown, width, m_session.FirstFrame(), LiveEnd())) {
            DrawLookBack();
            RequestPaint();
            step = m_replay->Follow(columnOf, width);
            ShowStatus();
        }
        if (step.ended) {
            if (m_host != nullptr)
                m_host->KillPlayTimer();
            ShowStatus();
        }
        if (m_host != nullptr && step.lineColumn != oldColumn) {
            // One stretch from the old line to the new: one paint.
            const int32_t from = oldColumn >= 0 ? oldColumn : step.lineColumn;
            const int32_t to = step.lineColumn >= 0 ? step.lineColumn : oldColumn;
            m_host->RequestPaintColumns(std::min(from, to), std::max(from, to));
        }
    }

    // Both outlive the view (its destructor still writes and ends the worker).
    SettingsStore& m_store;
    AnalysisCore& m_core;
    ViewOptions m_options;
    // The window, from OnCreate until the view is destroyed; none before.
    ViewHost* m_host = nullptr;
    std::mutex m_lostMutex;  // guards the two below, written on a sound thread
    bool m_deviceLost = false;
    std::string m_lostReason;

    int32_t m_ringSize = 0;
    int32_t m_sampleRate = 0;
    int32_t m_windowRefHz = 0;
    int32_t m_hopTenthsMs = 0;
    int32_t m_dbRange = 0;
    int32_t m_showWaveform = 1;
    int32_t m_showTimescale = 1;
    Palette m_palette = Palette::Standard;
    bool m_pauseTimerSet = false;
    // The session was adopted and nothing has been recorded since: there is
    // no live picture, and the session's last frame is its end.
    bool m_noLivePicture = false;

    Framer m_framer;
    ColumnSurface m_surface;
    SessionHistory m_session{kDefaultHistoryMinutes};
    SessionPitch m_pitch{m_session};
    // View › Pitch line, one estimate per shown column, and the pointer's
    // column over the picture (-1 away from it).
    bool m_pitchLine = false;
    std::vector<PitchEstimate> m_lineColumns;
    int32_t m_pointerX = -1;
    int32_t m_pointerY = -1;
    std::string m_shownReadout;
    int64_t m_readoutFrame = -kReadoutEveryFrames;  // settled end at the last live readout
    // The model shown above the session, the take it is aligned with, and
    // the client size the two lanes share.
    ModelLane m_model;
    int32_t m_clientWidth = 0;
    int32_t m_clientHeight = 0;
    // The "[model] file" setting: the model open now, or the one that was
    // open at the last exit until another is opened or the model is closed.
    std::string m_modelSetting;
    std::string m_modelSettingRead;
    LookBack m_lookBack;
    // The live picture as it stood when looking back began.
    std::vector<uint8_t> m_liveSnapshot;
    int32_t m_snapshotWidth = 0;
    int32_t m_snapshotHeight = 0;
    // The composed picture the window shows while overlays are drawn, and
    // its size.
    bool m_composed = false;
    std::vector<uint8_t> m_shown;
    int32_t m_shownWidth = 0;
    int32_t m_shownHeight = 0;
    size_t m_shownStride = 0;
    // Where sound is played back, and the replay of the session through it
    // (none without an output); the frame last clicked, where P plays from
    // while it is in the picture.
    std::unique_ptr<SoundOutput> m_output;
    std::unique_ptr<Replay> m_replay;
    int64_t m_playFrom = -1;
    int32_t m_playColumn = -1;  // the column clicked last, for the model
    bool m_playingModel = false;
    // What the status bar shows, so that it is told only of changes.
    std::string m_shownState;
    std::string m_shownPosition;
    // The chosen input (empty: the default one), its name for the user, and
    // whether its absence has been told.
    std::string m_input;
    std::string m_inputShown;
    bool m_missingTold = false;
    std::function<std::vector<InputChoice>()> m_inputLister;
    // Last, so that it is closed (and its sound thread gone) before the rest.
    CWaveIn m_waveIn;
};

CAnalysisView::CAnalysisView(SettingsStore& store, AnalysisCore& core,
                             std::unique_ptr<SoundSource> source, ViewOptions options)
    : m_impl(std::make_unique<Impl>(store, core, std::move(source), options))
{
    Impl& v = *m_impl;
    const int32_t refresh = store.GetProfileInt(kConfigSection, "refresh", kDefaultRefresh);
    const int32_t sampling = store.GetProfileInt(kConfigSection, "sampling", kDefaultSampling);
    v.m_showWaveform = store.GetProfileInt(kConfigSection, "waveform", 1);
    v.m_showTimescale = store.GetProfileInt(kConfigSection, "timescale", 1);
    v.m_palette = PaletteFromSetting(store.GetProfileInt(kConfigSection, "palette", 0));
    v.m_pitchLine = store.GetProfileInt(kConfigSection, "pitchline", 0) != 0;
    v.m_input = store.GetProfileString(kConfigSection, "input", "");
    v.m_inputShown = v.m_input.empty() ? kDefaultInputName : v.m_input;
    v.m_modelSetting = store.GetProfileString(kModelSection, "file", "");
    v.m_modelSettingRead = v.m_modelSetting;
    v.m_waveIn.SetInput(v.m_input);
    const int32_t minutes = store.GetProfileInt(kHistorySection, "minutes", kDefaultHistoryMinutes);
    v.m_session.SetLimitMinutes(HistoryUsable(minutes) ? minutes : kDefaultHistoryMinutes);
    v.m_framer.m_onFramesCut = [&v](const int16_t* samples, int32_t count) {
        v.OnSessionSound(samples, count);
    };
    v.m_framer.m_refreshRate = RefreshUsable(refresh) ? refresh : kDefaultRefresh;
    core.undersampling.store(SamplingUsable(sampling) ? sampling : kDefaultSampling);

    v.m_ringSize = kRingSize;
    v.m_sampleRate = kRecordingRate;
    v.m_windowRefHz = kWindowRefHz;
    v.m_hopTenthsMs = kHopTenthsMs;
    v.m_dbRange = kDbRange;
    v.m_framer.m_sampleRate = v.m_sampleRate;
    v.m_framer.m_windowRefHz = v.m_windowRefHz;
    v.m_framer.m_hopTenthsMs = v.m_hopTenthsMs;
    v.ComputeFraming();
}

CAnalysisView::~CAnalysisView()
{
    Impl& v = *m_impl;
    // The worker is told to end; nothing waits for it here.
    v.m_core.EndWorker();
    SaveSettings();
    v.m_waveIn.Close();
    v.m_host = nullptr;
}

void CAnalysisView::SaveSettings()
{
    Impl& v = *m_impl;
    v.m_store.WriteProfileInt(kConfigSection, "refresh", v.m_framer.m_refreshRate);
    v.m_store.WriteProfileInt(kConfigSection, "sampling", v.m_core.undersampling.load());
    v.m_store.WriteProfileInt(kConfigSection, "waveform", v.m_showWaveform);
    v.m_store.WriteProfileInt(kConfigSection, "timescale", v.m_showTimescale);
    v.m_store.WriteProfileInt(kConfigSection, "palette", static_cast<int32_t>(v.m_palette));
    v.m_store.WriteProfileInt(kConfigSection, "pitchline", v.m_pitchLine ? 1 : 0);
    v.m_store.WriteProfileString(kConfigSection, "input", v.m_input);
    v.m_store.WriteProfileInt(kHistorySection, "minutes", v.m_session.LimitMinutes());
    // Written only when it changed: a settings file never touched by a model
    // stays without the section.
    if (v.m_modelSetting != v.m_modelSettingRead)
        v.m_store.WriteProfileString(kModelSection, "file", v.m_modelSetting);
}

void CAnalysisView::OnCreate(ViewHost& host)
{
    m_impl->m_host = &host;
    m_impl->ComputeFraming();
    host.SetStatusText(1, m_impl->m_inputShown);
    m_impl->ShowModelName();
    m_impl->ShowStatus();
}

void CAnalysisView::OnSize(int width, int height)
{
    Impl& v = *m_impl;
    v.LayOut(width, height);
    if (v.m_lookBack.Active()) {
        // Drawn again at the new size from the kept descriptions, from the
        // same right-most frame.
        v.DrawLookBack();
        v.ShowStatus();
    }
    v.RequestPaint();
}

void CAnalysisView::OnPaint(int left, int right)
{
    Impl& v = *m_impl;
    if (v.m_lookBack.Active()) {
        if (!v.m_surface.IsValid())
            v.DrawLookBack();
    } else {
        PaintColumns(v.m_core.ring, Fields(), v.m_surface, &v.m_session);
    }
    v.ComposeShown(left, right);
}

void CAnalysisView::OnStart()
{
    Impl& v = *m_impl;
    if (IsRecording())
        return;
    v.StopReplay();
    v.m_playFrom = -1;
    v.m_playColumn = -1;
    // A Start before the pause timer has fired keeps the worker: left
    // pending, the timer would end it while recording runs again.
    if (v.m_pauseTimerSet) {
        if (v.m_host != nullptr)
            v.m_host->KillPauseTimer();
        v.m_pauseTimerSet = false;
    }
    v.m_lookBack.Leave();
    v.m_noLivePicture = false;
    // The model begins again beside the first frame of this take.
    v.m_model.TakeBegins(v.m_session.FrameOf(v.m_framer.m_frameCounter));
    v.m_core.ring.InvalidateAll();
    std::string staleReason;
    v.TakeDeviceLost(staleReason);
    // A device that fails to open has told the user; the rest still runs, so
    // the frames already held are analysed and shown.
    v.m_waveIn.Open(&v, v.m_sampleRate, v.m_framer.m_samplesPerBuffer);
    if (v.m_options.workerThread)
        v.m_core.StartWorker();
    v.m_surface.InvalidateAll();
    v.RequestPaint();
    if (v.m_waveIn.InputMissing() && !v.m_missingTold && v.m_host != nullptr) {
        // Once, in the status bar: the chosen microphone is not connected.
        v.m_missingTold = true;
        v.m_host->SetStatusText(1, std::string(kDefaultInputName) + " (\"" + v.m_inputShown + "\" is missing)");
    }
    v.ShowStatus();
}

void CAnalysisView::OnPause()
{
    Impl& v = *m_impl;
    if (!IsRecording())
        return;
    v.m_waveIn.Close();
    if (v.m_options.trackPitch)
        v.m_pitch.Provisional();
    // The worker goes on with the frames already in the ring until the timer.
    if (v.m_host != nullptr)
        v.m_host->SetPauseTimer(kPauseTimerMs);
    v.m_pauseTimerSet = true;
    v.ShowStatus();
}

void CAnalysisView::OnTimer()
{
    Impl& v = *m_impl;
    // A timer notice that was already on its way when a Start cancelled the
    // timer must not end the worker of the new recording.
    if (!v.m_pauseTimerSet)
        return;
    RedrawAll();
    if (v.m_host != nullptr)
        v.m_host->KillPauseTimer();
    v.m_pauseTimerSet = false;
    v.m_core.EndWorker();
    v.ShowStatus();
}

void CAnalysisView::RedrawAll()
{
    Impl& v = *m_impl;
    if (v.m_lookBack.Active()) {
        v.DrawLookBack();
        v.RequestPaint();
        return;
    }
    v.m_core.ring.InvalidateAll();
    v.m_surface.InvalidateAll();
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
        if (IsRecording())
            OnPause();
        m_impl->StopReplay();
        break;
    default: break;
    }
}

void CAnalysisView::OnConfigure()
{
    Impl& v = *m_impl;
    if (v.m_host == nullptr)
        return;
    const int32_t oldRefresh = v.m_framer.m_refreshRate;
    const int32_t oldSampling = v.m_core.undersampling.load();
    ConfigValues values;
    values.refresh = FormatInt(oldRefresh);
    values.sampling = FormatInt(oldSampling);
    values.waveform = v.m_showWaveform;
    values.timescale = v.m_showTimescale;
    values.palette = static_cast<int>(v.m_palette);
    if (v.m_inputLister)
        values.inputs = v.m_inputLister();
    const std::vector<InputChoice> offered = values.inputs;
    values.input = v.m_input;
    values.history = FormatInt(v.m_session.LimitMinutes());
    if (!v.m_host->RunConfigDialog(values))
        return;  // cancelled: nothing changes, not even the picture

    // A list left without a selection, or a text that is no usable number,
    // keeps the value it had.
    int32_t refresh = std::atoi(values.refresh.c_str());
    int32_t sampling = std::atoi(values.sampling.c_str());
    if (!RefreshUsable(refresh))
        refresh = oldRefresh;
    if (!SamplingUsable(sampling))
        sampling = oldSampling;

    const int32_t minutes = std::atoi(values.history.c_str());
    if (HistoryUsable(minutes))
        v.m_session.SetLimitMinutes(minutes);
    const bool newInput = values.input != v.m_input;
    if (newInput) {
        v.m_input = values.input;
        v.m_inputShown = v.m_input.empty() ? kDefaultInputName : v.m_input;
        for (const InputChoice& choice : offered)
            if (choice.name == v.m_input)
                v.m_inputShown = choice.description;
        v.m_waveIn.SetInput(v.m_input);
        v.m_missingTold = false;
        if (v.m_host != nullptr)
            v.m_host->SetStatusText(1, v.m_inputShown);
    }

    if (refresh != oldRefresh || sampling != oldSampling || newInput) {
        if (IsRecording())
            OnPause();
        v.m_framer.m_refreshRate = refresh;
        v.m_core.undersampling.store(sampling);
        // Also for a new ratio alone: frames analysed at the old ratio are
        // not mixed with new ones. The live picture is cleared, so there is
        // no live end to look back from; the session stays. An opened
        // session has no live picture to clear: it stays where it was.
        v.StopReplay();
        if (!v.m_noLivePicture)
            v.m_lookBack.Leave();
        v.ComputeFraming();
    }
    v.m_showWaveform = values.waveform;
    v.m_showTimescale = values.timescale;
    v.m_palette = PaletteFromSetting(values.palette);
    RedrawAll();
    // A change that cleared the picture ended looking back.
    v.ShowStatus();
}

void CAnalysisView::OnWimData()
{
    Impl& v = *m_impl;
    const WimDataResult result = v.m_framer.OnWimData(v.m_waveIn, v.m_core);
    if (result.scroll && result.framesCut > 0) {
        v.m_surface.ScrollLeft(result.framesCut);
        v.RequestPaint();
        v.ShowStatus();
    }
    std::string reason;
    if (v.TakeDeviceLost(reason) && IsRecording()) {
        // As a Pause: what was recorded is analysed and stays on screen.
        OnPause();
        v.ShowMessage("The recording stopped: " + reason + ". Press space to try again.");
    }
}

void CAnalysisView::OnKey(ViewKey key)
{
    Impl& v = *m_impl;
    if (!v.CanLookBack())
        return;
    v.EnterLookBack();
    v.LookedBack(v.m_lookBack.Move(key, v.m_surface.Width(), v.m_session.FirstFrame(), v.LiveEnd()));
}

void CAnalysisView::OnWheel(int notches)
{
    Impl& v = *m_impl;
    if (!v.CanLookBack() || notches == 0)
        return;
    v.EnterLookBack();
    v.LookedBack(v.m_lookBack.Wheel(notches, v.m_surface.Width(), v.m_session.FirstFrame(), v.LiveEnd()));
}

void CAnalysisView::OnScrollTo(int64_t leftFrame)
{
    Impl& v = *m_impl;
    if (!v.CanLookBack())
        return;
    v.EnterLookBack();
    v.LookedBack(v.m_lookBack.ScrollTo(v.m_session.FirstFrame() + leftFrame, v.m_surface.Width(),
                                       v.m_session.FirstFrame(), v.LiveEnd()));
}

bool CAnalysisView::IsLookingBack() const { return m_impl->m_lookBack.Active(); }

void CAnalysisView::SetSoundOutput(std::unique_ptr<SoundOutput> output)
{
    Impl& v = *m_impl;
    v.StopReplay();
    v.m_replay.reset();
    v.m_output = std::move(output);
    if (v.m_output)
        v.m_replay = std::make_unique<Replay>(*v.m_output);
}

void CAnalysisView::TogglePlayback()
{
    if (IsPlaying())
        m_impl->StopReplay();
    else
        m_impl->StartReplay();
}

void CAnalysisView::ToggleModelPlayback()
{
    if (IsPlaying())
        m_impl->StopReplay();
    else
        m_impl->StartReplay(true);
}

bool CAnalysisView::IsPlaying() const { return m_impl->Playing(); }

void CAnalysisView::OnPlayTimer()
{
    if (IsPlaying())
        m_impl->FollowReplay();
}

std::string CAnalysisView::SaveRecording(const std::string& path)
{
    Impl& v = *m_impl;
    const std::string failure = WriteSoundFile(path, v.m_session.Sound(), v.m_sampleRate);
    if (failure.empty())
        v.m_session.MarkSaved();
    return failure;
}

std::string CAnalysisView::SavePicture(const std::string& path) const
{
    // What the window shows, lanes and all.
    return WritePngFile(path, ShownWidth(), ShownHeight(), ShownRgb(), ShownStride());
}

bool CAnalysisView::NewSession()
{
    Impl& v = *m_impl;
    if (v.m_session.HasUnsavedSound() && v.m_host != nullptr &&
        !v.m_host->AskYesNo("Discard the recording so far?"))
        return false;
    if (IsRecording())
        OnPause();
    v.StopReplay();
    v.m_lookBack.Leave();
    v.m_noLivePicture = false;
    v.m_session.Clear();
    v.m_pitch.Reset();
    v.m_model.ForgetTake();
    v.ComputeFraming();
    RedrawAll();
    v.ShowStatus();
    return true;
}

const SessionHistory& CAnalysisView::Session() const { return m_impl->m_session; }

void CAnalysisView::AdoptSession(SessionHistory session)
{
    Impl& v = *m_impl;
    if (IsRecording())
        OnPause();
    // The paused worker is ended now rather than at the timer: the ring is
    // reset below.
    if (v.m_pauseTimerSet) {
        if (v.m_host != nullptr)
            v.m_host->KillPauseTimer();
        v.m_pauseTimerSet = false;
        v.m_core.EndWorker();
    }
    v.StopReplay();
    const bool whole = session.FirstFrame() == 0;
    session.SetLimitMinutes(v.m_session.LimitMinutes());
    // A file longer than the session keeps is opened from where the kept
    // part begins; the user is told, so that its start is not thought lost.
    if (whole && session.FirstFrame() > 0 && v.m_host != nullptr)
        v.m_host->ShowMessage(
            (session.LimitMinutes() == 1 ? std::string("Only the last minute")
                                         : "Only the last " + FormatInt(session.LimitMinutes()) + " minutes") +
            " of the recording is shown: the session keeps no more (File \xE2\x80\xBA Configure, Keep the last "
            "\xE2\x80\xA6 minutes).");
    session.MarkSaved();
    v.m_session = std::move(session);
    v.m_model.ForgetTake();
    v.m_lookBack.Leave();
    // A new era begins at the session's end, where a Start records on.
    v.ComputeFraming();
    v.m_noLivePicture = true;
    v.m_liveSnapshot.clear();
    v.m_snapshotWidth = v.m_snapshotHeight = -1;
    v.m_lookBack.Enter(v.LiveEnd());
    v.m_lookBack.Move(ViewKey::Home, v.m_surface.Width(), v.m_session.FirstFrame(), v.LiveEnd());
    v.DrawLookBack();
    v.RequestPaint();
    v.ShowStatus();
}

SessionHistory CAnalysisView::TakeSession()
{
    Impl& v = *m_impl;
    v.StopReplay();
    SessionHistory taken(v.m_session.LimitMinutes(), v.m_session.Hop());
    std::swap(taken, v.m_session);
    v.m_lookBack.Leave();
    v.m_noLivePicture = false;
    v.m_session.BeginEra(v.m_framer.m_frameCounter);
    return taken;
}

void CAnalysisView::SetModel(SessionHistory model, const std::string& name, const std::string& path)
{
    Impl& v = *m_impl;
    v.m_model.Set(std::move(model), name, path);
    v.m_modelSetting = path;
    OnSize(v.m_clientWidth, v.m_clientHeight);
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
    const Impl& v = *m_impl;
    std::error_code error;
    if (v.m_modelSetting.empty() || v.m_model.Active() || !std::filesystem::is_regular_file(v.m_modelSetting, error))
        return {};
    return v.m_modelSetting;
}

void CAnalysisView::CloseModel()
{
    Impl& v = *m_impl;
    if (!v.m_model.Active())
        return;
    v.m_model.Clear();
    v.m_modelSetting.clear();
    OnSize(v.m_clientWidth, v.m_clientHeight);
    v.ShowModelName();
}

bool CAnalysisView::HasModel() const { return m_impl->m_model.Active(); }
const SessionHistory* CAnalysisView::Model() const { return m_impl->m_model.Model(); }
const std::string& CAnalysisView::ModelName() const { return m_impl->m_model.Name(); }

int64_t CAnalysisView::ModelFrameAtColumn(int x) const
{
    const Impl& v = *m_impl;
    return v.m_model.ModelFrameAt(x, v.RightSessionFrame());
}

int64_t CAnalysisView::ModelColumnOf(int64_t frame) const
{
    const Impl& v = *m_impl;
    return v.m_model.ColumnOf(frame, v.RightSessionFrame());
}

int64_t CAnalysisView::TakeStartFrame() const
{
    return m_impl->m_model.HasTake() ? m_impl->m_model.TakeStart() : -1;
}

int CAnalysisView::SessionLaneTop() const
{
    const Impl& v = *m_impl;
    return v.m_model.Active() ? SplitLanes(v.m_clientHeight).upper + 1 : 0;
}

void CAnalysisView::SetInputLister(std::function<std::vector<InputChoice>()> lister)
{
    m_impl->m_inputLister = std::move(lister);
}

const std::string& CAnalysisView::Input() const { return m_impl->m_input; }

bool CAnalysisView::IsRecording() const { return m_impl->m_waveIn.m_isOpen != 0; }
bool CAnalysisView::IsPauseTimerSet() const { return m_impl->m_pauseTimerSet; }

int CAnalysisView::SurfaceWidth() const { return m_impl->m_surface.Width(); }
int CAnalysisView::SurfaceHeight() const { return m_impl->m_surface.Height(); }
const uint8_t* CAnalysisView::SurfaceRgb() const { return m_impl->m_surface.Pixels(); }

const uint8_t* CAnalysisView::ShownRgb() const
{
    return m_impl->m_composed ? m_impl->m_shown.data() : m_impl->m_surface.Pixels();
}
int CAnalysisView::ShownWidth() const
{
    return m_impl->m_composed ? m_impl->m_shownWidth : m_impl->m_surface.Width();
}
int CAnalysisView::ShownHeight() const
{
    return m_impl->m_composed ? m_impl->m_shownHeight : m_impl->m_surface.Height();
}
size_t CAnalysisView::ShownStride() const
{
    return m_impl->m_composed ? m_impl->m_shownStride : m_impl->m_surface.Stride();
}

int64_t CAnalysisView::FrameAtColumn(int x) const { return m_impl->FrameAt(x); }

void CAnalysisView::SetPitchLine(bool on)
{
    Impl& v = *m_impl;
    if (v.m_pitchLine == on)
        return;
    v.m_pitchLine = on;
    // Only the shown picture changes: composed again at the next paint.
    v.ComposeShown();
    v.RequestPaint();
    v.ShowPitchReadout();
}

bool CAnalysisView::PitchLine() const { return m_impl->m_pitchLine; }

void CAnalysisView::OnPointerMove(int x, int y)
{
    m_impl->m_pointerX = x;
    m_impl->m_pointerY = y;
    m_impl->ShowPitchReadout();
}

void CAnalysisView::OnPointerLeave()
{
    m_impl->m_pointerX = -1;
    m_impl->m_pointerY = -1;
    m_impl->ShowPitchReadout();
}

void CAnalysisView::OnPictureClick(int x, int y)
{
    (void)y;
    Impl& v = *m_impl;
    // Where P plays from next; while playing, the sound goes there at once.
    v.m_playFrom = FrameAtColumn(x);
    v.m_playColumn = x;
    if (IsPlaying() && (v.m_playingModel || v.m_playFrom >= 0)) {
        const bool model = v.m_playingModel;
        v.StopReplay();
        v.StartReplay(model);
    }
}

const ColumnSurface& CAnalysisView::Surface() const { return m_impl->m_surface; }
const Framer& CAnalysisView::Framing() const { return m_impl->m_framer; }
CWaveIn& CAnalysisView::WaveIn() { return m_impl->m_waveIn; }

PaintFields CAnalysisView::Fields() const
{
    const Impl& v = *m_impl;
    PaintFields f;
    f.m_framesPerBuffer = v.m_framer.m_framesPerBuffer;
    f.m_hop = v.m_framer.m_hop;
    f.m_ringSize = v.m_ringSize;
    f.m_sampleRate = v.m_sampleRate;
    f.m_dbRange = v.m_dbRange;
    f.m_showWaveform = v.m_showWaveform;
    f.m_showTimescale = v.m_showTimescale;
    f.m_palette = v.m_palette;
    return f;
}

int32_t CAnalysisView::RefreshRate() const { return m_impl->m_framer.m_refreshRate; }
int32_t CAnalysisView::Undersampling() const { return m_impl->m_core.undersampling.load(); }
int32_t CAnalysisView::ShowWaveform() const { return m_impl->m_showWaveform; }
int32_t CAnalysisView::ShowTimescale() const { return m_impl->m_showTimescale; }
int32_t CAnalysisView::PaletteSetting() const { return static_cast<int32_t>(m_impl->m_palette); }

}  // namespace vocalume
