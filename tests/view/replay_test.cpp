// The replay's arithmetic with an output the test moves by hand, for a block
// that is not the session's (as a second recording shown beside it would be):
// where the sound starts, where the line stands, when the page turns, the end.
// The view's own use of it is tested with the view.
#include "replay.h"

#include <gtest/gtest.h>

#include "fake_sound_output.h"

namespace vocalume {
namespace {

TEST(Replay, StartsAtTheFrameFollowsTheSoundTurnsThePageAndEnds)
{
    FakeSoundOutput output;
    Replay replay(output);
    // A block whose first sample is frame 10's (hop 11), played from frame 20.
    const SoundChunks sound(std::vector<int16_t>(11 * 500, int16_t{7}));
    std::string reason;
    ASSERT_TRUE(replay.Start(sound, 110, 11, 20, reason));
    EXPECT_EQ(output.from, 110);

    // A 100-column picture showing frames 0..99. Frame 25 is heard from its
    // first sample to its last.
    int64_t left = 0;
    auto columnOf = [&left](int64_t frame) { return frame - left; };
    output.heard = 15 * 11;
    Replay::Step step = replay.Follow(columnOf, 100);
    EXPECT_TRUE(step.moved);
    EXPECT_EQ(step.lineColumn, 25);
    output.heard = 15 * 11 + 10;
    step = replay.Follow(columnOf, 100);
    EXPECT_FALSE(step.moved);
    EXPECT_EQ(replay.LineColumn(), 25);

    // Past the right edge: a page to turn; on the next page the line is
    // where the frame is.
    output.heard = 95 * 11;
    step = replay.Follow(columnOf, 100);
    EXPECT_TRUE(step.turnPage);
    EXPECT_EQ(step.oldColumn, 25);
    EXPECT_EQ(replay.LineColumn(), -1);
    left = 100;
    step = replay.Follow(columnOf, 100);
    EXPECT_EQ(step.lineColumn, 5);

    // The end: the line goes and the replay stops.
    output.finished = true;
    step = replay.Follow(columnOf, 100);
    EXPECT_TRUE(step.ended);
    EXPECT_EQ(step.oldColumn, 5);
    EXPECT_EQ(step.lineColumn, -1);
    EXPECT_FALSE(replay.Playing());
    EXPECT_FALSE(replay.Follow(columnOf, 100).ended) << "told once";
}

}  // namespace
}  // namespace vocalume
