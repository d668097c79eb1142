// vocalume-render end to end: the tool is run on sound files written here and
// its pictures are read back with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "renderer.h"
#include "sound_files.h"

namespace vocalume {
namespace {

using testing::TempFolder;
using testing::WriteWav;

struct Image {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;

    const uint8_t* At(int32_t x, int32_t y) const
    {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
    double Brightness(int32_t x, int32_t y) const
    {
        const uint8_t* p = At(x, y);
        return p[0] + p[1] + p[2];
    }
};

Image ReadPng(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Image out;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return out;
    image.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr)) {
        out.rgb.clear();
        return out;
    }
    out.width = static_cast<int32_t>(image.width);
    out.height = static_cast<int32_t>(image.height);
    return out;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ToolRun {
    int status = -1;
    std::string err;
};

ToolRun RenderTool(const std::string& args, const TempFolder& folder)
{
    const std::string errPath = folder.Path("stderr.txt");
    const std::string command = std::string("'") + VOCALUME_RENDER_PATH + "' " + args + " 2>'" +
                                errPath + "' >/dev/null";
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = ReadFile(errPath);
    std::filesystem::remove(errPath);
    return run;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A sung vowel: a 150 Hz voice with harmonics falling off at 6 dB per
// octave and two formant-like lifts.
std::vector<int16_t> SungVowel(double seconds)
{
    const int count = static_cast<int>(seconds * 11025);
    std::vector<int16_t> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double t = i / 11025.0;
        double v = 0;
        for (int k = 1; k * 150 < 5000; ++k) {
            const double f = 150.0 * k;
            const double lift = 1.0 + 2.0 * std::exp(-std::pow((f - 700) / 200, 2)) +
                                1.0 * std::exp(-std::pow((f - 1200) / 250, 2));
            v += lift / k * std::sin(2 * std::numbers::pi * f * t);
        }
        out[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(3000 * v));
    }
    return out;
}

TEST(RenderTool, SungVowelShowsBandsAtThePitchPeriod)
{
    TempFolder folder;
    WriteWav(folder.Path("vowel.wav"), 11025, 1, SungVowel(1.5));
    const ToolRun run = RenderTool(Quoted(folder.Path("vowel.wav")) + " -o " +
                                   Quoted(folder.Path("vowel.png")) + " --sampling 1 --quiet",
                               folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const Image img = ReadPng(folder.Path("vowel.png"));
    ASSERT_EQ(img.width, 700);
    ASSERT_EQ(img.height, 500);

    // A 150 Hz pitch is a lag of 73 or 74 samples: bands every
    // 250 * lag / 183 rows, about 100, the brightest on the middle row.
    const double shortest = 250.0 * 72 / 183, longest = 250.0 * 75 / 183;
    for (int32_t x : {300, 450, 600, 699}) {
        // Client row 249 holds the column's middle (buffer row 250).
        const int32_t mid = 249;
        double brightest = -1;
        int32_t brightestRow = 0;
        for (int32_t y = mid - 130; y <= mid - 70; ++y)
            if (img.Brightness(x, y) > brightest) {
                brightest = img.Brightness(x, y);
                brightestRow = y;
            }
        const double spacing = mid - brightestRow;
        EXPECT_GE(spacing, std::floor(shortest)) << "column " << x;
        EXPECT_LE(spacing, std::ceil(longest)) << "column " << x;
        EXPECT_GT(img.Brightness(x, mid), 0);
        // Half a period away the band is at its darkest.
        EXPECT_LT(img.Brightness(x, mid - 50), 0.85 * img.Brightness(x, mid)) << "column " << x;
        EXPECT_NEAR(img.Brightness(x, mid), brightest, 0.02 * brightest + 3) << "column " << x;
    }
}

TEST(RenderTool, SilenceIsBlackWithTheTraceLine)
{
    TempFolder folder;
    WriteWav(folder.Path("silence.wav"), 11025, 1, std::vector<int16_t>(11025, 0));
    const ToolRun run = RenderTool(Quoted(folder.Path("silence.wav")) + " -o " +
                                   Quoted(folder.Path("s.png")) + " --no-timescale --height 200",
                               folder);
    ASSERT_EQ(run.status, 0) << run.err;
    const Image img = ReadPng(folder.Path("s.png"));
    ASSERT_EQ(img.height, 200);
    // The trace of a silent frame is one pixel, t/2 = 10 rows below the top.
    const int32_t traceRow = 200 / 10 / 2 - 1;
    for (int32_t y = 0; y < img.height; ++y)
        for (int32_t x = 1; x < img.width; ++x) {
            const uint8_t* p = img.At(x, y);
            if (y == traceRow) {
                ASSERT_EQ(p[0], 0) << x;
                ASSERT_EQ(p[1], 255) << x;
                ASSERT_EQ(p[2], 128) << x;
            } else if (y == img.height - 1) {
                // The bottom row may carry the red marker of smoothed frames.
                ASSERT_TRUE(p[1] == 0 && p[2] == 0 && (p[0] == 0 || p[0] == 255)) << x;
            } else {
                ASSERT_TRUE(p[0] == 0 && p[1] == 0 && p[2] == 0) << x << "," << y;
            }
        }
}

// The wide picture is the live picture's columns, frame for frame, and has a
// column for every frame of the file.
TEST(RenderTool, WholeHoldsEveryFrameAsTheWindowShowsIt)
{
    RenderOptions options;
    options.input = VOCALUME_DEMO_WAV;
    RenderedPicture live, whole;
    ASSERT_EQ(RenderSoundFile(options, live), "");
    options.whole = true;
    ASSERT_EQ(RenderSoundFile(options, whole), "");

    const int64_t samples = live.buffers * 1144;
    EXPECT_EQ(live.frames, (samples - 392) / 11 + 1);
    EXPECT_EQ(whole.frames, live.frames);
    EXPECT_EQ(whole.width, live.frames);
    ASSERT_EQ(whole.height, 500);

    // Live column x shows frame number (from 0) frames - 1 - 109 - (699 - x).
    int compared = 0;
    for (int32_t x = 1; x < live.width; ++x) {
        const int64_t j = live.frames - 1 - 109 - (live.width - 1 - x);
        if (j < 0)
            continue;
        for (int32_t y = 0; y < 500; ++y)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(live.rgb[static_cast<size_t>(y) * live.stride + x * 3 + c],
                          whole.rgb[static_cast<size_t>(y) * whole.stride + j * 3 + c])
                    << "column " << x << " row " << y;
        ++compared;
    }
    EXPECT_EQ(compared, 699);
    // The last frames, which the window never reached, are painted too.
    const int64_t last = whole.frames - 1;
    EXPECT_EQ(whole.rgb[static_cast<size_t>(24) * whole.stride + last * 3 + 1], 255);
}

TEST(RenderTool, BadInputIsRefusedWithOneLineAndNothingWritten)
{
    TempFolder folder;
    WriteWav(folder.Path("good.wav"), 11025, 1, SungVowel(0.3));
    WriteWav(folder.Path("nosound.wav"), 11025, 1, {});
    std::ofstream(folder.Path("empty.wav")).close();
    {
        std::ofstream junk(folder.Path("junk.wav"), std::ios::binary);
        for (int i = 0; i < 5000; ++i)
            junk.put(static_cast<char>((i * 7919) % 251));
    }
    std::filesystem::create_directories(folder.Path("sub"));
    const std::string good = Quoted(folder.Path("good.wav"));
    const std::string out = Quoted(folder.Path("out.png"));

    const std::vector<std::string> cases = {
        Quoted(folder.Path("missing.wav")) + " -o " + out,
        Quoted(folder.Path("sub")) + " -o " + out,  // a folder is no sound file
        Quoted(folder.Path("empty.wav")) + " -o " + out,
        Quoted(folder.Path("nosound.wav")) + " -o " + out,
        Quoted(folder.Path("nosound.wav")) + " --whole -o " + out,
        Quoted(folder.Path("junk.wav")) + " -o " + out,
        good + " -o " + Quoted(folder.Path("no/such/folder.png")),
        good + " -o " + Quoted(folder.Path("sub")),
        good + " -o " + out + " --width 0",
        good + " -o " + out + " --width 5001",
        good + " -o " + out + " --height 0",
        good + " -o " + out + " --height 1025",
        good + " -o " + out + " --refresh 0",
        good + " -o " + out + " --refresh 31",
        good + " -o " + out + " --sampling 0",
        good + " -o " + out + " --sampling 6",
        good + " -o " + out + " --width many",
        good,  // no output named
    };
    for (const std::string& args : cases) {
        const ToolRun run = RenderTool(args, folder);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.err.rfind("vocalume-render: ", 0), 0u) << args << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder.Path("out.png"))) << args;
    }
    // Nothing but the inputs was left behind, no temporary picture either.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder.Path("")))
        ++entries;
    EXPECT_EQ(entries, 5);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path("sub")));

    // Width is free with --whole: the picture is as wide as the sound.
    const ToolRun wide = RenderTool(good + " --whole --width 9000 -o " + out, folder);
    EXPECT_EQ(wide.status, 0) << wide.err;
}

}  // namespace
}  // namespace vocalume
