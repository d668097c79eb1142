// Looking back, as a part: which session frame each column shows, live and
// looking back; the picture drawn from the kept descriptions; the live
// picture given back at the live end; an opened session with no live
// picture; the scroll bar.
#include "looking_back.h"

#include <gtest/gtest.h>

#include <vector>

#include "parts_rig.h"
#include "session_picture.h"

namespace vocalume {
namespace {

std::vector<uint8_t> Pixels(const ColumnSurface& surface)
{
    return {surface.Pixels(), surface.Pixels() + surface.Stride() * static_cast<size_t>(surface.Height())};
}

// The picture DrawSessionPicture gives with the right-most frame `right`.
std::vector<uint8_t> PictureEndingAt(const PartsRig& rig, int64_t right)
{
    ColumnSurface expected(rig.surface.Width(), rig.surface.Height());
    DrawSessionPicture(rig.session, right, rig.settings.Style(), expected);
    return Pixels(expected);
}

TEST(LookingBack, ColumnsShowTheirFramesLiveAndLookingBack)
{
    PartsRig rig(1000);
    LookingBack& back = rig.lookingBack;
    EXPECT_EQ(back.LiveEnd(), 999);
    EXPECT_EQ(back.FrameAt(299), 999);
    EXPECT_EQ(back.FrameAt(1), 701);
    EXPECT_EQ(back.FrameAt(0), -1) << "the live picture's left-most column is never painted";

    EXPECT_TRUE(back.Move(ViewKey::Home));
    EXPECT_EQ(back.FrameAt(0), 0);
    EXPECT_EQ(back.FrameAt(299), 299);
    EXPECT_TRUE(back.AwayFromLiveEnd());
    EXPECT_EQ(Pixels(rig.surface), PictureEndingAt(rig, 299));
    EXPECT_TRUE(back.Wheel(-1));
    EXPECT_EQ(back.RightFrame(), 329) << "a notch is a tenth of the window";
    EXPECT_TRUE(back.ScrollTo(500));
    EXPECT_EQ(back.LeftFrame(), 500);
    EXPECT_TRUE(back.ScrollTo(5000));
    EXPECT_EQ(back.RightFrame(), 999) << "no further than the live end";
    back.ShowScrollBar(rig.host, true);
    EXPECT_TRUE(rig.host.scrollBar);
    EXPECT_EQ(rig.host.scrollPosition, 700);
}

// Coming back to the live end shows the very pixels the live picture showed,
// whatever the descriptions would draw there.
TEST(LookingBack, TheLiveEndShowsTheLivePictureAsItStood)
{
    PartsRig rig(1000);
    rig.surface.BeginPaint();
    std::vector<uint8_t> column(static_cast<size_t>(kColumnBufferRows) * 4, 0x40);
    for (int32_t x = 0; x < rig.surface.Width(); ++x)
        rig.surface.DrawColumn(x, column.data(), rig.surface.Height());
    rig.surface.EndPaint();
    const std::vector<uint8_t> live = Pixels(rig.surface);

    rig.lookingBack.Move(ViewKey::PageUp);
    EXPECT_NE(Pixels(rig.surface), live);
    EXPECT_TRUE(rig.lookingBack.Move(ViewKey::End));
    EXPECT_FALSE(rig.lookingBack.AwayFromLiveEnd());
    EXPECT_EQ(Pixels(rig.surface), live);
    rig.lookingBack.BackToLive();
    EXPECT_FALSE(rig.lookingBack.Active());
}

// An opened session has no live picture: the picture looks back from its
// start, its end is its last frame, and clearing the live picture (a new
// refresh rate) leaves it where it stands.
TEST(LookingBack, AnOpenedSessionIsLookedBackFromItsStart)
{
    PartsRig rig(1000);
    rig.framer.m_frameCounter += 5000;  // the framer has moved on: a new era
    rig.lookingBack.ShowAdopted();
    EXPECT_EQ(rig.lookingBack.LiveEnd(), 999);
    EXPECT_EQ(rig.lookingBack.FrameAt(0), 0);
    EXPECT_EQ(Pixels(rig.surface), PictureEndingAt(rig, 299));
    rig.lookingBack.LivePictureCleared();
    EXPECT_TRUE(rig.lookingBack.Active());
    EXPECT_TRUE(rig.lookingBack.Move(ViewKey::End));
    EXPECT_EQ(Pixels(rig.surface), PictureEndingAt(rig, 999));
}

// At four frames a column, live and looking back: the keys and the scroll bar
// count the frames the picture spans; the model lane keeps to the scale.
TEST(LookingBack, ZoomedOutAColumnStandsForFourFrames)
{
    PartsRig rig(5001);
    rig.settings.zoom = 4;
    LookingBack& back = rig.lookingBack;
    EXPECT_EQ(back.LiveEnd(), 4999) << "frame 5000 does not make a whole column yet";
    EXPECT_EQ(back.FrameAt(299), 4998);
    EXPECT_EQ(back.FrameAt(1), 3806);
    EXPECT_EQ(back.ColumnOf(4995), 298);

    EXPECT_TRUE(back.Move(ViewKey::Home));
    EXPECT_EQ(back.LeftFrame(), 0);
    EXPECT_EQ(back.FrameAt(0), 2);
    // Each column shows its loudest frame: its last, as the rig's grow brighter.
    EXPECT_EQ(rig.surface.PixelAt(0, 50).red, 23);
    EXPECT_EQ(rig.surface.PixelAt(10, 50).red, 63);
    EXPECT_TRUE(back.Move(ViewKey::End));
    EXPECT_TRUE(back.Move(ViewKey::PageUp));
    EXPECT_EQ(back.RightFrame(), 4999 - 1200);
    back.ShowScrollBar(rig.host, true);
    EXPECT_EQ(rig.host.scrollPosition, 4999 - 1200 - 1199);

    rig.lanes.SetModel(NumberedSession(2000), "model", "");
    EXPECT_EQ(rig.lanes.ModelFrameAt(0), 2) << "before any take the model begins at the left edge";
    EXPECT_EQ(rig.lanes.ModelFrameAt(299), 1198);

    // Back to one frame a column at the live end: still at the live end.
    rig.settings.zoom = 1;
    back.Rezoomed(false);
    EXPECT_EQ(back.RightFrame(), 4999 - 1200);
    back.Rezoomed(true);
    EXPECT_EQ(back.RightFrame(), 5000);
}

}  // namespace
}  // namespace vocalume
