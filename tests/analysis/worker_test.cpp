// The analysis worker: scan order, smoothing, and the worker thread's life.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "analysis_worker.h"
#include "signals.h"

namespace vocalume {
namespace {

using namespace std::chrono_literals;

class Smoothing : public ::testing::Test {
protected:
    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    int64_t counter = 0;
    void SetUp() override { core->ring.Reset(counter, 256); }
    void Fill(int32_t slot, float v)
    {
        for (int k = 0; k < 256; ++k)
            core->ring[slot].spectrum[k] = v;
    }
};

TEST_F(Smoothing, WeightsLeanTowardsTheNewerSide)
{
    // Weight j is 0.5 - 0.5 cos(j 2π/21); they sum to 5.25.
    const double sum = 5.25;
    Fill(95, 42.0f);  // s - 5: weight 0
    SmoothFrame(core->ring, 100);
    EXPECT_EQ(core->ring[100].smoothSpectrum[7], 0.0f);
    EXPECT_EQ(core->ring[100].smoothed, 1);

    Fill(95, 0.0f);
    Fill(105, 42.0f);  // s + 5: weight 0.9944
    SmoothFrame(core->ring, 100);
    EXPECT_NEAR(core->ring[100].smoothSpectrum[7], 42.0 * 0.99441 / sum, 1e-4);

    for (int32_t s = 95; s <= 105; ++s)
        Fill(s, -37.5f);
    SmoothFrame(core->ring, 100);
    for (int k = 0; k < 256; ++k)
        ASSERT_NEAR(core->ring[100].smoothSpectrum[k], -37.5f, 1e-4f);
}

TEST_F(Smoothing, WrapsAroundTheRingEnds)
{
    Fill(4999, 10.0f);  // slot 2 - 3
    SmoothFrame(core->ring, 2);
    EXPECT_NEAR(core->ring[2].smoothSpectrum[0], 10.0 * 0.08688 / 5.25, 1e-4);
}

TEST(WorkerScan, SmoothsOnlyWhenAllElevenNeighboursAreAnalysed)
{
    auto core = std::make_unique<AnalysisCore>();
    auto state = std::make_unique<AnalyserState>();
    int64_t counter = 0;
    core->ring.Reset(counter, 256);
    core->ring[0].analysed = 0;  // under the write position
    core->ring[2000].analysed = 0;
    core->ScanUntilIdle(*state);
    for (int32_t s : {1, 2, 3, 4, 5, 4995, 4996, 4997, 4998, 4999, 1995, 2005})
        EXPECT_EQ(core->ring[s].smoothed, 0) << s;
    for (int32_t s : {6, 1994, 2006, 4994})
        EXPECT_EQ(core->ring[s].smoothed, 1) << s;
    // After a reset every smoothable record comes out all zeros.
    EXPECT_EQ(core->ring[3000].smoothSpectrum[5], 0.0f);
}

// The record at the write position is the oldest, about to be overwritten;
// it may still be marked analysed with a frame of five seconds ago (a worker
// that finished it late, or the framer not having withdrawn it yet). The
// newest frame must neither copy it nor be smoothed over it.
TEST(WorkerScan, TheRecordAtTheWritePositionIsNobodysNeighbour)
{
    auto core = std::make_unique<AnalysisCore>();
    auto state = std::make_unique<AnalyserState>();
    int64_t counter = 0;
    core->ring.Reset(counter, 256);
    core->undersampling = 3;
    FrameRecord& newest = core->ring[100];  // 100 mod 3 != 0: it may copy
    std::fill(std::begin(newest.samples), std::end(newest.samples), int16_t{0});
    newest.nsamples = 392;
    newest.nspan = 11;
    newest.analysed = 0;
    newest.fresh = 1;
    FrameRecord& oldest = core->ring[101];
    oldest.energy = 70.0f;
    std::fill(std::begin(oldest.spectrum), std::end(oldest.spectrum), 42.0f);
    core->ring.SetWritePosition(101);
    core->ScanUntilIdle(*state);

    EXPECT_EQ(newest.energy, -100.0f) << "silence analysed, not the old frame copied";
    EXPECT_EQ(newest.spectrum[10], -100.0f);
    for (int32_t s = 96; s <= 101; ++s)
        EXPECT_EQ(core->ring[s].smoothed, 0) << s;
    EXPECT_EQ(core->ring[95].smoothed, 1);
    EXPECT_EQ(core->ring[102].smoothed, 0);
}

TEST(WorkerScan, NewestFramesAreServedFirst)
{
    // A backlog at ratio 1 whose older frames are louder. Taken newest first,
    // every frame is louder than the peak so far and becomes its own ceiling;
    // taken oldest first, the ceilings would trail the loudest frame.
    auto core = std::make_unique<AnalysisCore>();
    auto state = std::make_unique<AnalyserState>();
    int64_t counter = 0;
    core->ring.Reset(counter, 256);
    core->undersampling = 1;
    for (int32_t s = 10; s < 20; ++s) {
        auto x = testing::Vowel(150, 392, 20000.0 - 1500.0 * (s - 10));
        std::copy(x.begin(), x.end(), core->ring[s].samples);
        core->ring[s].nsamples = 392;
        core->ring[s].nspan = 11;
        core->ring[s].analysed = 0;
        core->ring[s].fresh = 1;
    }
    core->ring[20].analysed = 0;
    core->ring.SetWritePosition(20);
    core->trackers.energyPeak = 0.0f;
    core->trackers.energyFloor = -100.0f;
    core->ScanUntilIdle(*state);
    for (int32_t s = 10; s < 20; ++s)
        EXPECT_EQ(core->ring[s].energyCeiling, core->ring[s].energy) << s;
}

class WorkerThreads : public ::testing::Test {
protected:
    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    int64_t counter = 0;
    void SetUp() override
    {
        core->ring.Reset(counter, 256);
        core->ring[0].analysed = 0;
    }
    void PublishBacklog(int32_t first, int32_t count)
    {
        const auto x = testing::SpeechLike(392 + 11 * count, 9);
        for (int32_t i = 0; i < count; ++i) {
            FrameRecord& r = core->ring[first + i];
            std::copy(x.begin() + 11 * i, x.begin() + 11 * i + 392, r.samples);
            r.nsamples = 392;
            r.nspan = 11;
            r.analysed.store(0);
            r.fresh.store(1, std::memory_order_release);
        }
        core->ring[first + count].analysed.store(0);
        core->ring.SetWritePosition(first + count);
        core->WakeWorker();
    }
    // Generous: under ThreadSanitizer the first smoothing after a reset is slow.
    bool WaitUntil(auto predicate)
    {
        for (int i = 0; i < 12000; ++i) {
            if (predicate())
                return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }
};

TEST_F(WorkerThreads, AnalysesPublishedFramesAndSleepsWhenIdle)
{
    core->StartWorker();
    ASSERT_TRUE(WaitUntil([&] { return core->IdleWaits() > 0; }));
    PublishBacklog(100, 300);
    ASSERT_TRUE(WaitUntil([&] { return core->ring[100].analysed.load() == 1; }));
    for (int32_t s = 100; s < 400; ++s)
        EXPECT_EQ(core->ring[s].fresh.load(), 0) << s;

    // Idle: each wake-up without work costs at most one more walk round the
    // ring before the worker sleeps again. A worker that spun would walk it
    // over and over while this thread sleeps, however fast the machine.
    ASSERT_TRUE(WaitUntil([&] { return core->IdleWaits() > 1; }));
    const uint64_t before = core->IdleWaits();
    for (int i = 0; i < 3; ++i)
        core->WakeWorker();
    ASSERT_TRUE(WaitUntil([&] { return core->IdleWaits() > before; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_LE(core->IdleWaits(), before + 3) << "an idle worker must sleep, not spin";

    // An idle worker told to end wakes and ends: the new one waits for it.
    core->EndWorker();
    core->StartWorker();
    EXPECT_TRUE(core->WorkerHeld());
}

// After a walk round the ring that found nothing, the worker's walks stop
// behind the frames cut since: those are analysed, and the newest frames of
// the batch before, which only they let be smoothed, are smoothed too.
TEST_F(WorkerThreads, ShortWalksAfterAnIdleOneStillSmoothTheFramesBeforeTheNewOnes)
{
    for (int32_t s = 100; s < 220; ++s)
        core->ring[s].index = 10000 + s;  // numbered as the framer numbers them
    core->StartWorker();
    ASSERT_TRUE(WaitUntil([&] { return core->IdleWaits() > 0; }));
    const uint64_t idle = core->IdleWaits();
    PublishBacklog(100, 100);
    ASSERT_TRUE(WaitUntil([&] { return core->ring[194].smoothed.load() == 1 && core->IdleWaits() > idle; }));
    EXPECT_EQ(core->ring[195].smoothed.load(), 0) << "its neighbourhood reaches the write position";

    PublishBacklog(200, 8);
    EXPECT_TRUE(WaitUntil([&] {
        for (int32_t s = 195; s <= 202; ++s)
            if (core->ring[s].smoothed.load() != 1)
                return false;
        return true;
    }));
    EXPECT_EQ(core->ring[207].analysed.load(), 1);
}

// Quitting while recording: the core is ended while its worker is busy with
// a backlog. It ends in order, leaves no record half taken, begins no worker
// afterwards; a core destroyed while busy ends the same way.
TEST_F(WorkerThreads, ShutdownWhileAnalysingEndsTheWorkerForGood)
{
    core->undersampling = 1;
    core->StartWorker();
    PublishBacklog(100, 4800);
    ASSERT_TRUE(WaitUntil([&] { return core->ring[4899].analysed.load() == 1; }));
    core->Shutdown();
    EXPECT_FALSE(core->WorkerHeld());
    int32_t waiting = 0;
    for (int32_t s = 100; s < 4900; ++s) {
        const FrameRecord& r = core->ring[s];
        ASSERT_EQ(r.analysing.load(), 0) << s;
        ASSERT_EQ(r.fresh.load() + r.analysed.load(), 1) << s;
        waiting += r.fresh.load();
    }
    EXPECT_GT(waiting, 0) << "the worker was to be ended while busy";
    core->StartWorker();
    EXPECT_FALSE(core->WorkerHeld()) << "no worker begins after the end";
    core->Shutdown();

    core = std::make_unique<AnalysisCore>();
    SetUp();
    core->StartWorker();
    PublishBacklog(100, 4800);
    ASSERT_TRUE(WaitUntil([&] { return core->ring[4899].analysed.load() == 1; }));
    core.reset();
}

TEST_F(WorkerThreads, SafeResetKeepsTheWorkerAndClearsTheRing)
{
    core->StartWorker();
    PublishBacklog(10, 3000);
    int64_t frameCounter = 77;
    core->SafeReset(frameCounter, 256);
    EXPECT_EQ(frameCounter, 5000);
    EXPECT_EQ(core->ring.WritePosition(), 0);
    EXPECT_TRUE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 0);
    for (int32_t s = 0; s < kRingSize; ++s) {
        ASSERT_EQ(core->ring[s].fresh.load(), 0);
        ASSERT_EQ(core->ring[s].index, s);
        ASSERT_EQ(core->ring[s].nbins, 256);
    }
    // The restarted worker smooths the zero spectra of the reset ring.
    ASSERT_TRUE(WaitUntil([&] { return core->ring[2500].smoothed.load() == 1; }));
}

}  // namespace
}  // namespace vocalume
