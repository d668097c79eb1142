// Whole-file pictures compared with stored ones, byte for byte: the demo
// recording and three signals made here (a vowel, a pitch glide, noise
// bursts), each under two settings, under every vector build. Any change to
// what a user sees fails here with the columns that changed; a deliberate
// change is made by scripts/regenerate-pictures.sh, which sets
// VOCALUME_REGENERATE_PICTURES=1 so that changed pictures are written over the
// stored ones instead.
//
// The signals use only additions, multiplications and divisions (no library
// mathematics), so they are the same samples on every machine.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "png_file.h"
#include "renderer.h"
#include "simd_kernels.h"
#include "sound_files.h"

namespace vocalume {
namespace {

using testing::TempFolder;
using testing::WriteWav;

constexpr double kRate = 11025.0;
constexpr double kPi = 3.141592653589793;

// exp and cos by their series: the same bits on every machine.
double SeriesExp(double x)
{
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 40; ++k) {
        term = term * x / k;
        sum += term;
    }
    return sum;
}

double SeriesCos(double x)
{
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 30; ++k) {
        term = -term * x * x / ((2 * k - 1) * (2 * k));
        sum += term;
    }
    return sum;
}

// Two-pole resonance at `hz` with bandwidth `bw`.
class Resonator {
public:
    Resonator(double hz, double bw)
    {
        const double r = SeriesExp(-kPi * bw / kRate);
        m_b = 2.0 * r * SeriesCos(2.0 * kPi * hz / kRate);
        m_c = -r * r;
        m_a = 1.0 - m_b - m_c;
    }
    double operator()(double x)
    {
        const double y = m_a * x + m_b * m_y1 + m_c * m_y2;
        m_y2 = m_y1;
        m_y1 = y;
        return y;
    }

private:
    double m_a, m_b, m_c, m_y1 = 0.0, m_y2 = 0.0;
};

// A 32-bit linear congruential generator: uniform values in [-1, 1).
class Noise {
public:
    double operator()()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<double>(m_state) / 2147483648.0 - 1.0;
    }

private:
    uint32_t m_state = 12345u;
};

// Glottal pulses: a smooth rise over 60% of the period, a fall over 10%.
double Pulse(double phase)
{
    if (phase < 0.6) {
        const double u = phase / 0.6;
        return u * u * (3.0 - 2.0 * u);
    }
    if (phase < 0.7) {
        const double u = (phase - 0.6) / 0.1;
        return 1.0 - u * u;
    }
    return 0.0;
}

// Fades in and out over 30 ms, so that the ends are not clicks.
std::vector<int16_t> ToSamples(const std::vector<double>& v, double peak)
{
    double largest = 0.0;
    for (double x : v)
        largest = std::max(largest, x < 0 ? -x : x);
    const double fade = 0.03 * kRate;
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        const double edge = std::min<double>({1.0, i / fade, (v.size() - 1 - i) / fade});
        const double s = largest > 0.0 ? v[i] * edge * peak / largest : 0.0;
        out[i] = static_cast<int16_t>(s < 0 ? s - 0.5 : s + 0.5);
    }
    return out;
}

// Voiced sound whose pitch moves linearly from f0 to f1 over `seconds`,
// through three formants.
std::vector<int16_t> Voiced(double seconds, double f0, double f1, double fa, double fb, double fc)
{
    const int count = static_cast<int>(seconds * kRate);
    Resonator r1(fa, 90), r2(fb, 110), r3(fc, 160);
    std::vector<double> v(static_cast<size_t>(count));
    double phase = 0.0, mean = 0.0;
    for (int i = 0; i < count; ++i) {
        const double g = Pulse(phase);
        v[static_cast<size_t>(i)] = r3(r2(r1(g)));
        mean += v[static_cast<size_t>(i)];
        phase += (f0 + (f1 - f0) * i / count) / kRate;
        if (phase >= 1.0)
            phase -= 1.0;
    }
    mean /= count;
    for (double& x : v)
        x -= mean;
    return ToSamples(v, 12000);
}

// Hissed and low noise bursts with pauses, as consonants between words.
std::vector<int16_t> NoiseBursts()
{
    Noise noise;
    Resonator hiss(4000, 1500), mid(2000, 800), low(500, 300);
    std::vector<double> v;
    const struct {
        int samples;
        int kind;  // 0 pause, 1 hiss, 2 middle, 3 low
        double level;
    } parts[] = {{800, 0, 0}, {1800, 1, 1.0}, {700, 0, 0}, {1200, 3, 4.0}, {500, 0, 0}, {1500, 2, 0.8}};
    for (const auto& part : parts)
        for (int i = 0; i < part.samples; ++i) {
            const double n = noise();
            const double x = part.kind == 1 ? hiss(n) : part.kind == 2 ? mid(n) : part.kind == 3 ? low(n) : 0.001 * n;
            v.push_back(x * part.level);
        }
    return ToSamples(v, 9000);
}

struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;  // rows from the top, 3 bytes a pixel
};

Picture ReadPng(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture out;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return out;
    image.format = PNG_FORMAT_RGB;
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr))
        return {};
    out.width = static_cast<int32_t>(image.width);
    out.height = static_cast<int32_t>(image.height);
    return out;
}

// Columns first .. first + width - 1 of a rendered picture (all when width 0).
Picture Crop(const RenderedPicture& r, int32_t first, int32_t width)
{
    Picture out;
    out.width = width == 0 ? r.width : std::min(width, r.width - first);
    out.height = r.height;
    for (int32_t y = 0; y < r.height; ++y) {
        const uint8_t* row = r.rgb.data() + static_cast<size_t>(y) * r.stride + static_cast<size_t>(first) * 3;
        out.rgb.insert(out.rgb.end(), row, row + static_cast<size_t>(out.width) * 3);
    }
    return out;
}

// "" when equal, else how many columns differ and the first one.
std::string Difference(const Picture& stored, const Picture& now)
{
    if (stored.width != now.width || stored.height != now.height)
        return "size " + std::to_string(now.width) + "x" + std::to_string(now.height) + " instead of " +
               std::to_string(stored.width) + "x" + std::to_string(stored.height);
    int32_t differing = 0, first = -1;
    for (int32_t x = 0; x < now.width; ++x)
        for (int32_t y = 0; y < now.height; ++y) {
            const size_t at = (static_cast<size_t>(y) * now.width + x) * 3;
            if (!std::equal(now.rgb.begin() + at, now.rgb.begin() + at + 3, stored.rgb.begin() + at)) {
                if (differing++ == 0)
                    first = x;
                break;
            }
        }
    if (differing == 0)
        return "";
    return std::to_string(differing) + " of " + std::to_string(now.width) + " columns differ, the first is column " +
           std::to_string(first);
}

struct Stored {
    const char* name;      // file name under tests/tools/pictures
    const char* sound;     // "demo", "vowel", "glide" or "bursts"
    int32_t refresh, sampling, height;
    bool waveform, timescale;
    int32_t firstColumn, columns;  // the part kept (0 columns: all)
};

void PrintTo(const Stored& s, std::ostream* os) { *os << s.name; }

class StoredPictures : public ::testing::TestWithParam<Stored> {
protected:
    static void SetUpTestSuite()
    {
        folder = new TempFolder();
        WriteWav(folder->Path("vowel.wav"), 11025, 1, Voiced(0.5, 140, 140, 700, 1220, 2600));
        WriteWav(folder->Path("glide.wav"), 11025, 1, Voiced(0.6, 95, 320, 300, 2300, 3000));
        WriteWav(folder->Path("bursts.wav"), 11025, 1, NoiseBursts());
    }
    static void TearDownTestSuite() { delete folder; }
    static TempFolder* folder;
};

TempFolder* StoredPictures::folder = nullptr;

std::vector<simd::Level> Levels()
{
    std::vector<simd::Level> levels{simd::Level::kPortable};
    for (const simd::Level level : {simd::Level::kSse2, simd::Level::kAvx2})
        if (static_cast<int>(level) <= static_cast<int>(simd::BestLevel()))
            levels.push_back(level);
    return levels;
}

TEST_P(StoredPictures, WholeRenderEqualsTheStoredPicture)
{
    const Stored& s = GetParam();
    RenderOptions options;
    options.input = std::string(s.sound) == "demo" ? std::string(VOCALUME_DEMO_WAV)
                                                   : folder->Path(std::string(s.sound) + ".wav");
    options.refresh = s.refresh;
    options.sampling = s.sampling;
    options.height = s.height;
    options.waveform = s.waveform;
    options.timescale = s.timescale;
    options.whole = true;
    const std::string path = std::string(VOCALUME_STORED_PICTURES) + "/" + s.name;
    const Picture stored = ReadPng(path);
    const bool regenerate = std::getenv("VOCALUME_REGENERATE_PICTURES") != nullptr;

    for (simd::Level level : Levels()) {
        simd::UseLevel(level);
        RenderedPicture rendered;
        ASSERT_EQ(RenderSoundFile(options, rendered), "");
        const Picture now = Crop(rendered, s.firstColumn, s.columns);
        const std::string difference = stored.width == 0 ? "no stored picture" : Difference(stored, now);
        if (regenerate) {
            if (!difference.empty()) {
                std::filesystem::create_directories(VOCALUME_STORED_PICTURES);
                ASSERT_EQ(WritePngFile(path, now.width, now.height, now.rgb.data(),
                                       static_cast<size_t>(now.width) * 3),
                          "");
                std::printf("%s: rewritten (%s)\n", s.name, difference.c_str());
            } else {
                std::printf("%s: unchanged\n", s.name);
            }
            break;
        }
        EXPECT_EQ(difference, "") << s.name << " under the "
                                  << (level == simd::Level::kAvx2 ? "AVX2" : "SSE2") << " build";
    }
    simd::UseLevel(simd::BestLevel());
}

// Two settings for each sound: the defaults, and the fastest refresh with
// every frame analysed in full, at other heights and without trace or ticks.
// The demo keeps 0.7 s from its middle.
INSTANTIATE_TEST_SUITE_P(
    Sounds, StoredPictures,
    ::testing::Values(Stored{"demo-default.png", "demo", 10, 3, 200, true, true, 2400, 700},
                      Stored{"demo-r25-s1.png", "demo", 25, 1, 128, false, false, 2400, 700},
                      Stored{"vowel-default.png", "vowel", 10, 3, 200, true, true, 0, 0},
                      Stored{"vowel-r25-s1.png", "vowel", 25, 1, 96, false, false, 0, 0},
                      Stored{"glide-default.png", "glide", 10, 3, 200, true, true, 0, 0},
                      Stored{"glide-r25-s1.png", "glide", 25, 1, 160, false, false, 0, 0},
                      Stored{"bursts-default.png", "bursts", 10, 3, 200, true, true, 0, 0},
                      Stored{"bursts-r5-s2.png", "bursts", 5, 2, 96, true, false, 0, 0}),
    [](const ::testing::TestParamInfo<Stored>& info) {
        std::string name = info.param.name;
        name = name.substr(0, name.find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace vocalume
