// The session's pitch: a pitch tracker that follows the session's sound as it
// is recorded and writes one estimate per frame into the session. It is fed
// exactly the samples the session keeps, in order, so that the tracker's
// frame k is the session's frame k (both begin at sample 11 k): a Pause, or a
// Configure change that starts a new era of the framer, only joins the sound
// on, as it does in the session. Settled estimates come about 29 frames after
// their frame is cut (the tracker's look-ahead and settling). Sound that does
// not continue what it was fed (the session was cleared) starts the tracker
// again at the session frame where that sound begins.
//
// User-interface thread only. The session must outlive this.
#pragma once

#include <cstdint>
#include <vector>

#include "pitch_tracker.h"
#include "session_history.h"

namespace vocalume {

class SessionPitch {
public:
    explicit SessionPitch(SessionHistory& session) : m_session(session) {}

    // The session just kept `count` more samples (after its Recorded).
    void Recorded(const int16_t* samples, int32_t count);
    // The sound stops for now: the frames still waiting for look-ahead get
    // provisional estimates, as if silence followed, so that the line reaches
    // the end of the take. Settled estimates replace them if the sound goes on.
    void Provisional();
    // A new, empty session: call after the session's Clear.
    void Reset();

    // Session frames with a settled estimate end here.
    int64_t SettledEnd() const { return m_firstFrame + m_tracker.FramesDone(); }
    // The newest settled voiced frame (-1 for none yet) and its f0.
    int64_t NewestVoicedFrame() const { return m_newestVoiced; }
    float NewestVoicedHz() const { return m_newestVoicedHz; }
    // The same with provisional estimates counted (the low-latency readout,
    // which cannot wait the tracker's settling): the newest frame voiced when
    // it was estimated, and the end of the frames estimated so far.
    int64_t NewestEstimatedVoicedFrame() const { return m_newestEstimatedVoiced; }
    float NewestEstimatedVoicedHz() const { return m_newestEstimatedVoicedHz; }

private:
    void Store(int64_t firstFrame, bool settled);

    SessionHistory& m_session;
    PitchTracker m_tracker;
    // The session frame of the tracker's frame 0, and the session sample
    // the tracker has been fed up to.
    int64_t m_firstFrame = 0;
    int64_t m_endSample = 0;
    std::vector<PitchEstimate> m_out;
    int64_t m_newestVoiced = -1;
    float m_newestVoicedHz = 0.0f;
    int64_t m_newestEstimatedVoiced = -1;
    float m_newestEstimatedVoicedHz = 0.0f;
};

}  // namespace vocalume
