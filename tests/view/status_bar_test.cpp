// The status bar's fields as the view fills them, and the input choice that
// names the microphone in one of them.
#include "status_bar.h"

#include <gtest/gtest.h>

#include "fake_view_host.h"
#include "input_choice.h"

namespace vocalume {
namespace {

// A field is redrawn only when its text changes: every change redraws the
// bar, and recording shows the position ten times a second.
TEST(StatusBar, TellsTheHostOfChangesOnly)
{
    FakeHost host;
    StatusBar bar;
    bar.Show(StatusField::State, "Paused");
    bar.Attach(&host);
    EXPECT_EQ(host.status[StatusField::State], "Paused") << "kept before the host came";
    bar.Show(StatusField::State, "Paused");
    bar.Show(StatusField::Position, "0:01");
    bar.Show(StatusField::Position, "0:01");
    bar.Show(StatusField::State, "Recording");
    EXPECT_EQ(host.statusChanges, 3);
    EXPECT_EQ(host.status[StatusField::Position], "0:01");
    EXPECT_EQ(bar.Text(StatusField::State), "Recording");
}

TEST(StatusBar, TheStateAndThePositionInWords)
{
    EXPECT_STREQ(StateText({true, false, false, false}), "Recording");
    EXPECT_STREQ(StateText({false, true, false, true}), "Playing");
    EXPECT_STREQ(StateText({false, true, true, true}), "Playing the model");
    EXPECT_STREQ(StateText({false, false, false, true}), "Looking back");
    EXPECT_STREQ(StateText({}), "Paused");

    EXPECT_EQ(PositionText(65.34, -1.0), "1:05.3");
    EXPECT_EQ(PositionText(65.34, 12.44), "0:52.9 of 1:05.3") << "read forward";

    // Each field shows its text whole and shares what is left; a bar too
    // narrow takes from the widest field first.
    EXPECT_EQ(FitStatusWidths({60, 100, 90}, {1, 1, 2}, 370), (std::vector<int>{90, 130, 150}));
    EXPECT_EQ(FitStatusWidths({60, 200, 90}, {1, 1, 2}, 300), (std::vector<int>{60, 150, 90}));
}

// The input field names the microphone as the list described it; a chosen
// one that is missing at Start is told once for each choice.
TEST(ChosenInput, NamesTheChoiceAndTellsAMissingOneOnce)
{
    ChosenInput input("");
    EXPECT_EQ(input.Shown(), "Default input");
    input.SetLister([] { return std::vector<InputChoice>{{"mic-2", "Headset"}}; });
    input.Choose("mic-2", input.List());
    EXPECT_EQ(input.Shown(), "Headset");
    EXPECT_FALSE(input.MissingNotice(false));
    EXPECT_EQ(input.MissingNotice(true).value_or(""), "Default input (\"Headset\" is missing)");
    EXPECT_FALSE(input.MissingNotice(true)) << "told once";
    input.Choose("mic-2", {});
    EXPECT_EQ(input.Shown(), "mic-2") << "not offered now: its stored name";
    EXPECT_TRUE(input.MissingNotice(true)) << "a new choice is told again";
}

}  // namespace
}  // namespace vocalume
