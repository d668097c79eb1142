#include <gtest/gtest.h>

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <numbers>

#include "file_decoder.h"
#include "file_source.h"
#include "queue_host.h"
#include "resampler.h"
#include "sound_files.h"
#include "wave_in.h"

namespace vocalume::testing {
namespace {

constexpr int kBuffer = 1144;

struct Recording {
    std::vector<int16_t> left, right;
    int buffers = 0;
    bool ended = false;
    std::vector<std::string> messages;
    int openResult = 0;
};

// Plays a file through the device as the render tool does: on one thread,
// pumping the source, taking each notice and handing the buffer back.
Recording Record(const std::string& path, FileSoundSource::Pacing pacing,
                 std::shared_ptr<SoundFileReport> report = nullptr)
{
    auto owned = std::make_unique<FileSoundSource>(path, pacing, std::move(report));
    CWaveIn waveIn(std::move(owned));
    QueueWaveInHost host;
    Recording rec;
    rec.openResult = waveIn.Open(&host, 11025, kBuffer);
    rec.messages = host.Messages();
    if (rec.openResult != 0)
        return rec;
    std::vector<int16_t> l(kBuffer), r(kBuffer);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!rec.ended && std::chrono::steady_clock::now() < deadline) {
        if (pacing == FileSoundSource::Pacing::OnDemand)
            waveIn.PumpSource();
        for (;;) {
            const auto notice = pacing == FileSoundSource::Pacing::OnDemand
                                    ? host.Take()
                                    : host.WaitAndTake(std::chrono::milliseconds(100));
            if (notice == QueueWaveInHost::Notice::None)
                break;
            if (notice == QueueWaveInHost::Notice::EndOfStream) {
                rec.ended = true;
                break;
            }
            EXPECT_TRUE(waveIn.IsBufferDone());
            waveIn.ReadChannel(l.data(), 1, kBuffer);
            waveIn.ReadChannel(r.data(), 2, kBuffer);
            waveIn.QueueNextBuffer();
            rec.left.insert(rec.left.end(), l.begin(), l.end());
            rec.right.insert(rec.right.end(), r.begin(), r.end());
            ++rec.buffers;
        }
    }
    waveIn.Close();
    return rec;
}

size_t SoundLength(const std::vector<int16_t>& x)
{
    size_t n = x.size();
    while (n > 0 && x[n - 1] == 0)
        --n;
    return n;
}

void ExpectWholeBuffersEndingInSilence(const Recording& rec, size_t soundLength)
{
    EXPECT_TRUE(rec.ended);
    EXPECT_EQ(static_cast<size_t>(rec.buffers), (soundLength + kBuffer - 1) / kBuffer);
    EXPECT_NEAR(static_cast<double>(SoundLength(rec.left)), static_cast<double>(soundLength), 3.0);
}

// Two seconds at 44100 Hz, a different tone on each side: 22050 samples a
// side come out, each tone at its own pitch on its own channel.
TEST(FileSource, StereoFileAt44100IsConvertedKeepingPitchAndSides)
{
    TempFolder dir;
    const std::string path = dir.Path("stereo44100.wav");
    WriteWav(path, 44100, 2, Interleave(Sine(441, 44100, 88200, 0.5), Sine(882, 44100, 88200, 0.5)));
    const Recording rec = Record(path, FileSoundSource::Pacing::OnDemand);
    ASSERT_EQ(rec.openResult, 0);
    ExpectWholeBuffersEndingInSilence(rec, 22050);
    EXPECT_NEAR(CrossingRate(rec.left, 2000, 20000), 441.0, 1.5);
    EXPECT_NEAR(CrossingRate(rec.right, 2000, 20000), 882.0, 1.5);
    int16_t peak = 0;
    for (size_t i = 2000; i < 20000; ++i)
        peak = std::max(peak, rec.left[i]);
    EXPECT_NEAR(peak, 16384, 300) << "level kept";
}

TEST(FileSource, MonoFileAt48000FeedsBothChannels)
{
    TempFolder dir;
    const std::string path = dir.Path("mono48000.wav");
    WriteWav(path, 48000, 1, Sine(441, 48000, 48000, 0.5));
    const Recording rec = Record(path, FileSoundSource::Pacing::OnDemand);
    ASSERT_EQ(rec.openResult, 0);
    ExpectWholeBuffersEndingInSilence(rec, 11025);
    EXPECT_EQ(rec.left, rec.right);
    EXPECT_NEAR(CrossingRate(rec.left, 1000, 10000), 441.0, 1.5);
}

TEST(FileSource, FileAtTheRecordingRateIsPassedThroughUnchanged)
{
    TempFolder dir;
    const std::string path = dir.Path("mono11025.wav");
    std::vector<int16_t> x(5000);
    uint32_t seed = 12345;
    for (auto& s : x) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(seed >> 16);
    }
    x.back() = 1;  // so the sound's end is visible
    WriteWav(path, 11025, 1, x);
    const Recording rec = Record(path, FileSoundSource::Pacing::OnDemand);
    ASSERT_EQ(rec.openResult, 0);
    ASSERT_EQ(rec.buffers, 5);
    EXPECT_TRUE(std::equal(x.begin(), x.end(), rec.left.begin()));
    EXPECT_TRUE(std::equal(x.begin(), x.end(), rec.right.begin()));
    EXPECT_TRUE(std::all_of(rec.left.begin() + 5000, rec.left.end(), [](int16_t s) { return s == 0; }));
}

TEST(FileSource, MissingOrCorruptFileIsAClearErrorAndTheDeviceStaysClosed)
{
    TempFolder dir;
    const std::string corrupt = dir.Path("corrupt.wav");
    std::ofstream(corrupt) << "RIFF\x10\0\0\0WAVEfmt this is not a sound file at all";
    for (const std::string& path : {dir.Path("missing.wav"), corrupt}) {
        const Recording rec = Record(path, FileSoundSource::Pacing::OnDemand);
        EXPECT_EQ(rec.openResult, -1);
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_NE(rec.messages[0].find("Cannot read the sound file"), std::string::npos) << rec.messages[0];
        EXPECT_NE(rec.messages[0].find(path), std::string::npos) << rec.messages[0];
    }
}

TEST(FileSource, ConverterFromRecordedSamplesKeepsLevel)
{
    const std::vector<int16_t> in = Interleave(Sine(441, 44100, 44100, 0.5), Sine(441, 44100, 44100, 0.25));
    StereoResampler resampler(44100, 11025, StereoResampler::Input::Int16);
    ASSERT_TRUE(resampler.Error().empty());
    std::vector<int16_t> out(2 * 12000);
    int32_t made = 0, pos = 0;
    while (pos < 44100) {
        int32_t consumed = 0;
        made += resampler.Process(in.data() + 2 * pos, 44100 - pos, consumed, out.data() + 2 * made, 12000 - made);
        pos += consumed;
    }
    while (const int32_t n = resampler.Drain(out.data() + 2 * made, 12000 - made))
        made += n;
    EXPECT_NEAR(made, 11025, 2);
    int16_t peakLeft = 0, peakRight = 0;
    for (int32_t i = 1000; i < 10000; ++i) {
        peakLeft = std::max(peakLeft, out[2 * i]);
        peakRight = std::max(peakRight, out[2 * i + 1]);
    }
    EXPECT_NEAR(peakLeft, 16384, 300);
    EXPECT_NEAR(peakRight, 8192, 200);
}

// A mono file of floating-point samples in `format` (with its subformat).
void WriteFloats(const std::string& path, int format, int rate, const std::vector<float>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    // Written as they are: no clipping, no normalisation by the writer.
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    sf_write_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

std::vector<float> FloatTone(int rate, int count, double amplitude)
{
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * 441 * i / rate));
    return x;
}

int16_t Peak(const std::vector<int16_t>& x, size_t from, size_t to)
{
    int16_t peak = 0;
    for (size_t i = from; i < to && i < x.size(); ++i)
        peak = std::max<int16_t>(peak, static_cast<int16_t>(std::abs(x[i])));
    return peak;
}

// A tone at 0.9 of full scale reads at 0.9 of full scale in every format, at
// the recording rate as at any other; louder than full scale is clipped.
TEST(FileSource, FloatingPointFilesReadAtTheLevelOfAnyOtherFormat)
{
    TempFolder dir;
    struct Case {
        const char* name;
        int format;
        int rate;
    };
    const Case cases[] = {{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 11025},
                          {"double.wav", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 11025},
                          {"float.au", SF_FORMAT_AU | SF_FORMAT_FLOAT, 11025},
                          {"float22050.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 22050}};
    for (const Case& c : cases) {
        WriteFloats(dir.Path(c.name), c.format, c.rate, FloatTone(c.rate, c.rate / 2, 0.9));
        const Recording rec = Record(dir.Path(c.name), FileSoundSource::Pacing::OnDemand);
        ASSERT_EQ(rec.openResult, 0) << c.name;
        EXPECT_NEAR(Peak(rec.left, 500, 5000), 0.9 * 32768, 60) << c.name;
    }
    WriteFloats(dir.Path("loud.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 11025, FloatTone(11025, 5000, 2.0));
    const Recording loud = Record(dir.Path("loud.wav"), FileSoundSource::Pacing::OnDemand);
    EXPECT_EQ(*std::max_element(loud.left.begin(), loud.left.end()), 32767);
    EXPECT_EQ(*std::min_element(loud.left.begin(), loud.left.end()), -32768);
}

// Samples that hold no number are silence where they were, the sound
// around them reads as it is, and they are counted for the user.
TEST(FileSource, SamplesThatHoldNoNumberAreReadAsSilenceAndCounted)
{
    TempFolder dir;
    for (const int rate : {11025, 44100}) {
        std::vector<float> x = FloatTone(rate, rate, 0.5);
        for (int i = rate / 4; i < rate / 4 + 100; ++i)
            x[static_cast<size_t>(i)] = std::numeric_limits<float>::quiet_NaN();
        x[static_cast<size_t>(rate / 2)] = std::numeric_limits<float>::infinity();
        WriteFloats(dir.Path("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, x);
        auto report = std::make_shared<SoundFileReport>();
        const Recording rec = Record(dir.Path("nan.wav"), FileSoundSource::Pacing::OnDemand, report);
        ASSERT_EQ(rec.openResult, 0);
        EXPECT_EQ(report->damagedFrames, 101) << rate;
        const size_t third = 11025 / 3;  // a quarter, converted, lies before it
        EXPECT_NEAR(Peak(rec.left, third, 2 * third), 16384, 200) << rate << ": the sound goes on after the damage";
        EXPECT_NEAR(Peak(rec.left, 8000, 10000), 16384, 200) << rate;
        EXPECT_GT(*std::min_element(rec.left.begin(), rec.left.end()), -17000) << rate << ": no full-scale sample";
        if (rate == 11025) {
            EXPECT_TRUE(std::all_of(rec.left.begin() + rate / 4, rec.left.begin() + rate / 4 + 100,
                                    [](int16_t s) { return s == 0; }));
        }
        const std::string note = DamageNote(*report, "the sound file \"nan.wav\"");
        EXPECT_EQ(note.rfind("The sound file \"nan.wav\" is damaged: 101 of its samples", 0), 0u) << note;
    }
}

// A header claiming a rate no sound file can have, and a folder, are refused
// at once with a message; what the program may open is a regular file, which
// a pipe with no writer is not (and asking does not wait on it).
TEST(FileSource, ImpossibleRatesFoldersAndPipesAreRefusedWithAMessage)
{
    TempFolder dir;
    for (const int rate : {1, 999, 768001}) {
        const std::string path = dir.Path("rate" + std::to_string(rate) + ".wav");
        WriteWav(path, rate, 1, std::vector<int16_t>(2000, 1000));
        const Recording rec = Record(path, FileSoundSource::Pacing::OnDemand);
        EXPECT_EQ(rec.openResult, -1) << rate;
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_NE(rec.messages[0].find("sample rate of " + std::to_string(rate) + " Hz"), std::string::npos)
            << rec.messages[0];
    }
    WriteWav(dir.Path("lowest.wav"), kLowestFileRate, 1, std::vector<int16_t>(2000, 1000));
    EXPECT_EQ(Record(dir.Path("lowest.wav"), FileSoundSource::Pacing::OnDemand).openResult, 0);

    std::filesystem::create_directory(dir.Path("folder.wav"));
    const Recording folder = Record(dir.Path("folder.wav"), FileSoundSource::Pacing::OnDemand);
    ASSERT_EQ(folder.messages.size(), 1u);
    EXPECT_NE(folder.messages[0].find("it is a folder"), std::string::npos) << folder.messages[0];

    ASSERT_EQ(::mkfifo(dir.Path("pipe.wav").c_str(), 0600), 0);
    EXPECT_NE(CheckSoundFileToOpen(dir.Path("pipe.wav")).find("it is a pipe"), std::string::npos);
    EXPECT_NE(CheckSoundFileToOpen(dir.Path("folder.wav")).find("it is a folder"), std::string::npos);
    EXPECT_NE(CheckSoundFileToOpen("/dev/zero").find("it is a device"), std::string::npos);
    EXPECT_NE(CheckSoundFileToOpen(dir.Path("missing.wav")).find("No such file"), std::string::npos);
    EXPECT_EQ(CheckSoundFileToOpen(dir.Path("lowest.wav")), "");
}

// A source thread paced by the program delivers the same samples as the
// pumped source, then reports the end.
TEST(FileSourceThreads, APacedSourceThreadDeliversTheSameSound)
{
    TempFolder dir;
    const std::string path = dir.Path("tone.wav");
    WriteWav(path, 44100, 1, Sine(441, 44100, 22050, 0.5));
    const Recording pumped = Record(path, FileSoundSource::Pacing::OnDemand);
    const Recording requeued = Record(path, FileSoundSource::Pacing::AsRequeued);
    EXPECT_TRUE(requeued.ended);
    EXPECT_EQ(requeued.left, pumped.left);
}

// A source paced by the clock is a microphone: it does not wait for the
// program. While the program holds all four buffers, what comes is dropped,
// and the end is reported all the same; the buffers hold the file's start.
TEST(FileSourceThreads, AClockPacedSourceDropsWhatComesWhileEveryBufferIsHeld)
{
    TempFolder dir;
    const std::string path = dir.Path("tone.wav");
    WriteWav(path, 44100, 1, Sine(441, 44100, 22050, 0.5));
    const Recording pumped = Record(path, FileSoundSource::Pacing::OnDemand);

    CWaveIn waveIn(std::make_unique<FileSoundSource>(path, FileSoundSource::Pacing::RealTime));
    QueueWaveInHost host;
    ASSERT_EQ(waveIn.Open(&host, 11025, kBuffer), 0);
    int filled = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        const auto notice = host.WaitAndTake(std::chrono::milliseconds(100));
        filled += notice == QueueWaveInHost::Notice::BufferDone ? 1 : 0;
        ended = notice == QueueWaveInHost::Notice::EndOfStream;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(filled, kWaveBuffers);
    // Half a second of sound is more than the four buffers hold.
    EXPECT_GT(waveIn.OverrunFrames(), 0);
    std::vector<int16_t> first(kBuffer);
    waveIn.ReadChannel(first.data(), 1, kBuffer);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), pumped.left.begin()));
    waveIn.Close();
}

}  // namespace
}  // namespace vocalume::testing
