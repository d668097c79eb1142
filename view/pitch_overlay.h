// The pitch overlay: View › Pitch line drawn over each lane of the shown
// picture (never into the retained one), the session's from its tracked
// pitch, the model's from its whole-file track, so that a learner sees both
// melodies one above the other; and the status bar's pitch readout. While
// recording the readout reads the newest voiced sound, a few times a second,
// blank once the voice has been silent a while; otherwise the frame under
// the mouse pointer, in whichever lane it is, blank while the pointer is
// away from the picture.
//
// Threads: user-interface thread only. Everything it is given is the view's
// and outlives it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compositor.h"
#include "lanes.h"
#include "looking_back.h"
#include "pitch_tracker.h"
#include "session_history.h"
#include "session_pitch.h"
#include "view_settings.h"

namespace vocalume {

// The live readout changes at most every quarter of a second, and goes blank
// after half a second without voice.
inline constexpr int64_t kReadoutEveryFrames = 250;
inline constexpr int64_t kReadoutHoldFrames = 500;
// With the low-latency picture it changes up to 20 times a second and reads
// provisional estimates too, so that it follows the voice within 60 ms.
inline constexpr int64_t kLowLatencyReadoutEveryFrames = 50;

class PitchOverlay final : public PictureLayer {
public:
    PitchOverlay(const ViewSettings& settings, const SessionHistory& session, const SessionPitch& pitch,
                 const LookingBack& lookingBack, const Lanes& lanes);

    // The mouse pointer is over the picture at (`x`, `y`); (-1, -1) away.
    void PointAt(int32_t x, int32_t y);
    // The readout's text now, or nothing when it is to stay as it is.
    std::optional<std::string> Readout(bool recording);

    bool Shown() const override { return m_settings.pitchLine; }
    void Draw(const Canvas& canvas) override;

private:
    std::string ModelReadout() const;
    std::string SessionReadout() const;

    const ViewSettings& m_settings;
    const SessionHistory& m_session;
    const SessionPitch& m_pitch;
    const LookingBack& m_lookingBack;
    const Lanes& m_lanes;
    // One estimate per shown column, kept between paints.
    std::vector<PitchEstimate> m_lineColumns;
    int32_t m_pointerX = -1;
    int32_t m_pointerY = -1;
    // The settled end at the last live readout.
    int64_t m_readoutFrame = -kReadoutEveryFrames;
};

}  // namespace vocalume
