#include "session_history.h"
#include "sound_file_writer.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>

namespace vocalume {
namespace {

namespace fs = std::filesystem;

ColumnDescription Marked(double red)
{
    ColumnDescription c;
    c.red = red;
    return c;
}

std::vector<int16_t> Ramp(int32_t n, int16_t from)
{
    std::vector<int16_t> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), from);
    return v;
}

// Frames keep their place in the session across the framer's own numbering
// starting again (a Configure change), and each frame's sound is found
// `hop` samples after the one before within its stretch.
TEST(SessionHistoryTest, FramesAndSoundStayInStepAcrossRingResets)
{
    SessionHistory session(30);
    session.BeginEra(5000);
    const auto first = Ramp(68 * 11, 0);
    session.Recorded(first.data(), 68 * 11, 5000 + 68);
    session.Keep(5000, Marked(1));
    session.Keep(5067, Marked(2));
    session.Keep(4999, Marked(9));  // a reset's black record: not the session's
    EXPECT_EQ(session.EndFrame(), 68);
    EXPECT_EQ(session.Column(0).red, 1);
    EXPECT_EQ(session.Column(67).red, 2);
    EXPECT_EQ(session.Column(1).flags, ColumnDescription::kNoTrace) << "cut but not drawn: blank";

    session.BeginEra(5000);  // numbering starts again
    session.Recorded(first.data(), 10 * 11, 5000 + 10);
    session.Keep(5003, Marked(3));
    EXPECT_EQ(session.EndFrame(), 78);
    EXPECT_EQ(session.Column(71).red, 3);
    EXPECT_EQ(session.Column(67).red, 2) << "the earlier stretch is untouched";
    EXPECT_EQ(session.EndSample(), 78 * 11);
    EXPECT_TRUE(session.HasUnsavedSound());

    session.Clear();
    EXPECT_EQ(session.EndFrame(), 0);
    EXPECT_EQ(session.EndSample(), 0);
    EXPECT_FALSE(session.HasUnsavedSound());
    session.Recorded(first.data(), 11, 5011);
    session.Keep(5010, Marked(4));
    EXPECT_EQ(session.EndFrame(), 1);
    EXPECT_EQ(session.Column(0).red, 4) << "after New session the next frame is the session's first";
}

// Beyond the limit the oldest part goes and the newest stays, sound and
// frames alike; memory stays within a few megabytes a minute.
TEST(SessionHistoryTest, TheLimitDropsTheOldestAndKeepsTheNewest)
{
    SessionHistory session(1);
    session.BeginEra(5000);
    const int32_t perBuffer = 1144;
    const auto sound = Ramp(perBuffer, 0);
    int64_t end = 5000;
    for (int i = 0; i < 11025 * 90 / perBuffer; ++i) {  // a minute and a half
        end += perBuffer / 11;
        session.Recorded(sound.data(), perBuffer, end);
        session.Keep(end - 1, Marked(static_cast<double>(end)));
        session.SetPitch(session.FrameOf(end - 1), static_cast<float>(end % 500) + 60.25f);
    }
    const int64_t minute = 60 * 11025;
    EXPECT_LE(session.EndSample() - session.FirstSample(), minute + 11025);
    EXPECT_GE(session.EndSample() - session.FirstSample(), minute);
    EXPECT_EQ((session.EndFrame() - session.FirstFrame()) * 11, session.EndSample() - session.FirstSample());
    EXPECT_EQ(session.Column(session.EndFrame() - 1).red, static_cast<double>(end));
    // The pitch goes with its frame; the frames between get none.
    // Kept to a twelfth of a cent, from the lowest voice to a soprano's top.
    const float kept = static_cast<float>(end % 500) + 60.25f;
    EXPECT_NEAR(session.Pitch(session.EndFrame() - 1), kept, kept * 5e-5);
    EXPECT_EQ(session.Pitch(session.EndFrame() - 2), 0.0f);
    for (const float hz : {46.0f, 1046.5f, 1225.0f}) {
        session.SetPitch(session.EndFrame() - 2, hz);
        EXPECT_NEAR(session.Pitch(session.EndFrame() - 2), hz, hz * 5e-5) << hz;
    }
    session.SetPitch(session.EndFrame() - 2, 0.0f);
    EXPECT_EQ(session.PitchEnd(), session.EndFrame());
    EXPECT_GT(session.FirstFrame(), 0);
    EXPECT_LT(session.BytesUsed(), 4u << 20) << "a minute of session in under 4 MB";
    session.Clear();
    EXPECT_EQ(session.PitchEnd(), 0);
    EXPECT_EQ(session.Pitch(0), 0.0f);
}

// The kept sound is handed out without copying its full chunks: a stretch
// taken stays as it was while the session records on, drops its oldest
// part and is trimmed; each holds exactly the samples kept, in order.
TEST(SessionHistoryTest, TheSoundIsHandedOutInChunksThatStayAsTheyWere)
{
    SessionHistory session(1);
    session.BeginEra(0);
    std::vector<int16_t> buffer(1144);
    int64_t recorded = 0;
    const auto record = [&](int64_t samples) {
        for (int64_t done = 0; done < samples; done += 1144) {
            for (size_t i = 0; i < buffer.size(); ++i)
                buffer[i] = static_cast<int16_t>((recorded + static_cast<int64_t>(i)) % 30000);
            recorded += 1144;
            session.Recorded(buffer.data(), 1144, recorded / 11);
        }
    };
    const auto expectKept = [&](const SoundChunks& sound, int64_t first, int64_t size) {
        ASSERT_EQ(sound.Size(), size);
        const std::vector<int16_t> all = sound.ToVector();
        for (int64_t i = 0; i < size; i += 97)
            ASSERT_EQ(all[static_cast<size_t>(i)], (first + i) % 30000) << i;
        ASSERT_EQ(all.back(), (first + size - 1) % 30000);
    };
    record(40000);
    const SoundChunks early = session.Sound();
    expectKept(early, 0, 40040);
    EXPECT_LT(early.Run(0, 40040).size(), 40040u) << "more than one chunk";
    EXPECT_EQ(session.Sound().Run(0, 1).data(), early.Run(0, 1).data()) << "full chunks shared, not copied";

    record(11025 * 80);  // past the minute kept
    expectKept(early, 0, 40040);
    expectKept(session.Sound(), session.FirstSample(), session.EndSample() - session.FirstSample());
    EXPECT_GT(session.FirstSample(), 0);
    // A stretch from before the oldest kept sample, over full chunks, into
    // the chunk being filled, is the kept part of it.
    const std::vector<int16_t> between = session.SoundBetween(session.FirstSample() - 5, session.EndSample() - 3);
    expectKept(SoundChunks(between), session.FirstSample(), session.EndSample() - 3 - session.FirstSample());

    // Trimmed inside a full chunk, then recorded on.
    const int64_t end = session.FirstFrame() + 30000;
    session.TrimTo(end);
    expectKept(session.Sound(), session.FirstSample(), 30000 * 11);
    recorded = end * 11;
    record(2288);
    expectKept(session.Sound(), session.FirstSample(), 30000 * 11 + 2288);
}

std::vector<int16_t> ReadBack(const std::string& path, SF_INFO& info)
{
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr)
        return {};
    std::vector<int16_t> v(static_cast<size_t>(info.frames));
    sf_read_short(f, v.data(), info.frames);
    sf_close(f);
    return v;
}

class SoundFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("vocalume-save-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        fs::permissions(dir, fs::perms::owner_all);
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(SoundFileTest, SavedWavAndFlacHoldExactlyTheSamples)
{
    const auto samples = Ramp(30000, -15000);
    for (const char* name : {"take.wav", "take.FLAC"}) {
        const std::string path = (dir / name).string();
        ASSERT_EQ(WriteSoundFile(path, SoundChunks(samples), 11025), "");
        SF_INFO info{};
        EXPECT_EQ(ReadBack(path, info), samples) << name;
        EXPECT_EQ(info.samplerate, 11025);
        EXPECT_EQ(info.channels, 1);
    }
    EXPECT_NE(WriteSoundFile((dir / "take.mp3").string(), SoundChunks(samples), 11025), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2)
        << "nothing but the two saved files";
}

// A disk that fills up or a folder that cannot be written says why and
// leaves the earlier file as it was, with no temporary left behind.
TEST_F(SoundFileTest, FailedSavesLeaveTheEarlierFileWhole)
{
    const std::string path = (dir / "take.wav").string();
    ASSERT_EQ(WriteSoundFile(path, SoundChunks(Ramp(100, 0)), 11025), "");
    const auto before = fs::file_size(path);

    // A file-size limit stands in for a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string full = WriteSoundFile(path, SoundChunks(Ramp(20000, 0)), 11025);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_NE(full.find("too large"), std::string::npos) << full;
    EXPECT_EQ(fs::file_size(path), before);

    if (::geteuid() != 0) {  // root writes anywhere
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_NE(WriteSoundFile((dir / "other.wav").string(), SoundChunks(Ramp(100, 0)), 11025), "");
        fs::permissions(dir, fs::perms::owner_all);
    }
    EXPECT_NE(
        WriteSoundFile((dir / "missing" / "take.wav").string(), SoundChunks(Ramp(100, 0)), 11025).find("No such file"),
        std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace vocalume
