// Playing back, as a part: where P and Shift+P start, the line following the
// sound heard, the page turning at the right edge, the end, the line drawn
// across the lane that plays, and what happens without an output or sound.
#include "playback.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_sound_output.h"
#include "parts_rig.h"

namespace vocalume {
namespace {

struct PlaybackRig : PartsRig {
    PlaybackRig() : PartsRig(2000)
    {
        playback.Attach(&host);
        auto owned = std::make_unique<FakeSoundOutput>();
        output = owned.get();
        playback.SetOutput(std::move(owned));
    }
    // The columns of the middle row of the session lane that the line made
    // white, drawn over a black picture.
    std::vector<int32_t> LineColumns(int32_t row)
    {
        const LaneRows rows = lanes.Rows();
        std::vector<uint8_t> black(surface.Stride() * static_cast<size_t>(rows.sessionTop + rows.sessionHeight));
        const PixelImage image{black.data(), surface.Width(), rows.sessionTop + rows.sessionHeight, surface.Stride()};
        if (playback.Shown())
            playback.Draw(Canvas{image, rows, 0, image.width - 1, true});
        std::vector<int32_t> white;
        for (int32_t x = 0; x < image.width; ++x)
            if (black[surface.Stride() * static_cast<size_t>(row) + static_cast<size_t>(x) * 3] == 255)
                white.push_back(x);
        return white;
    }

    Playback playback{session, lookingBack, lanes, settings};
    FakeSoundOutput* output = nullptr;
};

TEST(Playback, PStartsAtTheLeftEdgeOrTheClickAndTheLineTurnsThePage)
{
    PlaybackRig rig;
    std::string reason;
    ASSERT_TRUE(rig.playback.Start(false, reason));
    EXPECT_TRUE(rig.lookingBack.Active()) << "the picture looks back, so that the page can turn";
    EXPECT_EQ(rig.output->from, 1700 * 11) << "the picture shows frames 1700 to 1999";
    EXPECT_EQ(rig.output->samples[rig.output->from], 1700);
    EXPECT_EQ(rig.host.playTimer, 100) << "as often as the picture scrolls at refresh 10";

    rig.output->heard = (1700 + 40) * 11 + 5;
    EXPECT_FALSE(rig.playback.Follow());
    EXPECT_EQ(rig.LineColumns(50), std::vector<int32_t>{40});
    EXPECT_EQ(rig.host.columnsPainted.back(), (std::pair<int, int>{0, 40})) << "one stretch, old line to new";

    // A click at column 100 (frame 1800): the sound jumps there.
    EXPECT_TRUE(rig.playback.Click(100));
    rig.playback.Stop();
    EXPECT_EQ(rig.host.playTimer, 0);
    ASSERT_TRUE(rig.playback.Start(false, reason));
    EXPECT_EQ(rig.output->from, 1800 * 11);

    // From the session's start, past the right edge: the page turns.
    rig.playback.Stop();
    rig.playback.ForgetClick();
    rig.lookingBack.Move(ViewKey::Home);
    ASSERT_TRUE(rig.playback.Start(false, reason));
    EXPECT_EQ(rig.output->from, 0);
    rig.output->heard = 350 * 11;
    EXPECT_TRUE(rig.playback.Follow());
    EXPECT_EQ(rig.lookingBack.LeftFrame(), 300);
    EXPECT_EQ(rig.LineColumns(50), std::vector<int32_t>{50});

    rig.output->finished = true;
    EXPECT_TRUE(rig.playback.Follow());
    EXPECT_FALSE(rig.playback.Playing());
    EXPECT_FALSE(rig.playback.Shown());
    EXPECT_EQ(rig.host.playTimer, 0);
}

// Shift+P: the model from its frame at the clicked column, the line over the
// model's lane only.
TEST(Playback, ShiftPPlaysTheModelFromItsFrameAtTheClickOverItsLane)
{
    PlaybackRig rig;
    rig.lanes.SetModel(NumberedSession(500), "model.wav", "");
    rig.lookingBack.Move(ViewKey::Home);
    rig.playback.Click(30);
    std::string reason;
    ASSERT_TRUE(rig.playback.Start(true, reason));
    EXPECT_TRUE(rig.playback.PlayingModel());
    // Before any take the model's first frame stands at the left edge.
    EXPECT_EQ(rig.output->from, 30 * 11);
    rig.output->heard = 60 * 11;
    rig.playback.Follow();
    const LaneRows rows = rig.lanes.Rows();
    EXPECT_EQ(rig.LineColumns(rows.modelHeight / 2), std::vector<int32_t>{60});
    EXPECT_TRUE(rig.LineColumns(rows.sessionTop + 1).empty()) << "the session's lane has no line";
}

TEST(Playback, WithoutAnOutputPSaysSoAndWithoutSoundNothingPlays)
{
    PlaybackRig rig;
    std::string reason;
    EXPECT_FALSE(rig.playback.Start(true, reason)) << "no model";
    EXPECT_EQ(reason, "");
    rig.playback.SetOutput(nullptr);
    EXPECT_FALSE(rig.playback.Start(false, reason));
    EXPECT_EQ(reason, "no sound output device was found");

    PartsRig empty(0);
    Playback playback(empty.session, empty.lookingBack, empty.lanes, empty.settings);
    playback.SetOutput(std::make_unique<FakeSoundOutput>());
    EXPECT_FALSE(playback.Start(false, reason));
    EXPECT_EQ(reason, "") << "nothing recorded yet";
}

}  // namespace
}  // namespace vocalume
