// The pitch overlay, paused: the readout of the frame under the pointer in
// whichever lane it is, and the line over each lane, from each lane's own
// pitch. (The live readout follows the tracker; the view's tests record.)
#include "pitch_overlay.h"

#include <gtest/gtest.h>

#include <vector>

#include "parts_rig.h"
#include "pitch_line.h"
#include "pitch_readout.h"
#include "session_pitch.h"

namespace vocalume {
namespace {

struct OverlayRig : PartsRig {
    OverlayRig() : PartsRig(1000)
    {
        for (int64_t f = 0; f < session.EndFrame(); ++f)
            session.SetPitch(f, 220.0f);
        settings.pitchLine = true;
    }
    // Whether the line's white core crosses column 150 at `hz` in the lane
    // of `height` rows from `top`, drawn over a black picture.
    bool LineAt(const std::vector<uint8_t>& rgb, int32_t top, int32_t height, double hz) const
    {
        const int32_t row = top + PitchLineRow(hz, height);
        return rgb[surface.Stride() * static_cast<size_t>(row) + 150 * 3] == 255;
    }
    std::vector<uint8_t> Drawn()
    {
        const LaneRows rows = lanes.Rows();
        const int32_t height = rows.sessionTop + rows.sessionHeight;
        std::vector<uint8_t> rgb(surface.Stride() * static_cast<size_t>(height));
        overlay.Draw(Canvas{PixelImage{rgb.data(), surface.Width(), height, surface.Stride()}, rows, 0, 299, true});
        return rgb;
    }

    SessionPitch pitch{session};
    PitchOverlay overlay{settings, session, pitch, lookingBack, lanes};
};

TEST(PitchOverlay, ReadsTheFrameUnderThePointerInEitherLane)
{
    OverlayRig rig;
    rig.lookingBack.Move(ViewKey::Home);
    EXPECT_EQ(rig.overlay.Readout(false), "") << "the pointer is away";
    rig.overlay.PointAt(100, 50);
    // Frame 100's centre, 100 * 11 + 196 samples into the session.
    EXPECT_EQ(rig.overlay.Readout(false), FormatPitchAt(220.0, 1296.0 / 11025));

    SessionHistory model = NumberedSession(400);
    for (int64_t f = 0; f < 400; ++f)
        model.SetPitch(f, 110.0f);
    rig.lanes.SetModel(std::move(model), "model.wav", "");
    rig.lookingBack.Draw();
    rig.overlay.PointAt(30, 10);
    EXPECT_EQ(rig.overlay.Readout(false), "Model: " + FormatPitchAt(110.0, 526.0 / 11025));
    rig.overlay.PointAt(30, rig.lanes.Rows().sessionTop + 10);
    EXPECT_EQ(rig.overlay.Readout(false), FormatPitchAt(220.0, (30 * 11 + 196) / 11025.0));
    rig.settings.pitchLine = false;
    EXPECT_EQ(rig.overlay.Readout(false), "") << "the line off, no readout";
}

TEST(PitchOverlay, DrawsEachLanesOwnPitchOverIt)
{
    OverlayRig rig;
    rig.lookingBack.Move(ViewKey::Home);
    std::vector<uint8_t> rgb = rig.Drawn();
    EXPECT_TRUE(rig.LineAt(rgb, 0, 100, 220.0));

    SessionHistory model = NumberedSession(400);
    for (int64_t f = 0; f < 400; ++f)
        model.SetPitch(f, 110.0f);
    rig.lanes.SetModel(std::move(model), "model.wav", "");
    rig.lookingBack.Draw();
    const LaneRows rows = rig.lanes.Rows();
    rgb = rig.Drawn();
    EXPECT_TRUE(rig.LineAt(rgb, 0, rows.modelHeight, 110.0)) << "the model's own";
    EXPECT_FALSE(rig.LineAt(rgb, 0, rows.modelHeight, 220.0));
    EXPECT_TRUE(rig.LineAt(rgb, rows.sessionTop, rows.sessionHeight, 220.0));
}

}  // namespace
}  // namespace vocalume
