// The rules of the dialogs: the name a save dialog's answer is written to
// (the extension the program adds goes through the same "replace?" question
// as a typed name, and a typed name that exists, a device say, is the one
// meant), and the one style of every message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "message_style.h"
#include "save_name.h"

namespace vocalume {
namespace {

TEST(SaveNameTest, TheAddedExtensionIsAskedAboutAndAnExistingTypedNameIsMeant)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("vocalume-save-name-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "take.wav") << "old";
    std::vector<std::string> asked;
    bool replace = false;
    const auto ask = [&](const std::string& name) {
        asked.push_back(name);
        return replace;
    };
    const std::string take = (dir / "take").string();
    EXPECT_EQ(NameToWrite(take, "wav", ask), std::nullopt) << "declined: nothing is written";
    replace = true;
    EXPECT_EQ(NameToWrite(take, "wav", ask), take + ".wav");
    EXPECT_EQ(asked, (std::vector<std::string>{"take.wav", "take.wav"}));

    asked.clear();
    EXPECT_EQ(NameToWrite(take, "flac", ask), take + ".flac") << "nothing there: nothing to ask";
    EXPECT_EQ(NameToWrite((dir / "take.wav").string(), "flac", ask), (dir / "take.wav").string());
    EXPECT_EQ(NameToWrite("/dev/full", "wav", ask), "/dev/full") << "the device typed is the one meant";
    EXPECT_TRUE(asked.empty());
    fs::remove_all(dir);
}

// Messages put together from several parts read as one sentence.
TEST(MessageStyleTest, OneCapitalAtTheStartAndOneFullStopAtTheEnd)
{
    EXPECT_EQ(AsSentence("the sound file \"a.wav\" holds no sound"), "The sound file \"a.wav\" holds no sound.");
    EXPECT_EQ(AsSentence("Cannot read \"a.wav\": Format not recognised.."), "Cannot read \"a.wav\": Format not recognised.");
    EXPECT_EQ(AsSentence("Save the recording?"), "Save the recording?");
}

}  // namespace
}  // namespace vocalume
