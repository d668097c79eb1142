// The Configuration dialog's drop-down lists: which entry opens selected and
// what the field holds after OK.
#include <gtest/gtest.h>

#include "config_exchange.h"

namespace vocalume {
namespace {

TEST(ConfigExchangeTest, OpensOnTheFirstEntryBeginningWithTheText)
{
    const auto& refresh = RefreshRateEntries();
    EXPECT_EQ(FirstEntryBeginningWith(refresh, "10"), 1);
    EXPECT_EQ(FirstEntryBeginningWith(refresh, "25"), 4);
    // A stored refresh rate of 1 is not offered: "10" is the first entry
    // beginning with it; 2 likewise opens on "20".
    EXPECT_EQ(FirstEntryBeginningWith(refresh, "1"), 1);
    EXPECT_EQ(FirstEntryBeginningWith(refresh, "2"), 3);
    EXPECT_EQ(FirstEntryBeginningWith(SamplingRatioEntries(), "3"), 2);
}

TEST(ConfigExchangeTest, TextBeginningNoEntryLeavesNoSelection)
{
    const auto& refresh = RefreshRateEntries();
    for (const char* text : {"30", "100", "0", "-5", "7", " 5"})
        EXPECT_EQ(FirstEntryBeginningWith(refresh, text), -1) << text;
    EXPECT_EQ(FirstEntryBeginningWith(SamplingRatioEntries(), "6"), -1);
}

TEST(ConfigExchangeTest, OkTakesTheSelectedEntry)
{
    EXPECT_EQ(TextOfSelection(RefreshRateEntries(), 0, "10"), "5");
    EXPECT_EQ(TextOfSelection(SamplingRatioEntries(), 4, "3"), "5");
}

TEST(ConfigExchangeTest, OkWithNoSelectionKeepsTheOldText)
{
    // Opening on a value the list does not hold and pressing OK must not
    // turn the setting into anything else (least of all 0).
    const auto& refresh = RefreshRateEntries();
    const int selection = FirstEntryBeginningWith(refresh, "30");
    EXPECT_EQ(TextOfSelection(refresh, selection, "30"), "30");
    EXPECT_EQ(TextOfSelection(refresh, 5, "30"), "30");
}

}  // namespace
}  // namespace vocalume
