#include "pitch_overlay.h"

#include "pitch_line.h"
#include "pitch_readout.h"
#include "target_note.h"

namespace vocalume {
namespace {

// The pitch of the `session` frame that column x shows, as `frameAt` says,
// for each column of `lane`; frames not yet estimated draw nothing.
template <typename FrameAt>
void DrawLane(PixelImage lane, const SessionHistory& session, FrameAt frameAt, std::vector<PitchEstimate>& columns)
{
    columns.assign(static_cast<size_t>(lane.width), PitchEstimate{});
    for (int32_t x = 0; x < lane.width; ++x) {
        const int64_t frame = frameAt(x);
        if (frame < 0 || frame >= session.PitchEnd() || !session.HasFrame(frame))
            continue;
        const float f0 = session.Pitch(frame);
        columns[static_cast<size_t>(x)] = PitchEstimate{f0, f0 > 0.0f};
    }
    DrawPitchLine(lane, columns.data());
}

// The readout of `frame` of `session`, timed at its centre in the kept
// sound, as in a saved recording, and how far it lies from the target;
// empty for a frame with no estimate.
std::string ReadoutOf(const SessionHistory& session, int64_t frame, const ViewSettings& settings)
{
    if (frame < 0 || frame >= session.PitchEnd() || !session.HasFrame(frame))
        return {};
    const int64_t sample = session.SampleOfFrame(frame) + PitchTracker::kCentreOffset;
    const float hz = session.Pitch(frame);
    return FormatPitchAt(hz, static_cast<double>(sample - session.FirstSample()) / kRecordingRate) +
           TargetDistanceText(hz, settings);
}

}  // namespace

PitchOverlay::PitchOverlay(const ViewSettings& settings, const SessionHistory& session, const SessionPitch& pitch,
                           const LookingBack& lookingBack, const Lanes& lanes)
    : m_settings(settings), m_session(session), m_pitch(pitch), m_lookingBack(lookingBack), m_lanes(lanes)
{}

void PitchOverlay::PointAt(int32_t x, int32_t y)
{
    m_pointerX = x;
    m_pointerY = y;
}

std::optional<std::string> PitchOverlay::Readout(bool recording)
{
    if (!recording)
        m_readoutFrame = -kReadoutEveryFrames;
    if (!m_settings.pitchLine)
        return std::string();
    if (!recording)
        return m_lanes.InModelLane(m_pointerY) ? ModelReadout() : SessionReadout();
    // A few times a second: faster is unreadable, and every change redraws
    // the status bar.
    const bool soon = m_settings.lowLatency;
    const int64_t settled = soon ? m_session.PitchEnd() : m_pitch.SettledEnd();
    const int64_t every = soon ? kLowLatencyReadoutEveryFrames : kReadoutEveryFrames;
    if (settled >= m_readoutFrame && settled < m_readoutFrame + every)
        return std::nullopt;
    m_readoutFrame = settled;
    const int64_t voiced = soon ? m_pitch.NewestEstimatedVoicedFrame() : m_pitch.NewestVoicedFrame();
    if (voiced >= 0 && settled - voiced <= kReadoutHoldFrames) {
        const double hz = soon ? m_pitch.NewestEstimatedVoicedHz() : m_pitch.NewestVoicedHz();
        return FormatPitch(hz) + TargetDistanceText(hz, m_settings);
    }
    return std::string();
}

std::string PitchOverlay::ModelReadout() const
{
    const std::string text = ReadoutOf(*m_lanes.Model(), m_lanes.ModelFrameAt(m_pointerX), m_settings);
    return text.empty() ? text : "Model: " + text;
}

std::string PitchOverlay::SessionReadout() const
{
    return ReadoutOf(m_session, m_lookingBack.FrameAt(m_pointerX), m_settings);
}

void PitchOverlay::Draw(const Canvas& canvas)
{
    DrawLane(
        canvas.SessionLane(), m_session, [this](int32_t x) { return m_lookingBack.FrameAt(x); }, m_lineColumns);
    if (m_lanes.HasModel())
        DrawLane(
            canvas.ModelLane(), *m_lanes.Model(), [this](int32_t x) { return m_lanes.ModelFrameAt(x); }, m_lineColumns);
}

}  // namespace vocalume
