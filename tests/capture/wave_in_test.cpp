#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "capture_rig.h"

namespace vocalume::testing {
namespace {

// Waits for a notice are bounded, so that a stalled delivery fails the test
// instead of hanging it: 3000 waits of 20 ms, a minute without any notice.
constexpr int32_t kMaxQuietWaits = 3000;

// Ends a source thread however the test leaves its scope (a failed
// assertion returns early), telling it to stop first where it can be told.
class JoinOnExit {
public:
    explicit JoinOnExit(std::thread& thread, std::atomic<bool>* stop = nullptr)
        : m_thread(thread), m_stop(stop) {}
    ~JoinOnExit() { Join(); }
    void Join()
    {
        if (m_stop != nullptr)
            *m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread& m_thread;
    std::atomic<bool>* m_stop;
};

struct DeviceRig {
    DeviceRig()
    {
        auto owned = std::make_unique<ScriptedSoundSource>();
        source = owned.get();
        waveIn = std::make_unique<CWaveIn>(std::move(owned));
    }
    ScriptedSoundSource* source;
    std::unique_ptr<CWaveIn> waveIn;
    QueueWaveInHost host;
};

TEST(WaveIn, OpensWithFourBuffersWithTheDeviceAndRefusesASecondOpen)
{
    DeviceRig rig;
    CWaveIn& w = *rig.waveIn;
    EXPECT_EQ(w.m_bufferBytes, 8192) << "buffers exist before the first open";
    EXPECT_EQ(w.m_state, 0);

    ASSERT_EQ(w.Open(&rig.host, 11025, 1144), 0);
    EXPECT_EQ(w.m_bufferBytes, 4576);
    EXPECT_EQ(w.m_isOpen, 1);
    EXPECT_EQ(w.m_state, 2);
    EXPECT_EQ(w.m_currentIndex, 0);
    EXPECT_EQ(rig.source->queued, 4);
    EXPECT_EQ(rig.source->starts, 1);
    EXPECT_EQ(rig.source->format.samplesPerSec, 11025);
    EXPECT_EQ(rig.source->format.avgBytesPerSec, 44100);
    EXPECT_EQ(rig.source->format.channels, 2);
    EXPECT_EQ(rig.source->format.blockAlign, 4);
    EXPECT_EQ(rig.source->format.bitsPerSample, 16);
    EXPECT_FALSE(w.IsBufferDone());

    EXPECT_EQ(w.Open(&rig.host, 11025, 500), -1);
    EXPECT_EQ(w.m_bufferBytes, 4576);
    EXPECT_EQ(rig.source->opens, 1);
    EXPECT_TRUE(rig.host.Messages().empty());
}

TEST(WaveIn, ClosedDeviceRefusesCloseAndRequeueWithoutCallingTheSource)
{
    DeviceRig rig;
    CWaveIn& w = *rig.waveIn;
    EXPECT_EQ(w.Close(), -1);
    ASSERT_EQ(w.Open(&rig.host, 11025, 1144), 0);
    EXPECT_EQ(w.Close(), 0);
    EXPECT_EQ(w.m_state, 0);
    EXPECT_EQ(w.m_isOpen, 0);
    EXPECT_EQ(w.Close(), -1);
    EXPECT_EQ(rig.source->stops, 1);
    EXPECT_EQ(rig.source->closes, 1);
    const int index = w.m_currentIndex;
    EXPECT_EQ(w.QueueNextBuffer(), 0);
    EXPECT_EQ(w.m_currentIndex, index);
    EXPECT_EQ(rig.source->queued, 4);
    EXPECT_EQ(w.m_bufferBytes, 4576) << "buffers stay allocated";
}

TEST(WaveIn, FailedOpenShowsTheMessageOnceAndStaysClosed)
{
    DeviceRig rig;
    rig.source->failOpen = true;
    CWaveIn& w = *rig.waveIn;
    EXPECT_EQ(w.Open(&rig.host, 11025, 1144), -1);
    EXPECT_EQ(rig.host.Messages(), std::vector<std::string>{"Failed to open record device"});
    EXPECT_EQ(w.m_state, 0);
    EXPECT_EQ(w.m_isOpen, 0);
    EXPECT_EQ(w.m_bufferBytes, 4576);
    EXPECT_EQ(w.Close(), -1);
}

TEST(WaveIn, RefusedFirstBufferFailsTheOpenSilently)
{
    DeviceRig rig;
    rig.source->failQueueAt = 1;
    EXPECT_EQ(rig.waveIn->Open(&rig.host, 11025, 1144), -1);
    EXPECT_EQ(rig.waveIn->m_state, 0);
    EXPECT_EQ(rig.waveIn->m_isOpen, 0);
    EXPECT_EQ(rig.source->closes, 1);
    EXPECT_TRUE(rig.host.Messages().empty());
}

// Buffers come back in queue order, one notice each; with all four with the
// program further sound is dropped and counted; ReadChannel picks the left
// channel only for 1 and never reads past the buffer.
TEST(WaveIn, BuffersCirculateInOrderAndOverrunIsCounted)
{
    DeviceRig rig;
    CWaveIn& w = *rig.waveIn;
    ASSERT_EQ(w.Open(&rig.host, 11025, 100), 0);
    rig.source->DeliverCounting(6 * 100 + 30);
    EXPECT_EQ(rig.host.BuffersPosted(), 4u);
    EXPECT_EQ(w.OverrunFrames(), 230);

    std::vector<int16_t> out(1000, 7);
    for (int b = 0; b < 4; ++b) {
        ASSERT_TRUE(w.IsBufferDone());
        ASSERT_EQ(w.m_currentIndex, b);
        ASSERT_EQ(w.ReadChannel(out.data(), 1, 1000), 100);
        EXPECT_EQ(out[0], CountingSample(100 * b));
        EXPECT_EQ(out[99], CountingSample(100 * b + 99));
        EXPECT_EQ(out[100], 7) << "nothing past the buffer's capacity";
        for (const int right : {0, 2}) {
            ASSERT_EQ(w.ReadChannel(out.data(), right, 3), 3);
            EXPECT_EQ(out[1], -CountingSample(100 * b + 1));
        }
        ASSERT_EQ(w.QueueNextBuffer(), 1);
    }
    EXPECT_EQ(w.m_currentIndex, 0) << "wraps from 3 to 0";
    EXPECT_FALSE(w.IsBufferDone());

    // Sound arriving now lands in buffer 0 again, continuing where the
    // device had to drop.
    rig.source->DeliverCounting(100);
    ASSERT_TRUE(w.IsBufferDone());
    w.ReadChannel(out.data(), 1, 100);
    EXPECT_EQ(out[0], CountingSample(630));
}

TEST(WaveIn, EndOfSoundCompletesThePartialBufferWithSilence)
{
    DeviceRig rig;
    CWaveIn& w = *rig.waveIn;
    ASSERT_EQ(w.Open(&rig.host, 11025, 100), 0);
    rig.source->DeliverCounting(130);
    rig.source->EndOfStream();
    EXPECT_EQ(rig.host.Take(), QueueWaveInHost::Notice::BufferDone);
    EXPECT_EQ(rig.host.Take(), QueueWaveInHost::Notice::BufferDone);
    EXPECT_EQ(rig.host.Take(), QueueWaveInHost::Notice::EndOfStream);
    EXPECT_EQ(rig.host.Take(), QueueWaveInHost::Notice::None);
    std::vector<int16_t> out(100);
    w.QueueNextBuffer();
    w.ReadChannel(out.data(), 1, 100);
    EXPECT_EQ(out[29], CountingSample(129));
    EXPECT_EQ(out[30], 0);
    EXPECT_EQ(out[99], 0);
}

// A source thread delivering in odd-sized pieces as fast as it can while the
// program reads and requeues: every buffer read is one unbroken stretch of
// the signal, and everything delivered is either read or counted as dropped.
TEST(WaveInThreads, SourceThreadAndProgramHandOverBuffersWithoutTearing)
{
    DeviceRig rig;
    CWaveIn& w = *rig.waveIn;
    constexpr int kCap = 300;
    ASSERT_EQ(w.Open(&rig.host, 11025, kCap), 0);
    constexpr int32_t kDelivered = 97 * 4000;
    std::atomic<bool> done{false};
    std::thread source([&] {
        for (int i = 0; i < 4000; ++i)
            rig.source->DeliverCounting(97);
        done = true;
    });
    JoinOnExit joinSource(source);
    std::vector<int16_t> out(kCap);
    int64_t read = 0;
    int32_t quietWaits = 0;
    for (;;) {
        const auto notice = rig.host.WaitAndTake(std::chrono::milliseconds(20));
        if (notice == QueueWaveInHost::Notice::None) {
            if (done)
                break;
            ASSERT_LT(++quietWaits, kMaxQuietWaits) << "delivery stalled";
            continue;
        }
        quietWaits = 0;
        ASSERT_TRUE(w.IsBufferDone());
        w.ReadChannel(out.data(), 1, kCap);
        ASSERT_EQ(w.QueueNextBuffer(), 1);
        for (int i = 1; i < kCap; ++i)
            ASSERT_EQ(out[i], CountingSample((out[0] + i) % 30000)) << "torn buffer";
        read += kCap;
    }
    joinSource.Join();
    const int64_t accounted = read + w.OverrunFrames();
    EXPECT_LE(accounted, kDelivered);
    EXPECT_GT(accounted, kDelivered - kCap) << "only the last partial buffer is unaccounted";
    w.Close();
}

// The whole road with the real worker: a source that delivers only into the
// buffers the device holds (nothing dropped), the framer publishing, the
// worker analysing. Every frame carries exactly its stretch of the signal.
TEST(WaveInThreads, FramesPublishedToARunningWorkerAreExact)
{
    CaptureRig rig;
    rig.core->StartWorker();
    ASSERT_EQ(rig.Start(), 0);
    constexpr int kBuffers = 30;
    std::atomic<bool> stop{false};
    std::thread source([&] {
        int32_t sent = 0;
        while (!stop && sent < kBuffers * 1144) {
            const int32_t n = std::min(rig.source->FramesWanted(), 200);
            if (n > 0) {
                rig.source->DeliverCounting(n);
                sent += n;
            } else {
                std::this_thread::yield();
            }
        }
    });
    JoinOnExit joinSource(source, &stop);
    int32_t frames = 0;
    for (int b = 0; b < kBuffers; ++b) {
        int32_t quietWaits = 0;
        while (rig.host.WaitAndTake(std::chrono::milliseconds(20)) != QueueWaveInHost::Notice::BufferDone)
            ASSERT_LT(++quietWaits, kMaxQuietWaits) << "delivery stalled at buffer " << b;
        const WimDataResult r = rig.framer.OnWimData(*rig.waveIn, *rig.core);
        ASSERT_TRUE(r.ran);
        ASSERT_FALSE(r.ringFull);
        frames += r.framesCut;
    }
    joinSource.Join();
    rig.waveIn->Close();
    rig.core->EndWorker();
    EXPECT_EQ(frames, kBuffers * 104 - 35);
    for (int32_t s = 0; s < frames; ++s) {
        const FrameRecord& r = rig.Ring()[s];
        ASSERT_EQ(r.index, 5000 + s);
        for (int32_t j = 0; j < 392; j += 7)
            ASSERT_EQ(r.samples[j], CountingSample(s * 11 + j));
    }
}

}  // namespace
}  // namespace vocalume::testing
