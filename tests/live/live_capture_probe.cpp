// Records from the live input for a few seconds through the device and the
// framer, with the analysis worker running, and checks what arrives against
// the signal the live test plays: a 441 Hz tone, a silent gap, the tone
// again, then speech. Prints the frame rate and the dropped sound.
//
//   live_capture_probe SECONDS          record and check the played signal
//   live_capture_probe --expect-no-device   opening must fail cleanly
//   live_capture_probe --inputs             list the inputs there are
//   live_capture_probe --input NAME SECONDS record from NAME and say what it heard
//   live_capture_probe --frozen             two opens while the test holds the
//                                           sound server frozen, then, once it
//                                           runs again, one that must record
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_lane.h"
#include "framer.h"
#include "live_sound_source.h"
#include "queue_host.h"
#include "wave_in.h"

using namespace vocalume;

namespace {

// Under the sanitizers the analysis runs many times slower than the sound
// arrives; the probe then takes each frame itself instead of the worker, so
// that what is measured is still the capture.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kRunWorker = false;
#else
constexpr bool kRunWorker = true;
#endif

constexpr int kBlockFrames = 100;  // about a tenth of a second
constexpr double kToneHz = 441.0;

struct Block {
    double levelDb;
    double crossingsHz;
};

int ExpectNoDevice()
{
    QueueWaveInHost host(true);
    CWaveIn waveIn(MakeLiveSoundSource());
    // Open returns at once; the device opens, or fails to, in the background.
    const int result = waveIn.Open(&host, 11025, 1144);
    std::vector<std::string> news;
    for (int i = 0; i < 100 && news.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        news = host.DeviceNews();
    }
    waveIn.Close();
    const bool ok = result == 0 && news.size() == 1 && news[0].rfind("Failed to open record device", 0) == 0 &&
                    host.Messages().empty();
    std::printf("open without a sound server: result %d, %zu notice(s)%s%s: %s\n", result, news.size(),
                news.empty() ? "" : ": ", news.empty() ? "" : news[0].c_str(), ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

// Opens, waits for the device's news, closes: the message it gave.
std::string OpenAndWaitForNews(CWaveIn& waveIn, QueueWaveInHost& host, size_t newsBefore)
{
    waveIn.Open(&host, 11025, 1144);
    std::vector<std::string> news;
    for (int i = 0; i < 200 && news.size() <= newsBefore; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        news = host.DeviceNews();
    }
    waveIn.Close();
    return news.size() > newsBefore ? news.back() : std::string();
}

// Space pressed twice at a frozen sound server: each attempt is given up
// with a message, and never two are alive; once the server runs again (the
// test sends CONT when told "given up twice", after holding it frozen past
// the server library's own timeout), the stuck attempt ends without starting
// another library, and the next attempt records.
int Frozen()
{
    QueueWaveInHost host(true);
    CWaveIn waveIn(MakeLiveSoundSource());
    const std::string first = OpenAndWaitForNews(waveIn, host, 0);
    const std::string second = OpenAndWaitForNews(waveIn, host, 1);
    const int alive = DeviceThreadsAlive();
    std::printf("first: %s\nsecond: %s\ndevice threads alive: %d\ngiven up twice\n", first.c_str(), second.c_str(),
                alive);
    std::fflush(stdout);
    const bool ended = WaitForDeviceThreads(std::chrono::seconds(60));
    std::printf("the stuck attempt ended: %s\n", ended ? "yes" : "no");
    // Space pressed again until it records (the server may still be frozen
    // for a moment after the stuck attempt timed out).
    int buffers = 0;
    for (int attempt = 0; attempt < 8 && buffers < 5; ++attempt) {
        const size_t newsBefore = host.DeviceNews().size();
        waveIn.Open(&host, 11025, 1144);
        for (int i = 0; i < 60 && buffers < 5 && host.DeviceNews().size() == newsBefore; ++i)
            if (host.WaitAndTake(std::chrono::milliseconds(100)) == QueueWaveInHost::Notice::BufferDone) {
                waveIn.QueueNextBuffer();
                ++buffers;
            }
        waveIn.Close();
    }
    const bool ok = first.find("did not answer") != std::string::npos &&
                    second.find("did not answer") != std::string::npos && alive == 1 && ended && buffers == 5;
    std::printf("recorded %d buffers after the server came back: %s\n", buffers, ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

char Classify(const Block& b)
{
    if (b.levelDb < -60.0)
        return '.';
    if (b.levelDb > -30.0 && std::fabs(b.crossingsHz - kToneHz) < 15.0)
        return '#';
    if (b.levelDb > -45.0)
        return 's';
    return '-';
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--expect-no-device") == 0)
        return ExpectNoDevice();
    if (argc > 1 && std::strcmp(argv[1], "--frozen") == 0)
        return Frozen();
    if (argc > 1 && std::strcmp(argv[1], "--inputs") == 0) {
        for (const InputChoice& input : ListLiveInputs())
            std::printf("%s\t%s\n", input.name.c_str(), input.description.c_str());
        return 0;
    }
    const bool chosen = argc > 3 && std::strcmp(argv[1], "--input") == 0;
    const double seconds = chosen ? std::atof(argv[3]) : argc > 1 ? std::atof(argv[1]) : 10.0;

    auto core = std::make_unique<AnalysisCore>();
    Framer framer;
    framer.ComputeFraming(*core);
    if (kRunWorker)
        core->StartWorker();
    QueueWaveInHost host(true);
    CWaveIn waveIn(MakeLiveSoundSource());
    if (chosen)
        waveIn.SetInput(argv[2]);
    if (waveIn.Open(&host, framer.m_sampleRate, framer.m_samplesPerBuffer) != 0) {
        std::printf("FAIL: the live input did not open\n");
        return 1;
    }
    using Clock = std::chrono::steady_clock;
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    // The device opens in the background: the recording's time counts from
    // its first buffer, and the test plays its signal once it is told.
    auto end = Clock::now() + std::chrono::seconds(10) + length;
    Clock::time_point first, last;
    int64_t frames = 0, framesAfterFirst = 0, buffers = 0, ringFull = 0;
    std::vector<int16_t> signal;  // the newest hop of every frame, in order
    while (Clock::now() < end) {
        if (host.WaitAndTake(std::chrono::milliseconds(200)) != QueueWaveInHost::Notice::BufferDone)
            continue;
        const int32_t from = core->ring.WritePosition();
        const WimDataResult r = framer.OnWimData(waveIn, *core);
        if (!r.ran)
            continue;
        const auto now = Clock::now();
        // Known once the device has opened, which its first buffer shows.
        if (buffers == 0 && chosen)
            std::printf("input missing: %d\n", waveIn.InputMissing() ? 1 : 0);
        if (buffers == 0) {
            first = now;
            end = now + length;
            std::printf("recording\n");
            std::fflush(stdout);
        }
        else
            framesAfterFirst += r.framesCut;
        last = now;
        ++buffers;
        frames += r.framesCut;
        ringFull += r.ringFull ? 1 : 0;
        for (int32_t k = 0; k < r.framesCut; ++k) {
            FrameRecord& rec = core->ring[(from + k) % kRingSize];
            signal.insert(signal.end(), rec.samples + 392 - 11, rec.samples + 392);
            if (!kRunWorker && rec.fresh.load(std::memory_order_acquire) == 1) {
                rec.fresh.store(0, std::memory_order_relaxed);
                rec.analysed.store(1, std::memory_order_release);
            }
        }
    }
    if (const std::vector<std::string> news = host.DeviceNews(); !news.empty())
        std::printf("the device said: %s\n", news[0].c_str());
    const int64_t overruns = waveIn.OverrunFrames();
    waveIn.Close();
    core->EndWorker();

    const double elapsed = std::chrono::duration<double>(last - first).count();
    const double rate = elapsed > 0 ? static_cast<double>(framesAfterFirst) / elapsed : 0.0;
    std::printf("buffers %lld, frames %lld, frame rate %.1f per second, overrun %lld sample pairs, "
                "ring full %lld\n",
                static_cast<long long>(buffers), static_cast<long long>(frames), rate,
                static_cast<long long>(overruns), static_cast<long long>(ringFull));

    std::vector<Block> blocks;
    const size_t blockSamples = kBlockFrames * 11;
    for (size_t b = 0; b + blockSamples <= signal.size(); b += blockSamples) {
        double sum = 0.0;
        int crossings = 0;
        for (size_t i = b; i < b + blockSamples; ++i) {
            sum += static_cast<double>(signal[i]) * signal[i];
            if (i > b && signal[i - 1] < 0 && signal[i] >= 0)
                ++crossings;
        }
        const double rms = std::sqrt(sum / blockSamples) / 32768.0;
        blocks.push_back({rms > 1e-5 ? 20.0 * std::log10(rms) : -100.0,
                          crossings * 11025.0 / static_cast<double>(blockSamples)});
    }
    std::string picture;
    for (const Block& b : blocks)
        picture += Classify(b);
    std::printf("level per tenth of a second (# tone, s other sound, . silence):\n%s\n",
                picture.c_str());

    if (chosen) {
        std::printf("tone %lld, other sound %lld, silence %lld\n",
                    static_cast<long long>(std::count(picture.begin(), picture.end(), '#')),
                    static_cast<long long>(std::count(picture.begin(), picture.end(), 's')),
                    static_cast<long long>(std::count(picture.begin(), picture.end(), '.')));
        return frames > 0 ? 0 : 1;
    }

    bool ok = true;
    auto check = [&](bool good, const char* what) {
        std::printf("%s: %s\n", good ? "PASS" : "FAIL", what);
        ok = ok && good;
    };
    check(rate > 1002.0 * 0.95 && rate < 1002.0 * 1.05, "frames arrive at about 1002 a second");
    check(ringFull == 0, "the analysis keeps up with the frames");
    check(overruns <= static_cast<int64_t>(signal.size() / 20), "little or no sound dropped");

    // Expected: tone, a gap of 1.5 s, tone, then speech (blocks at the edges
    // of a sound are partly silent and may read either way).
    check(std::count(picture.begin(), picture.end(), '#') >= 20, "the tone reads as 441 Hz sound");
    const size_t firstTone = picture.find('#');
    const size_t gap =
        firstTone == std::string::npos ? firstTone : picture.find(std::string(12, '.'), firstTone);
    const size_t secondTone = gap == std::string::npos ? gap : picture.find('#', gap);
    check(secondTone != std::string::npos, "the gap between the tones reads as silence");
    size_t speech = 0;
    const size_t toneEnd = secondTone == std::string::npos ? secondTone : picture.find('.', secondTone);
    if (toneEnd != std::string::npos)
        speech = static_cast<size_t>(
            std::count(picture.begin() + static_cast<ptrdiff_t>(toneEnd), picture.end(), 's'));
    check(speech >= 10, "the speech after the tones reads as sound");
    return ok ? 0 : 1;
}
