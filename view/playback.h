// Playing back while paused: P plays the session from the picture's left
// edge, or from the column last clicked, to its end; Shift+P plays the model
// from its frame at that column, or the first one its lane shows. The picture
// looks back while it plays, so that the page can turn when the sound heard
// passes the right edge; a line follows the sound, moved at the pace the live
// picture scrolls (the refresh rate), each step costing one paint of the
// stretch it moved over. As a layer of the shown picture it draws that line
// across the lane whose sound plays.
//
// Threads: user-interface thread only. The session, the looking back, the
// lanes and the settings are the view's and outlive this; the host, once
// attached, too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "compositor.h"
#include "lanes.h"
#include "looking_back.h"
#include "replay.h"
#include "session_history.h"
#include "sound_output.h"
#include "view_host.h"
#include "view_settings.h"

namespace vocalume {

// The shortest step of the play line while playing, in milliseconds; it
// moves at the refresh rate's pace otherwise.
inline constexpr int kPlayTimerMs = 25;

class Playback final : public PictureLayer {
public:
    Playback(const SessionHistory& session, LookingBack& lookingBack, const Lanes& lanes, const ViewSettings& settings);

    void Attach(ViewHost* host) { m_host = host; }
    // Where sound is played, kept here; none: nothing can be played.
    void SetOutput(std::unique_ptr<SoundOutput> output);

    bool Playing() const { return m_replay && m_replay->Playing(); }
    bool PlayingModel() const { return m_playingModel; }
    // Starts playing the session's sound, or the model's. False when nothing
    // plays: `reason` then says why for the user, or is empty when there is
    // simply nothing to play.
    bool Start(bool model, std::string& reason);
    // Stops playing; false when nothing played.
    bool Stop();
    // The play timer fired: the line follows the sound heard. True when the
    // page turned or the sound ended.
    bool Follow();
    // Why the last playing ended before the sound's end (the output's device
    // stopped answering or went away), for the user; empty when it played to
    // its end, was stopped, or plays still.
    const std::string& EndedBecause() const { return m_endedBecause; }

    // A click in the picture at column `x`: where P plays from next. True when
    // playing and the sound is to jump there at once.
    bool Click(int32_t x);
    void ForgetClick();

    bool Shown() const override { return m_replay && m_replay->LineColumn() >= 0; }
    void Draw(const Canvas& canvas) override;

private:
    // How often the line moves: as smooth as the picture the user chose.
    int TimerMs() const;

    const SessionHistory& m_session;
    LookingBack& m_lookingBack;
    const Lanes& m_lanes;
    const ViewSettings& m_settings;
    ViewHost* m_host = nullptr;
    // The output, and the replay through it, which goes first.
    std::unique_ptr<SoundOutput> m_output;
    std::unique_ptr<Replay> m_replay;
    // The session frame and the column clicked last (-1: none).
    int64_t m_clickedFrame = -1;
    int32_t m_clickedColumn = -1;
    bool m_playingModel = false;
    std::string m_endedBecause;
};

}  // namespace vocalume
