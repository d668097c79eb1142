// The progress log and its report.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "progress_report.h"

namespace vocalume {
namespace {

namespace fs = std::filesystem;

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("vocalume-progress-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    static std::string Read(const std::string& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }
    static ProgressEntry Entry(const std::string& when, const std::string& model, double pitchCents)
    {
        ProgressEntry e;
        e.when = when;
        e.model = model;
        e.scores.pitchCents = pitchCents;
        e.scores.pitchCorrelation = 0.5;
        e.scores.loudnessCorrelation = std::nan("");
        return e;
    }

    fs::path m_dir;
};

// Lines are added to a log made with its folder on first use, and read back
// with every score; a name with a comma, quotes or a line end survives; a
// score that could not be worked out stays unknown.
TEST_F(ProgressTest, LinesAreAddedAndReadBack)
{
    const std::string log = Path("data/vocalume/progress.csv");
    ASSERT_EQ(AppendProgress(log, Entry("2024-05-17 14:03:09", "rainbow, \"slow\"\nversion.wav", 42.5)), "");
    ASSERT_EQ(AppendProgress(log, Entry("2024-05-18 09:00:00", "plain.wav", 30.0)), "");
    std::vector<ProgressEntry> read;
    ASSERT_EQ(ReadProgress(log, read), "");
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].model, "rainbow, \"slow\"\nversion.wav");
    EXPECT_EQ(read[0].when, "2024-05-17 14:03:09");
    EXPECT_DOUBLE_EQ(read[0].scores.pitchCents, 42.5);
    EXPECT_DOUBLE_EQ(read[1].scores.pitchCorrelation, 0.5);
    EXPECT_TRUE(std::isnan(read[1].scores.loudnessCorrelation));
    EXPECT_EQ(Read(log).substr(0, 11), "date,model,");

    // A last line that lost its end (edited by hand) stays a line of its own.
    fs::resize_file(log, fs::file_size(log) - 1);
    ASSERT_EQ(AppendProgress(log, Entry("2024-05-19 09:00:00", "third.wav", 20.0)), "");
    read.clear();
    ASSERT_EQ(ReadProgress(log, read), "");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[1].model, "plain.wav");
}

// A log of another version (its columns in another order, one unknown, ours
// missing), a line cut short and a last line without its end are read as
// far as they go; a line added after them gets the columns it needs and
// loses nothing of theirs.
TEST_F(ProgressTest, OtherVersionsAndDamagedLinesAreReadAsFarAsTheyGo)
{
    const std::string log = Path("progress.csv");
    std::ofstream(log) << "pitch_cents,model,date,future_score\n"
                          "12.5,old.wav,2023-01-02 10:00:00,7\n"
                          "13.5,cut.wav\n"
                          "14.5,last.wav,2023-01-03 10:00:00,8";
    ASSERT_EQ(AppendProgress(log, Entry("2024-01-01 08:00:00", "new.wav", 1.0)), "");
    std::vector<ProgressEntry> read;
    ASSERT_EQ(ReadProgress(log, read), "");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].model, "old.wav");
    EXPECT_DOUBLE_EQ(read[0].scores.pitchCents, 12.5);
    EXPECT_TRUE(std::isnan(read[0].scores.lengthRatio));
    EXPECT_EQ(read[1].model, "last.wav");
    EXPECT_EQ(read[2].model, "new.wav") << "the new line is not glued to the old last one";
    EXPECT_DOUBLE_EQ(read[2].scores.pitchCorrelation, 0.5);
    EXPECT_EQ(Read(log).substr(0, 40), "pitch_cents,model,date,future_score,take");
    EXPECT_NE(Read(log).find("12.5,old.wav,2023-01-02 10:00:00,7,"), std::string::npos);
}

// Where the log cannot be written, the message says so and nothing is
// left behind; the default log lies in the XDG data folder.
TEST_F(ProgressTest, AnUnwritableLogSaysWhyAndTheDefaultIsInTheDataFolder)
{
    std::ofstream(Path("file")) << "x";
    const std::string problem = AppendProgress(Path("file/progress.csv"), Entry("2024-01-01 08:00:00", "m", 1.0));
    EXPECT_NE(problem.find("cannot add the take to the progress log"), std::string::npos) << problem;
    EXPECT_EQ(Read(Path("file")), "x");

    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string before = saved ? saved : "";
    ::setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(DefaultProgressLogPath(), "/data/home/vocalume/progress.csv");
    ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: not to be used
    EXPECT_NE(DefaultProgressLogPath().find("/.local/share/vocalume/progress.csv"), std::string::npos);
    if (saved)
        ::setenv("XDG_DATA_HOME", before.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

// The report: a section for each model, the one practised last first, a
// chart of every score but the lengths, the days counted, names made safe,
// no script; written whole, or not at all where it cannot be.
TEST_F(ProgressTest, TheReportChartsEachModelsScoresOverTheDays)
{
    const std::vector<ProgressEntry> entries{
        Entry("2024-05-01 10:00:00", "<b>old</b>.wav", 80.0), Entry("2024-05-01 10:05:00", "rainbow.wav", 60.0),
        Entry("2024-05-02 11:00:00", "rainbow.wav", 40.0), Entry("2024-05-03 11:00:00", "<b>old</b>.wav", 70.0),
        Entry("2024-05-04 12:00:00", "rainbow.wav", 20.0)};
    const std::string html = ProgressReportHtml(entries, "2024-05-04 12:30:00");
    const size_t rainbow = html.find("<h2>Model: rainbow.wav</h2>");
    const size_t old = html.find("<h2>Model: &lt;b&gt;old&lt;/b&gt;.wav</h2>");
    ASSERT_NE(rainbow, std::string::npos);
    ASSERT_NE(old, std::string::npos);
    EXPECT_LT(rainbow, old);
    EXPECT_NE(html.find("3 takes on 3 days"), std::string::npos);
    size_t charts = 0;
    for (size_t at = html.find("class=\"chart\""); at != std::string::npos; at = html.find("class=\"chart\"", at + 1))
        ++charts;
    EXPECT_EQ(charts, 2 * (ScoreFields().size() - 2));
    EXPECT_NE(html.find("No take has this score"), std::string::npos) << "loudness is unknown in every take";
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html, ProgressReportHtml(entries, "2024-05-04 12:30:00"));

    ASSERT_EQ(WriteProgressReport(Path("report.html"), entries, "now"), "");
    EXPECT_EQ(Read(Path("report.html")), ProgressReportHtml(entries, "now"));
    EXPECT_NE(WriteProgressReport(Path("missing/report.html"), entries, "now"), "");
    EXPECT_FALSE(fs::exists(Path("missing")));
}

}  // namespace
}  // namespace vocalume
