#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

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
Recording Record(const std::string& path, FileSoundSource::Pacing pacing)
{
    auto owned = std::make_unique<FileSoundSource>(path, pacing);
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
