// vocalume-render end to end: the tool is run on sound files written here and
// its pictures are read back with libpng.
#include <gtest/gtest.h>
#include <png.h>
#include <sndfile.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <locale>
#include <map>
#include <memory>
#include <cstring>
#include <sstream>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "memory_source.h"
#include "model_lane.h"
#include "pitch_tracker.h"
#include "renderer.h"
#include "column_surface.h"
#include "session_history.h"
#include "session_picture.h"
#include "wave_in.h"
#include "sound_files.h"
#include "synthetic_speech.h"

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

// The samples of a 16-bit mono sound file.
std::vector<int16_t> ReadMono(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return {};
    std::vector<int16_t> samples(static_cast<size_t>(info.frames));
    samples.resize(static_cast<size_t>(sf_read_short(file, samples.data(), info.frames)));
    sf_close(file);
    return samples;
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

// --zoom 1 is today's picture to the byte.
TEST(RenderTool, ZoomOneIsTodaysPicture)
{
    TempFolder folder;
    WriteWav(folder.Path("vowel.wav"), 11025, 1, SungVowel(1.0));
    const std::string in = Quoted(folder.Path("vowel.wav"));
    ASSERT_EQ(RenderTool(in + " -o " + Quoted(folder.Path("default.png")), folder).status, 0);
    ASSERT_EQ(RenderTool(in + " --zoom 1 -o " + Quoted(folder.Path("one.png")), folder).status, 0);
    EXPECT_EQ(ReadFile(folder.Path("default.png")), ReadFile(folder.Path("one.png")));
}

// The colour-blind-safe colours change hues only: every pixel keeps its
// brightest channel, so brightness, stripes, trace and ticks stand as they
// were; naming the standard colours changes nothing at all.
TEST(RenderTool, ColourBlindPaletteChangesHueNotBrightness)
{
    TempFolder folder;
    const std::string base = std::string(VOCALUME_DEMO_WAV) + " --quiet -o ";
    ASSERT_EQ(RenderTool(base + Quoted(folder.Path("plain.png")), folder).status, 0);
    ASSERT_EQ(RenderTool(base + Quoted(folder.Path("std.png")) + " --palette standard", folder).status, 0);
    ASSERT_EQ(RenderTool(base + Quoted(folder.Path("safe.png")) + " --palette colour-blind", folder).status, 0);
    EXPECT_TRUE(ReadFile(folder.Path("plain.png")) == ReadFile(folder.Path("std.png")));

    const Image plain = ReadPng(folder.Path("plain.png"));
    const Image safe = ReadPng(folder.Path("safe.png"));
    ASSERT_EQ(safe.width, plain.width);
    ASSERT_EQ(safe.height, plain.height);
    int64_t changed = 0, keptBrightness = 0;
    for (int32_t y = 0; y < plain.height; ++y)
        for (int32_t x = 0; x < plain.width; ++x) {
            const uint8_t* p = plain.At(x, y);
            const uint8_t* q = safe.At(x, y);
            changed += !std::equal(p, p + 3, q);
            keptBrightness += *std::max_element(p, p + 3) == *std::max_element(q, q + 3);
        }
    EXPECT_GT(changed, 10000);
    EXPECT_EQ(keptBrightness, static_cast<int64_t>(plain.width) * plain.height);
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

    // Live column x shows frame number (from 0) frames - 1 - 109 - (699 - x);
    // column 0, never painted itself, what scrolled into it.
    int compared = 0;
    for (int32_t x = 0; x < live.width; ++x) {
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
    EXPECT_EQ(compared, 700);
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
        good + " -o " + out + " --palette rainbow",
        good + " -o " + out + " --zoom 3",
        good + " -o " + out + " --whole --zoom 4",
        good,  // no output named
        good + " -o " + out + " --csv " + out,  // one file for two outputs
        good + " --csv " + Quoted(folder.Path(std::string(240, 'n') + ".csv")),  // refused before the render
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

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

// The pitch line sits on the frames the columns show: the window and the
// whole picture agree column for column, as they do without it.
TEST(RenderTool, PitchLineFollowsTheFramesItsColumnsShow)
{
    RenderOptions options;
    options.input = VOCALUME_DEMO_WAV;
    options.height = 200;
    options.pitchLine = true;
    RenderedPicture live, whole;
    ASSERT_EQ(RenderSoundFile(options, live), "");
    options.whole = true;
    ASSERT_EQ(RenderSoundFile(options, whole), "");

    int white = 0;
    // Column 0 of the window is never painted, so its neighbours' edges and
    // joins differ; the labels sit at each picture's right edge.
    for (int32_t x = 3; x < live.width - 12; ++x) {
        const int64_t j = live.frames - 1 - 109 - (live.width - 1 - x);
        for (int32_t y = 0; y < 200; ++y) {
            const uint8_t* a = live.rgb.data() + static_cast<size_t>(y) * live.stride + x * 3;
            const uint8_t* b = whole.rgb.data() + static_cast<size_t>(y) * whole.stride + j * 3;
            ASSERT_TRUE(std::equal(a, a + 3, b)) << "column " << x << " row " << y;
            white += a[0] == 255 && a[1] == 255 && a[2] == 255;
        }
    }
    EXPECT_GT(white, 200);  // the demo's voice draws a line
}

// The frame table has a row for every column of the whole picture, whether it
// is written with the picture or alone, and its pitch is the voice's.
TEST(RenderTool, FrameTableHoldsEveryFrameWithItsPitch)
{
    TempFolder folder;
    WriteWav(folder.Path("vowel.wav"), 11025, 1, SungVowel(1.0));
    const std::string in = Quoted(folder.Path("vowel.wav"));
    const ToolRun both = RenderTool(in + " --whole -o " + Quoted(folder.Path("whole.png")) + " --csv " +
                                        Quoted(folder.Path("both.csv")), folder);
    ASSERT_EQ(both.status, 0) << both.err;
    const ToolRun alone = RenderTool(in + " --csv " + Quoted(folder.Path("alone.csv")), folder);
    ASSERT_EQ(alone.status, 0) << alone.err;
    const std::string table = ReadFile(folder.Path("alone.csv"));
    EXPECT_EQ(table, ReadFile(folder.Path("both.csv")));

    const std::vector<std::string> lines = Lines(table);
    const Image whole = ReadPng(folder.Path("whole.png"));
    ASSERT_GT(whole.width, 1000);
    ASSERT_EQ(static_cast<int32_t>(lines.size()), whole.width + 1);
    EXPECT_EQ(lines[0],
              "frame,time_s,energy,energy_ceiling,spec_max,spec_ceiling,ac_lag,ac_peak,ceps_peak,ceps_ratio,"
              "min_sample,max_sample,red,green,blue,f0_hz,voiced");
    EXPECT_EQ(Fields(lines[1])[0], "0");
    EXPECT_EQ(Fields(lines[1])[1], "0.017778");  // sample 196 of 11025 a second
    const int64_t last = whole.width - 1;
    char lastTime[32];
    std::snprintf(lastTime, sizeof lastTime, "%.6f", (11.0 * last + 196.0) / 11025.0);
    EXPECT_EQ(Fields(lines.back())[1], lastTime);

    int voiced = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 17u) << lines[i];
        EXPECT_EQ(f[0], std::to_string(i - 1));
        EXPECT_EQ(f[16] == "1", !f[15].empty()) << lines[i];
        if (f[16] == "1" && i > 100 && i + 100 < lines.size()) {
            ++voiced;
            EXPECT_NEAR(std::stod(f[15]), 150.0, 3.0) << lines[i];
        }
    }
    EXPECT_GT(voiced, 700);
}

// A take against a model: the alignment table has a row for every frame,
// its time_s as the frame table gives it, and a take aligned to itself
// matches itself; --score prints the scores as JSON, --log adds them to the
// log in the data folder and --report writes the report of that log.
TEST(RenderTool, AlignmentScoresLogAndReportOfATakeAgainstAModel)
{
    TempFolder folder;
    const std::vector<testing::SpeechSound> sentence{
        {0.2}, {0.2, 730, 1090, 2440, 120, 140}, {0.1, 3800}, {0.2, 300, 870, 2240, 140, 110}, {0.2}};
    WriteWav(folder.Path("take.wav"), 11025, 1, testing::Say(sentence));
    const std::string take = Quoted(folder.Path("take.wav"));
    const std::string data = "XDG_DATA_HOME=" + Quoted(folder.Path("data")) + " ";
    ASSERT_EQ(RenderTool(take + " --csv " + Quoted(folder.Path("frames.csv")), folder).status, 0);
    const std::string command = data + "'" + VOCALUME_RENDER_PATH + "' " + take + " --model " + take +
                                " --align-csv " + Quoted(folder.Path("align.csv")) + " --score --log -q > " +
                                Quoted(folder.Path("score.json"));
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<std::string> frames = Lines(ReadFile(folder.Path("frames.csv")));
    const std::vector<std::string> rows = Lines(ReadFile(folder.Path("align.csv")));
    ASSERT_EQ(rows.size(), frames.size());
    EXPECT_EQ(rows[0], "time_s,model_time_s");
    for (size_t i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(Fields(rows[i])[0], Fields(frames[i])[1]) << i;
        if (i > 250 && i + 250 < rows.size()) {
            EXPECT_NEAR(std::stod(Fields(rows[i])[1]), std::stod(Fields(rows[i])[0]), 0.005) << i;
        }
    }
    const std::string json = ReadFile(folder.Path("score.json"));
    EXPECT_EQ(json.rfind("{\"model\": \"take.wav\", ", 0), 0u) << json;
    EXPECT_NE(json.find("\"pitch_cents\": 0.0"), std::string::npos) << json;
    EXPECT_EQ(Lines(ReadFile(folder.Path("data/vocalume/progress.csv"))).size(), 2u);

    const std::string report = folder.Path("report.html");
    ASSERT_EQ(std::system((data + "'" + VOCALUME_RENDER_PATH + "' --report " + Quoted(report)).c_str()), 0);
    EXPECT_NE(ReadFile(report).find("<h2>Model: take.wav</h2>"), std::string::npos);

    // A review needs a model, and a model something to do with it.
    for (const std::string& args : {take + " --score", take + " --model " + take}) {
        const ToolRun refused = RenderTool(args, folder);
        EXPECT_EQ(refused.status, 2) << args;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    }
}

// Numbers keep their decimal point in a locale that writes a comma. The
// locale is built here (a fresh machine may have none) and taken up in a
// child process, whose C library then keeps its locale data to itself.
TEST(RenderTool, FrameTableIgnoresADecimalCommaLocale)
{
    TempFolder folder;
    const std::string made = "localedef -i de_DE -f UTF-8 " + Quoted(folder.Path("de_DE.UTF-8")) + " 2>/dev/null";
    ASSERT_EQ(std::system(made.c_str()), 0) << "localedef (package locales) could not build de_DE";
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(channel[0]);
        ::setenv("LOCPATH", folder.Path("").c_str(), 1);
        std::string report = "no locale";
        if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {
            struct CommaPoint : std::numpunct<char> {
                char do_decimal_point() const override { return ','; }
            };
            std::locale::global(std::locale(std::locale(), new CommaPoint));
            char probe[16];
            std::snprintf(probe, sizeof probe, "%.1f", 0.5);
            std::ostringstream stream;
            stream << 0.5;
            FrameRow row;
            row.frame = 3;
            row.energy = 61.5f;
            row.acPeak = 0.25f;
            row.pitch = {182.25f, true};
            report = std::string(probe) + " " + stream.str() + " " + FormatFrameRow(row);
        }
        const ssize_t written = ::write(channel[1], report.data(), report.size());
        ::_exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    ::close(channel[1]);
    std::string report;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The locale was in force for printf and streams; the row kept its points.
    EXPECT_EQ(report, "0,5 0,5 3,0.020771,61.5,0,0,0,0,0.25,0,0,0,0,0,0,0,182.25,1");
}

}  // namespace
}  // namespace vocalume

namespace vocalume {
namespace {

// A mono 16-bit WAV whose header promises `promisedBytes` of sound, which
// need not be what follows it.
void WriteWavPromising(const std::string& path, int rate, uint32_t promisedBytes, const std::vector<int16_t>& samples)
{
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const auto u16 = [&out](uint16_t v) {
        out.put(static_cast<char>(v & 0xff));
        out.put(static_cast<char>(v >> 8));
    };
    out.write("RIFF", 4);
    u32(36 + promisedBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(promisedBytes);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
}

bool LeftoversIn(const std::string& folder)
{
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().find(".tmp-") != std::string::npos)
            return true;
    return false;
}

// The picture is the same whether the sound comes from the file or through
// a pipe that can be read only once, even when a streamed header promises far
// more sound than follows.
TEST(RenderTool, PipedSoundGivesTheFilesPicture)
{
    TempFolder folder;
    const std::string demo = Quoted(VOCALUME_DEMO_WAV);
    ASSERT_EQ(RenderTool(demo + " -q -o " + Quoted(folder.Path("file.png")), folder).status, 0);
    const ToolRun piped = RenderTool("- -q -o " + Quoted(folder.Path("pipe.png")) + " <" + demo, folder);
    ASSERT_EQ(piped.status, 0) << piped.err;
    // Through cat, so that the input is a pipe and not a redirected file.
    const std::string tool = Quoted(VOCALUME_RENDER_PATH);
    const std::string catPipe = "cat " + demo + " | " + tool + " /dev/stdin -q -o " + Quoted(folder.Path("cat.png"));
    ASSERT_EQ(std::system(catPipe.c_str()), 0);
    const std::string picture = ReadFile(folder.Path("file.png"));
    EXPECT_TRUE(picture == ReadFile(folder.Path("pipe.png")));
    EXPECT_TRUE(picture == ReadFile(folder.Path("cat.png")));

    WriteWavPromising(folder.Path("promise.wav"), 11025, 0x7ffffff0u, SungVowel(0.5));
    const std::string promise =
        "cat " + Quoted(folder.Path("promise.wav")) + " | " + tool + " - --whole -q -o " + Quoted(folder.Path("w.png"));
    ASSERT_EQ(std::system(promise.c_str()), 0);
    EXPECT_EQ(ReadPng(folder.Path("w.png")).width, (5 * 1144 - 392) / 11 + 1);
}

// --whole refuses, before rendering, a sound whose picture would be wider
// than a PNG image may be: a sparse file of 3 GB. A header claiming a rate of
// 1 Hz (2000 samples would last 33 minutes) is refused for its rate.
TEST(RenderTool, WholeRefusesSoundTooLongForOnePicture)
{
    TempFolder folder;
    WriteWavPromising(folder.Path("sparse.wav"), 11025, 0xbffffff0u, SungVowel(0.1));
    std::filesystem::resize_file(folder.Path("sparse.wav"), 3ull << 30);
    WriteWavPromising(folder.Path("slow.wav"), 1, 2 * 2000, std::vector<int16_t>(2000, 1000));
    const ToolRun run = RenderTool(Quoted(folder.Path("sparse.wav")) + " --whole -o " + Quoted(folder.Path("o.png")), folder);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("at most 1000000 columns"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    const ToolRun slow = RenderTool(Quoted(folder.Path("slow.wav")) + " -o " + Quoted(folder.Path("o.png")), folder);
    EXPECT_EQ(slow.status, 2);
    EXPECT_NE(slow.err.find("sample rate of 1 Hz"), std::string::npos) << slow.err;
    EXPECT_FALSE(std::filesystem::exists(folder.Path("o.png")));
    // The frame table alone is refused for what was asked, not for --whole.
    const ToolRun table = RenderTool(Quoted(folder.Path("sparse.wav")) + " --csv " + Quoted(folder.Path("o.csv")), folder);
    EXPECT_EQ(table.status, 2);
    EXPECT_EQ(table.err.find("--whole"), std::string::npos) << table.err;
}

// Samples that hold no number are drawn as silence, and the tool says how
// many in one line; the picture is still made.
TEST(RenderTool, DamagedSamplesAreToldAndTheRestIsDrawn)
{
    TempFolder folder;
    std::vector<float> x(11025, 0.25f);
    for (size_t i = 3000; i < 3050; ++i)
        x[i] = std::numeric_limits<float>::quiet_NaN();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(folder.Path("nan.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_write_float(file, x.data(), static_cast<sf_count_t>(x.size()));
    sf_close(file);
    const ToolRun run = RenderTool(Quoted(folder.Path("nan.wav")) + " -q -o " + Quoted(folder.Path("o.png")), folder);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("is damaged: 50 of its samples"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(std::filesystem::exists(folder.Path("o.png")));
}

// Only a regular file is replaced, never the sound being read; a link to a
// picture is written through and stays a link.
TEST(RenderTool, OutputMustBeARegularFileOtherThanTheInput)
{
    namespace fs = std::filesystem;
    TempFolder folder;
    WriteWav(folder.Path("in.wav"), 11025, 1, SungVowel(0.3));
    const std::string sound = ReadFile(folder.Path("in.wav"));
    fs::create_symlink(folder.Path("in.wav"), folder.Path("to-in.png"));
    ASSERT_EQ(::mkfifo(folder.Path("fifo.png").c_str(), 0600), 0);
    // A device node of its own (as root), so that a fault harms no real one.
    const bool device = ::mknod(folder.Path("null.png").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;

    std::vector<std::string> refused = {"in.wav", "to-in.png", "fifo.png"};
    if (device)
        refused.push_back("null.png");
    for (const std::string& out : refused) {
        const ToolRun run = RenderTool(Quoted(folder.Path("in.wav")) + " -q -o " + Quoted(folder.Path(out)), folder);
        EXPECT_EQ(run.status, 2) << out;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        const ToolRun piped =
            RenderTool("- -q -o " + Quoted(folder.Path(out)) + " <" + Quoted(folder.Path("in.wav")), folder);
        EXPECT_EQ(piped.status, 2) << out;
    }
    EXPECT_TRUE(ReadFile(folder.Path("in.wav")) == sound);
    EXPECT_TRUE(fs::is_symlink(folder.Path("to-in.png")));
    EXPECT_TRUE(fs::is_fifo(folder.Path("fifo.png")));
    EXPECT_TRUE(!device || fs::is_character_file(folder.Path("null.png")));

    std::ofstream(folder.Path("old.png")) << "old";
    fs::create_symlink("old.png", folder.Path("link.png"));
    const ToolRun run = RenderTool(Quoted(folder.Path("in.wav")) + " -q -o " + Quoted(folder.Path("link.png")), folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::is_symlink(folder.Path("link.png")));
    EXPECT_EQ(ReadPng(folder.Path("old.png")).width, 700);
    EXPECT_FALSE(LeftoversIn(folder.Path("")));
}

// A render ended by a signal while it writes its picture leaves nothing but
// what was there, and ends as the signal ends a program. The tool stops
// itself once the picture is on disk, before it takes its name (the write's
// pause point for tests), and is signalled there: with a named temporary
// the handler removes it; an unnamed one is nowhere even after SIGKILL.
TEST(RenderTool, SignalDuringTheWriteRemovesTheTemporaryFile)
{
    struct Case {
        bool named;
        int signal;
    };
    for (const Case c : {Case{true, SIGTERM}, Case{true, SIGQUIT}, Case{false, SIGKILL}}) {
        TempFolder folder;
        const std::string out = folder.Path("picture.png");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::setenv("VOCALUME_TEST_PAUSE_WRITE", "1", 1);
            if (c.named)
                ::setenv("VOCALUME_TEST_NAMED_TEMPORARY", "1", 1);
            ::execl(VOCALUME_RENDER_PATH, VOCALUME_RENDER_PATH, VOCALUME_DEMO_WAV, "-q", "-o", out.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
        ASSERT_TRUE(WIFSTOPPED(status)) << "the tool did not stop at the write's pause point";
        EXPECT_EQ(LeftoversIn(folder.Path("")), c.named);
        ::kill(child, c.signal);
        ::kill(child, SIGCONT);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << c.signal;
        EXPECT_FALSE(LeftoversIn(folder.Path(""))) << c.signal;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}


// ---- Opening a sound file in the program, and exporting its frame table ----

// The window, in memory, for a view driven by the test on its own thread.
struct QuietHost final : ViewHost {
    void RequestPaint() override {}
    void SetPauseTimer(int) override {}
    void KillPauseTimer() override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool RunConfigDialog(ConfigValues& values) override
    {
        if (refreshChosen.empty())
            return false;
        values.refresh = refreshChosen;
        return true;
    }
    void PostBufferDone() override { ++posted; }
    std::string refreshChosen;  // empty: the dialog is cancelled
    std::vector<std::string> messages;
    uint64_t posted = 0;
};

// A program's view as the window has it, with the tool's settings as stored
// ones. It records from `take` (played without a thread).
struct ProgramView {
    ProgramView(const std::map<std::string, int32_t>& config, int width, int height,
                std::vector<int16_t> take = {})
    {
        for (const auto& [key, value] : config)
            store.WriteProfileInt("config", key, value);
        view = std::make_unique<CAnalysisView>(store, *core, std::make_unique<MemorySoundSource>(std::move(take)),
                                               ViewOptions{false});
        view->OnCreate(host);
        view->OnSize(width, height);
    }
    // Opens `path` as File > Open recording does; returns its analysis's answer.
    std::string Open(const std::string& path)
    {
        AnalysisOptions options = WholeAnalysisOptions(*view);
        options.session = true;
        options.keepMinutes = view->Settings().historyMinutes;
        RenderedPicture opened;
        const std::string problem = AnalyseSoundFile(path, options, opened);
        if (problem.empty())
            view->AdoptSession(std::move(*opened.session));
        return problem;
    }
    // Records the whole take, as the window would with the sound thread;
    // the analysis is scanned here unless a worker runs it.
    void RecordTake(bool scan = true)
    {
        view->OnStart();
        auto state = std::make_unique<AnalyserState>();
        uint64_t taken = 0;
        for (;;) {
            while (taken < host.posted) {
                ++taken;
                view->OnWimData();
                if (scan)
                    core->ScanUntilIdle(*state);
                view->OnPaint();
            }
            if (!view->WaveIn().PumpSource() && taken == host.posted)
                break;
        }
        view->OnPause();
        view->OnTimer();
    }
    // Columns [0, width) of the view's picture equal columns [from, from +
    // width) of `whole`; the first column that differs otherwise.
    int32_t FirstDifference(const Image& whole, int32_t from) const
    {
        const int32_t width = view->Surface().Width();
        for (int32_t x = 0; x < width; ++x)
            for (int32_t y = 0; y < view->Surface().Height(); ++y)
                if (std::memcmp(view->Surface().Pixels() + (static_cast<size_t>(y) * width + x) * 3,
                                whole.At(from + x, y), 3) != 0)
                    return x;
        return -1;
    }

    MemorySettingsStore store;
    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();  // too large for the stack
    QuietHost host;
    std::unique_ptr<CAnalysisView> view;
};

// A voice that comes and goes: a sung vowel, silence, then the vowel again.
std::vector<int16_t> VoiceWithAPause()
{
    std::vector<int16_t> sound = SungVowel(0.9);
    sound.resize(sound.size() + 4000);
    const std::vector<int16_t> again = SungVowel(0.7);
    sound.insert(sound.end(), again.begin(), again.end());
    return sound;
}

TEST(OpenedRecording, ViewShowsTheToolsWholePictureAtTheStartAndTheEnd)
{
    struct Case {
        std::string args;
        std::map<std::string, int32_t> config;
        int width, height;
    };
    const std::vector<Case> cases = {
        {"", {}, 700, 500},
        {"--refresh 25 --sampling 1 --palette colour-blind --no-waveform --height 230",
         {{"refresh", 25}, {"sampling", 1}, {"palette", 1}, {"waveform", 0}},
         900,
         230},
    };
    TempFolder folder;
    WriteWav(folder.Path("voice.wav"), 11025, 1, VoiceWithAPause());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun run = RenderTool(Quoted(folder.Path("voice.wav")) + " --whole --quiet -o " +
                                           Quoted(folder.Path("whole.png")) + " " + c.args,
                                       folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const Image whole = ReadPng(folder.Path("whole.png"));
        ASSERT_GT(whole.width, c.width);

        ProgramView program(c.config, c.width, c.height);
        ASSERT_EQ(program.Open(folder.Path("voice.wav")), "");
        const CAnalysisView& view = *program.view;
        EXPECT_EQ(view.FrameAtColumn(0), 0) << "looking back at the file's start";
        EXPECT_FALSE(view.IsRecording());
        EXPECT_FALSE(view.Session().HasUnsavedSound());
        EXPECT_EQ(view.Session().FirstFrame(), 0);
        EXPECT_EQ(view.Session().EndFrame(), whole.width);
        // The pitch line of an opened file: every frame's estimate as the
        // tracker gives it for the whole file, read as a whole sound.
        const std::vector<int16_t> sound = VoiceWithAPause();
        const std::vector<PitchEstimate> track = TrackPitch(sound.data(), sound.size(), whole.width,
                                                            PitchTracker::Sums::Running, PitchTracker::Reach::WholeSound);
        int32_t voiced = 0;
        for (int64_t f = 0; f < whole.width; ++f) {
            const PitchEstimate& e = track[static_cast<size_t>(f)];
            voiced += e.voiced ? 1 : 0;
            ASSERT_NEAR(view.Session().Pitch(f), e.voiced ? e.f0Hz : 0.0f, e.f0Hz * 5e-5) << "frame " << f;
        }
        EXPECT_GT(voiced, whole.width / 2);
        ASSERT_EQ(view.Surface().Height(), whole.height);
        EXPECT_EQ(program.FirstDifference(whole, 0), -1) << "at the file's start";
        // End: the file's last frame in the right-most column, drawn from
        // the descriptions.
        program.view->OnKey(ViewKey::End);
        EXPECT_EQ(program.FirstDifference(whole, whole.width - c.width), -1) << "at the file's end";
        // A new refresh rate clears the live picture; an opened file has
        // none, and stays shown.
        program.host.refreshChosen = "15";
        program.view->OnConfigure();
        program.view->OnPaint();
        EXPECT_EQ(program.FirstDifference(whole, whole.width - c.width), -1) << "after Configure";
    }
}

TEST(OpenedRecording, StartRecordsOnAsANewTakeAndExportGivesTheSavedSoundsTable)
{
    TempFolder folder;
    WriteWav(folder.Path("voice.wav"), 11025, 1, VoiceWithAPause());
    ProgramView program({{"sampling", 2}}, 700, 300, SungVowel(0.5));
    ASSERT_EQ(program.Open(folder.Path("voice.wav")), "");
    CAnalysisView& view = *program.view;
    const int64_t fileFrames = view.Session().EndFrame();
    const ColumnDescription first = view.Session().Column(0);
    const ColumnDescription last = view.Session().Column(fileFrames - 1);

    program.RecordTake();
    const SessionHistory& session = view.Session();
    // The take follows the file: its frames after the file's, the file's
    // kept as they were, the sound as long as the frames.
    EXPECT_GT(session.EndFrame(), fileFrames + 400);
    EXPECT_EQ(std::memcmp(&session.Column(0), &first, sizeof first), 0);
    EXPECT_EQ(std::memcmp(&session.Column(fileFrames - 1), &last, sizeof last), 0);
    EXPECT_EQ(session.EndSample(), session.SampleOfFrame(session.EndFrame()));
    EXPECT_TRUE(session.HasUnsavedSound());
    // The live picture shows the take as the session keeps it, after the
    // file: its columns are those of the session's frames from the file's
    // end on, drawn from their descriptions.
    const int32_t width = view.Surface().Width(), height = view.Surface().Height();
    ColumnSurface drawn;
    drawn.Resize(width, height);
    bool found = false;
    for (int64_t right = session.EndFrame() - 1; !found && right > session.EndFrame() - 400; --right) {
        DrawSessionPicture(session, right, ColumnStyle{11025, 1, 1, Palette::Standard}, drawn);
        const int32_t takeStart = static_cast<int32_t>(fileFrames - (right - (width - 1)));
        ASSERT_GT(takeStart, 0);
        found = true;
        for (int32_t y = 0; found && y < height; ++y) {
            const size_t row = static_cast<size_t>(y) * width * 3;
            found = std::memcmp(view.Surface().Pixels() + row + takeStart * 3, drawn.Pixels() + row + takeStart * 3,
                                static_cast<size_t>(width - takeStart) * 3) == 0;
        }
    }
    EXPECT_TRUE(found);

    // Export: the table vocalume-render --csv gives for the saved sound.
    ASSERT_EQ(view.SaveRecording(folder.Path("saved.wav")), "");
    const ToolRun run = RenderTool(Quoted(folder.Path("saved.wav")) + " --sampling 2 --quiet --csv " +
                                       Quoted(folder.Path("tool.csv")),
                                   folder);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(ExportFrameTable(session.Sound(), WholeAnalysisOptions(view), folder.Path("export.csv")), "");
    const std::string table = ReadFile(folder.Path("export.csv"));
    EXPECT_EQ(table, ReadFile(folder.Path("tool.csv")));
    EXPECT_GT(Lines(table).size(), static_cast<size_t>(fileFrames));
}

// Open, then Save recording: a recording at the recording rate comes back
// sample for sample, its last samples too, with nothing added, however often
// it goes round; any other file comes back as its whole converted sound.
TEST(OpenedRecording, SavingAnOpenedFileGivesBackItsSound)
{
    TempFolder folder;
    const std::vector<int16_t> voice = VoiceWithAPause();  // not a whole number of frames or buffers
    WriteWav(folder.Path("voice.wav"), 11025, 1, voice);
    ProgramView program({}, 700, 300);
    std::string path = folder.Path("voice.wav");
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(program.Open(path), "");
        path = folder.Path("round" + std::to_string(round) + ".wav");
        ASSERT_EQ(program.view->SaveRecording(path), "");
        EXPECT_EQ(ReadMono(path), voice) << "round " << round;
    }
    // A full-scale tone of 3.3 s at 44100 Hz: a quarter as many samples,
    // loud to the end.
    const int n = 145530;
    std::vector<int16_t> tone(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        tone[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(32000 * std::sin(2 * std::numbers::pi * 441 * i / 44100.0)));
    WriteWav(folder.Path("tone.wav"), 44100, 1, tone);
    ASSERT_EQ(program.Open(folder.Path("tone.wav")), "");
    ASSERT_EQ(program.view->SaveRecording(folder.Path("tone-saved.wav")), "");
    const std::vector<int16_t> saved = ReadMono(folder.Path("tone-saved.wav"));
    EXPECT_NEAR(static_cast<double>(saved.size()), n / 4.0, 1.0);
    ASSERT_GT(saved.size(), 100u);
    EXPECT_GT(*std::max_element(saved.end() - 100, saved.end()), 20000) << "the tone's last 9 ms are there";
}

TEST(OpenedRecording, UnreadableOrCancelledLeavesTheSessionAndSaysWhy)
{
    TempFolder folder;
    WriteWav(folder.Path("voice.wav"), 11025, 1, SungVowel(0.6));
    {
        std::ofstream junk(folder.Path("damaged.wav"), std::ios::binary);
        junk << "RIFF\x24\x10\0\0WAVEfmt ";
        for (int i = 0; i < 3000; ++i)
            junk.put(static_cast<char>((i * 7919) % 251));
    }
    ProgramView program({}, 700, 300);
    ASSERT_EQ(program.Open(folder.Path("voice.wav")), "");
    const int64_t frames = program.view->Session().EndFrame();

    for (const std::string name : {"damaged.wav", "missing.wav"}) {
        const std::string reason = program.Open(folder.Path(name));
        EXPECT_NE(reason.find(name), std::string::npos) << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
        EXPECT_EQ(program.view->Session().EndFrame(), frames);
    }
    // Stopped at its first report: no session is handed over.
    AnalysisOptions options = WholeAnalysisOptions(*program.view);
    options.session = true;
    RenderedPicture opened;
    int reports = 0;
    EXPECT_EQ(AnalyseSoundFile(folder.Path("voice.wav"), options, opened,
                               [&reports](double) { return ++reports < 2; }),
              kAnalysisStopped);
    EXPECT_EQ(opened.session, nullptr);
    EXPECT_TRUE(program.host.messages.empty());
}

// Sound in memory that says it lasts `promised` sample pairs, as a file's
// header may.
class PromisingSource final : public SoundSource {
public:
    PromisingSource(std::vector<int16_t> samples, int64_t promised) : m_inner(std::move(samples)), m_promised(promised)
    {}
    bool Open(const WaveFormat& format, SoundSink& sink, std::string& message) override
    {
        return m_inner.Open(format, sink, message);
    }
    void Start() override { m_inner.Start(); }
    void Stop() override { m_inner.Stop(); }
    void Close() override { m_inner.Close(); }
    bool Pump() override { return m_inner.Pump(); }
    int64_t ExpectedPairs() const override { return m_promised; }

private:
    MemorySoundSource m_inner;
    int64_t m_promised;
};

// A file of any length opens as the session, its last minutes as many as the
// session keeps (the picture's column limit is the render tool's and the
// model's): a sound that says it lasts 40 minutes. The model's refusal names
// the length in minutes and seconds and says what to do.
TEST(OpenedRecording, AnyLengthOpensAndTheModelsRefusalSaysWhatToDo)
{
    ProgramView program({}, 700, 300);
    AnalysisOptions options = WholeAnalysisOptions(*program.view);
    options.session = true;
    options.keepMinutes = 1;
    RenderedPicture opened;
    ASSERT_EQ(AnalyseSound(options, std::make_unique<PromisingSource>(SungVowel(0.6), 40 * 60 * 11025), "long.wav",
                           opened),
              "");
    ASSERT_NE(opened.session, nullptr);
    EXPECT_GT(opened.session->EndFrame(), 500);

    TempFolder folder;
    WriteWavPromising(folder.Path("long.wav"), 11025, 40 * 60 * 11025 * 2, SungVowel(0.6));
    std::filesystem::resize_file(folder.Path("long.wav"), 44 + 40 * 60 * 11025 * 2);
    SessionHistory model(1);
    const std::string refused = AnalyseModelFile(folder.Path("long.wav"), WholeAnalysisOptions(*program.view), model);
    EXPECT_EQ(refused.rfind("The sound file", 0), 0u) << refused;
    EXPECT_NE(refused.find("(it lasts 40:00)"), std::string::npos) << refused;
    EXPECT_NE(refused.find("16:3"), std::string::npos) << refused;
    EXPECT_NE(refused.find(". Choose a shorter model"), std::string::npos) << refused;
}

// Opening runs on a thread of its own while the window's view analyses on
// its worker: the analyses share only read-only tables (made on first use,
// here by both at once), and each gives the picture it gives alone.
TEST(FileAnalysisThreads, AnalysesOnTwoThreadsBesideARunningViewGiveTheirOwnPictures)
{
    TempFolder folder;
    WriteWav(folder.Path("voice.wav"), 11025, 1, SungVowel(0.4));
    ProgramView window({}, 300, 100, SungVowel(0.3));
    AnalysisOptions options = WholeAnalysisOptions(*window.view);
    options.session = true;
    RenderedPicture first, second, alone;
    std::string firstProblem = "-", secondProblem = "-";
    {
        std::thread a([&] { firstProblem = AnalyseSoundFile(folder.Path("voice.wav"), options, first); });
        std::thread b([&] { secondProblem = AnalyseSoundFile(folder.Path("voice.wav"), options, second); });
        window.core->StartWorker();
        window.RecordTake(false);
        a.join();
        b.join();
    }
    window.core->Shutdown();
    ASSERT_EQ(AnalyseSoundFile(folder.Path("voice.wav"), options, alone), "");
    EXPECT_EQ(firstProblem, "");
    EXPECT_EQ(secondProblem, "");
    EXPECT_EQ(first.rgb, alone.rgb);
    EXPECT_EQ(second.rgb, alone.rgb);
    ASSERT_TRUE(first.session && alone.session);
    EXPECT_EQ(first.session->Sound().ToVector(), alone.session->Sound().ToVector());
}

// Voice, silence and hiss, `seconds` long.
std::vector<int16_t> MixedSound(double seconds)
{
    std::vector<int16_t> sound;
    uint32_t noise = 7;
    const size_t count = static_cast<size_t>(seconds * 11025);
    while (sound.size() < count) {
        const std::vector<int16_t> voice = VoiceWithAPause();
        sound.insert(sound.end(), voice.begin(), voice.end());
        for (int i = 0; i < 6000; ++i) {
            noise = noise * 1664525u + 1013904223u;
            sound.push_back(static_cast<int16_t>(static_cast<int32_t>(noise >> 20) - 2048));
        }
    }
    sound.resize(count);
    return sound;
}

// Analyses `path` with each of `threads` threads in turn and expects the very
// bytes of the analysis with `reference` threads (1: on the calling thread
// alone, as the worker's scan does it): the whole picture with its pitch
// line and frame table and, with `everyKind`, the picture of the last window
// (whose early buffers are not painted), the table alone (with no picture
// made) and an opened file's session, at three undersampling ratios and
// refresh rates.
void ExpectTheSameBytes(const std::string& path, int32_t reference, const std::vector<int32_t>& threads,
                        bool everyKind)
{
    struct Case {
        const char* name;
        AnalysisOptions options;
    };
    std::vector<Case> cases(4);
    cases[0].name = "last window";
    cases[1].name = "whole, pitch line and table";
    cases[1].options.whole = cases[1].options.pitchLine = cases[1].options.frameTable = true;
    cases[1].options.sampling = 2;
    cases[1].options.refresh = 25;
    cases[1].options.height = 60;
    cases[2].name = "table alone";
    cases[2].options.whole = cases[2].options.frameTable = true;
    cases[2].options.paint = false;
    cases[3].name = "opened";
    {
        ProgramView program({{"refresh", 7}, {"sampling", 1}}, 300, 100);
        cases[3].options = WholeAnalysisOptions(*program.view);
        cases[3].options.session = true;
    }
    if (!everyKind)
        cases = {cases[1]};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisOptions options = c.options;
        options.threads = reference;
        RenderedPicture alone;
        ASSERT_EQ(AnalyseSoundFile(path, options, alone), "");
        if (!c.options.paint) {
            // The table alone makes no picture.
            EXPECT_TRUE(alone.rgb.empty());
            EXPECT_EQ(alone.rows.size(), static_cast<size_t>(alone.frames));
        }
        for (const int32_t n : threads) {
            SCOPED_TRACE(n);
            options.threads = n;
            RenderedPicture shared;
            ASSERT_EQ(AnalyseSoundFile(path, options, shared), "");
            EXPECT_EQ(shared.width, alone.width);
            EXPECT_EQ(shared.height, alone.height);
            EXPECT_EQ(shared.stride, alone.stride);
            EXPECT_TRUE(shared.rgb == alone.rgb);
            ASSERT_EQ(shared.rows.size(), alone.rows.size());
            for (size_t f = 0; f < alone.rows.size(); ++f)
                ASSERT_EQ(FormatFrameRow(shared.rows[f]), FormatFrameRow(alone.rows[f])) << "frame " << f;
            ASSERT_EQ(shared.session != nullptr, alone.session != nullptr);
            if (alone.session) {
                const SessionHistory& a = *alone.session;
                const SessionHistory& b = *shared.session;
                EXPECT_EQ(b.Sound().ToVector(), a.Sound().ToVector());
                ASSERT_EQ(b.EndFrame(), a.EndFrame());
                for (int64_t f = 0; f < a.EndFrame(); ++f) {
                    ASSERT_EQ(std::memcmp(&b.Column(f), &a.Column(f), sizeof(ColumnDescription)), 0) << "frame " << f;
                    ASSERT_EQ(b.Pitch(f), a.Pitch(f)) << "frame " << f;
                }
            }
        }
    }
}

// The whole-file analysis spread over threads gives the bytes it gives on
// one, for a sound that outlasts the ring (5000 frames).
TEST(FileAnalysis, EveryNumberOfThreadsGivesTheSameBytes)
{
    TempFolder folder;
    WriteWav(folder.Path("mixed.wav"), 11025, 1, MixedSound(5.3));
    ExpectTheSameBytes(folder.Path("mixed.wav"), 1, {3}, true);
}

// The same, short, where ThreadSanitizer watches the helpers (against two
// threads: the scan on one thread alone is slow under its watch). The test
// above watches them beside a session's painter.
TEST(FileAnalysisThreads, HelpersGiveTheSameBytesWhateverTheirNumber)
{
    TempFolder folder;
    std::vector<int16_t> sound = VoiceWithAPause();
    sound.resize(sound.size() / 2);
    WriteWav(folder.Path("voice.wav"), 11025, 1, sound);
    ExpectTheSameBytes(folder.Path("voice.wav"), 2, {3}, false);
}

}  // namespace
}  // namespace vocalume
