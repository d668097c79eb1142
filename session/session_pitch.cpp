#include "session_pitch.h"

namespace vocalume {

void SessionPitch::Recorded(const int16_t* samples, int32_t count)
{
    if (count <= 0)
        return;
    const int64_t start = m_session.EndSample() - count;
    if (start != m_endSample) {
        Reset();
        m_firstFrame = start / m_session.Hop();
    }
    m_endSample = m_session.EndSample();
    const int64_t first = SettledEnd();
    m_out.clear();
    m_tracker.Push(samples, static_cast<size_t>(count), m_out);
    Store(first, true);
}

void SessionPitch::Provisional()
{
    if (m_session.EndSample() != m_endSample)
        return;  // the session holds no sound of this tracker's (it was cleared)
    // A copy runs on into silence; the tracker itself waits for more sound.
    PitchTracker ending = m_tracker;
    const int64_t first = SettledEnd();
    m_out.clear();
    ending.Finish(m_session.EndFrame() - m_firstFrame, m_out);
    Store(first, false);
}

void SessionPitch::Reset()
{
    m_tracker = PitchTracker();
    m_firstFrame = 0;
    m_endSample = 0;
    m_out.clear();
    m_newestVoiced = -1;
    m_newestVoicedHz = 0.0f;
    m_newestEstimatedVoiced = -1;
    m_newestEstimatedVoicedHz = 0.0f;
}

void SessionPitch::Store(int64_t firstFrame, bool settled)
{
    for (size_t i = 0; i < m_out.size(); ++i) {
        const int64_t frame = firstFrame + static_cast<int64_t>(i);
        const PitchEstimate& e = m_out[i];
        const float f0 = e.voiced ? e.f0Hz : 0.0f;
        m_session.SetPitch(frame, f0);
        if (settled && f0 > 0.0f) {
            m_newestVoiced = frame;
            m_newestVoicedHz = f0;
        }
        if (f0 > 0.0f && frame >= m_newestEstimatedVoiced) {
            m_newestEstimatedVoiced = frame;
            m_newestEstimatedVoicedHz = f0;
        }
    }
}

}  // namespace vocalume
