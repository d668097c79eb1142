#include <gtest/gtest.h>

#include "capture_rig.h"

namespace vocalume::testing {
namespace {

// The global position in the counting signal of sample j of frame `index`,
// when framing began at the first delivered sample: frame 5000 starts at 0.
int16_t Expected(int64_t index, int32_t j, int32_t offset = 0)
{
    return CountingSample((index - 5000) * 11 + j + offset);
}

void ExpectFrameFromSignal(const FrameRecord& r, int32_t offset = 0)
{
    ASSERT_EQ(r.nsamples, 392);
    ASSERT_EQ(r.nspan, 11);
    for (int32_t j = 0; j < 392; ++j)
        ASSERT_EQ(r.samples[j], Expected(r.index, j, offset)) << "frame " << r.index << " sample " << j;
}

TEST(Framer, DefaultRatesMatchTheWorkedTable)
{
    struct Row { int refresh, framesPerBuffer, samplesPerBuffer; };
    const Row rows[] = {{5, 200, 2200}, {10, 104, 1144}, {15, 72, 792}, {20, 56, 616}, {25, 40, 440}};
    auto owned = std::make_unique<AnalysisCore>();  // too large for the stack
    AnalysisCore& core = *owned;
    for (const Row& row : rows) {
        Framer f;
        f.m_refreshRate = row.refresh;
        f.ComputeFraming(core);
        EXPECT_EQ(f.m_windowLength, 392);
        EXPECT_EQ(f.m_hop, 11);
        EXPECT_EQ(f.m_framesPerBuffer, row.framesPerBuffer) << row.refresh;
        EXPECT_EQ(f.m_samplesPerBuffer, row.samplesPerBuffer) << row.refresh;
        EXPECT_EQ(f.m_accumBuffer.size(), static_cast<size_t>(2 * row.samplesPerBuffer));
        EXPECT_EQ(f.m_accumCount, 0);
        EXPECT_EQ(f.m_frameCounter, 5000);
        EXPECT_EQ(core.ring.WritePosition(), 0);
        EXPECT_EQ(core.ring[0].nbins, 256);
    }
}

// The low-latency picture cuts 8 frames (88 samples, 8 ms) a buffer whatever
// the refresh rate, and frames them as any other buffer size; off, the
// refresh rate decides as in the table above.
TEST(Framer, LowLatencyBuffersHoldEightFramesWhateverTheRefreshRate)
{
    for (const int refresh : {1, 10, 30}) {
        EXPECT_EQ(FramesPerBuffer(11025, refresh, 11, true), 8) << refresh;
        EXPECT_EQ(FramesPerBuffer(11025, refresh, 11, false), refresh == 1 ? 1008 : refresh == 10 ? 104 : 40);
    }
    EXPECT_EQ(FramesPerBuffer(11025, 0, 11, false), 1008);
    CaptureRig rig(10, true);
    EXPECT_EQ(rig.framer.m_samplesPerBuffer, 88);
    ASSERT_EQ(rig.Start(), 0);
    int32_t cut = 0;
    for (int b = 0; b < 6; ++b) {
        const WimDataResult r = rig.FeedBuffer();
        ASSERT_TRUE(r.ran);
        cut += r.framesCut;
    }
    // 528 samples hold (528 - 392) / 11 + 1 = 13 whole windows.
    EXPECT_EQ(cut, 13);
    ExpectFrameFromSignal(rig.Newest());
}

// For every refresh rate from 1 to 30: the first buffer yields 35 frames
// fewer than a buffer's worth, every later one exactly a buffer's worth, 385
// samples stay held, and every frame carries the right stretch of signal.
TEST(Framer, EveryRefreshRateCutsWholeBuffersIntoFrames)
{
    for (int refresh = 1; refresh <= 30; ++refresh) {
        CaptureRig rig(refresh);
        const Framer& f = rig.framer;
        ASSERT_EQ(f.m_framesPerBuffer % 8, 0) << refresh;
        ASSERT_GE(f.m_framesPerBuffer * 11, 11025 / refresh - 10) << refresh;
        ASSERT_LT(f.m_framesPerBuffer * 11 - 88, 11025 / refresh) << refresh;
        ASSERT_GE(f.m_accumBuffer.size(), static_cast<size_t>(391 + f.m_samplesPerBuffer));
        ASSERT_EQ(rig.Start(), 0);
        for (int b = 0; b < 3; ++b) {
            const WimDataResult r = rig.FeedBuffer();
            ASSERT_TRUE(r.ran && r.scroll);
            EXPECT_EQ(r.framesCut, b == 0 ? f.m_framesPerBuffer - 35 : f.m_framesPerBuffer) << refresh;
            EXPECT_EQ(f.m_accumCount, 385) << refresh;
            ExpectFrameFromSignal(rig.Newest());
        }
    }
}

TEST(Framer, DefaultRecordingNumbersFramesFrom5000AndPublishesThem)
{
    CaptureRig rig;
    ASSERT_EQ(rig.Start(), 0);
    const uint32_t epoch = rig.Ring().WorkEpoch().load();
    WimDataResult r = rig.FeedBuffer();
    EXPECT_EQ(r.framesCut, 69);
    EXPECT_EQ(rig.Ring().WorkEpoch().load(), epoch + 1) << "one wake per call that published";
    const FrameRecord& first = rig.Ring()[0];
    EXPECT_EQ(first.index, 5000);
    EXPECT_EQ(first.fresh.load(), 1);
    EXPECT_EQ(first.analysed.load(), 0);
    ExpectFrameFromSignal(first);
    // The record after the newest, which the next frame overwrites, is
    // withdrawn from painting and smoothing.
    EXPECT_EQ(rig.Ring().WritePosition(), 69);
    EXPECT_EQ(rig.Ring()[69].analysed.load(), 0);
    EXPECT_EQ(rig.Ring()[70].analysed.load(), 1);

    r = rig.FeedBuffer();
    EXPECT_EQ(r.framesCut, 104);
    EXPECT_EQ(rig.Newest().index, 5000 + 69 + 104 - 1);
    ExpectFrameFromSignal(rig.Newest());
}

TEST(Framer, FewerSamplesThanAWindowAreHeldForTheNextBuffer)
{
    CaptureRig rig;
    ASSERT_EQ(rig.Start(200), 0);  // device buffers smaller than the framer's
    const uint32_t epoch = rig.Ring().WorkEpoch().load();
    WimDataResult r = rig.FeedBuffer();
    EXPECT_TRUE(r.ran && r.scroll);
    EXPECT_EQ(r.framesCut, 0);
    EXPECT_EQ(rig.framer.m_accumCount, 200);
    EXPECT_EQ(rig.Ring().WorkEpoch().load(), epoch) << "no frames, no wake";
    r = rig.FeedBuffer();
    EXPECT_EQ(r.framesCut, 1);
    EXPECT_EQ(rig.framer.m_accumCount, 389);
    ExpectFrameFromSignal(rig.Ring()[0]);
}

TEST(Framer, WrapFromTheLastSlotWithdrawsRecordZero)
{
    CaptureRig rig;
    ASSERT_EQ(rig.Start(), 0);
    rig.Ring().SetWritePosition(kRingSize - 69);
    EXPECT_EQ(rig.FeedBuffer().framesCut, 69);
    EXPECT_EQ(rig.Ring().WritePosition(), 0);
    EXPECT_EQ(rig.Ring()[kRingSize - 1].index, 5068);
    const FrameRecord& zero = rig.Ring()[0];
    EXPECT_EQ(zero.analysed.load(), 0);
    EXPECT_EQ(zero.drawn.load(), 0);
    EXPECT_EQ(zero.smoothed.load(), 0);
    EXPECT_EQ(zero.fresh.load(), 0);
    EXPECT_EQ(zero.index, 0) << "withdrawn, not written";
    EXPECT_EQ(rig.FeedBuffer().framesCut, 104);
    EXPECT_EQ(rig.Ring()[0].index, 5069);
}

// After about 25 and 50 days of recording the frame numbers pass 2^31 and
// 2^32 and keep rising by one, each still on its own stretch of sound.
TEST(Framer, FrameNumbersKeepRisingPastTwoAndFourBillion)
{
    for (const int64_t limit : {int64_t{1} << 31, int64_t{1} << 32}) {
        CaptureRig rig;
        rig.framer.m_frameCounter = limit - 100;
        ASSERT_EQ(rig.Start(), 0);
        ASSERT_EQ(rig.FeedBuffer().framesCut, 69);
        rig.TakeAll();
        ASSERT_EQ(rig.FeedBuffer().framesCut, 104);
        for (int32_t s = 0; s < 69 + 104; ++s) {
            const FrameRecord& r = rig.Ring()[s];
            ASSERT_EQ(r.index, limit - 100 + s) << "slot " << s;
            ASSERT_EQ(r.samples[0], CountingSample(s * 11)) << "slot " << s;
        }
        EXPECT_EQ(rig.framer.m_frameCounter, limit + 73);
    }
}

// A busy record at the write position, waiting for analysis or being read by
// the worker, stops the framer: the buffer goes back to the device, its
// samples are lost, the held samples stay and the picture does not move.
TEST(Framer, BusyRecordAtTheWritePositionDropsTheBuffer)
{
    for (const bool analysing : {false, true}) {
        CaptureRig rig;
        ASSERT_EQ(rig.Start(), 0);
        rig.FeedBuffer();
        ASSERT_EQ(rig.framer.m_accumCount, 385);
        FrameRecord& blocker = rig.Ring()[rig.Ring().WritePosition()];
        (analysing ? blocker.analysing : blocker.fresh).store(1);
        const int64_t indexBefore = blocker.index;
        const int queuedBefore = rig.source->queued;

        const WimDataResult r = rig.FeedBuffer();
        EXPECT_TRUE(r.ran);
        EXPECT_TRUE(r.ringFull);
        EXPECT_FALSE(r.scroll);
        EXPECT_EQ(r.framesCut, 0);
        EXPECT_EQ(rig.framer.m_accumCount, 385);
        EXPECT_EQ(blocker.index, indexBefore);
        EXPECT_EQ(rig.source->queued, queuedBefore + 1) << "the buffer is handed back";
        EXPECT_EQ(rig.framer.m_ringFullDrops, 1);

        // Once the worker lets go, framing resumes with the held samples
        // followed by the next buffer: the dropped buffer leaves a gap.
        (analysing ? blocker.analysing : blocker.fresh).store(0);
        const WimDataResult again = rig.FeedBuffer();
        EXPECT_EQ(again.framesCut, 104);
        const FrameRecord& resumed = rig.Ring()[69];
        EXPECT_EQ(resumed.index, 5069);
        EXPECT_EQ(resumed.samples[0], CountingSample(69 * 11));
        EXPECT_EQ(resumed.samples[385], CountingSample(2 * 1144)) << "continues after the lost buffer";
    }
}

// When the ring fills part-way through a buffer, the frames already cut stay,
// the picture scrolls by them, and framing later goes on from the next frame
// start instead of cutting the same samples twice.
TEST(Framer, RingFillingPartWayKeepsPictureAndFramesInStep)
{
    CaptureRig rig;
    ASSERT_EQ(rig.Start(), 0);
    rig.Ring()[10].fresh.store(1);
    const WimDataResult r = rig.FeedBuffer();
    EXPECT_TRUE(r.ringFull);
    EXPECT_TRUE(r.scroll);
    EXPECT_EQ(r.framesCut, 10);
    EXPECT_EQ(rig.framer.m_accumCount, 391);
    rig.Ring()[10].fresh.store(0);
    rig.FeedBuffer();
    const FrameRecord& next = rig.Ring()[10];
    EXPECT_EQ(next.index, 5010);
    EXPECT_EQ(next.samples[0], CountingSample(110));
    EXPECT_EQ(next.samples[390], CountingSample(500));
    EXPECT_EQ(next.samples[391], CountingSample(1144)) << "then the next buffer";
}

TEST(Framer, PauseAndStartKeepHeldSamplesNumberingAndPosition)
{
    CaptureRig rig;
    ASSERT_EQ(rig.Start(), 0);
    rig.FeedBuffer();
    rig.waveIn->Close();
    const WimDataResult late = rig.framer.OnWimData(*rig.waveIn, *rig.core);
    EXPECT_FALSE(late.ran) << "a notice after the pause is ignored";
    EXPECT_EQ(rig.framer.m_accumCount, 385);

    ASSERT_EQ(rig.Start(), 0);
    EXPECT_FALSE(rig.framer.OnWimData(*rig.waveIn, *rig.core).ran)
        << "a stale notice finds no filled buffer after the new start";
    const WimDataResult r = rig.FeedBuffer();
    EXPECT_EQ(r.framesCut, 104);
    EXPECT_EQ(rig.Ring()[69].index, 5069);
    ExpectFrameFromSignal(rig.Ring()[69]);
    ExpectFrameFromSignal(rig.Newest());
}

TEST(Framer, FailedRequeueStillFramesTheBufferThenIgnoresTheRest)
{
    CaptureRig rig;
    rig.source->failQueueAt = 6;  // four at the start, one after buffer 1, then a refusal
    ASSERT_EQ(rig.Start(), 0);
    rig.source->DeliverCounting(4 * 1144);  // all four buffers filled
    EXPECT_EQ(rig.HandleNotice().framesCut, 69);
    const WimDataResult r = rig.HandleNotice();
    EXPECT_TRUE(r.scroll);
    EXPECT_EQ(r.framesCut, 104);
    EXPECT_EQ(rig.waveIn->m_state, 0);
    EXPECT_EQ(rig.waveIn->m_isOpen, 0);
    EXPECT_FALSE(rig.HandleNotice().ran);
    EXPECT_FALSE(rig.HandleNotice().ran);
    EXPECT_EQ(rig.framer.m_frameCounter, 5000 + 69 + 104);
}

TEST(Framer, ChangingTheRefreshRateEmptiesHeldSamplesAndResetsTheRing)
{
    CaptureRig rig;
    ASSERT_EQ(rig.Start(), 0);
    rig.FeedBuffer();
    rig.waveIn->Close();
    rig.framer.m_refreshRate = 25;
    rig.framer.ComputeFraming(*rig.core);
    EXPECT_EQ(rig.framer.m_framesPerBuffer, 40);
    EXPECT_EQ(rig.framer.m_samplesPerBuffer, 440);
    EXPECT_EQ(rig.framer.m_accumCount, 0);
    EXPECT_EQ(rig.framer.m_frameCounter, 5000);
    EXPECT_EQ(rig.Ring().WritePosition(), 0);
    EXPECT_EQ(rig.Ring()[0].fresh.load(), 0);
}

// Refresh rates no dialog offers must neither divide by zero nor make
// buffers that hold no frame.
TEST(Framer, UnusableRefreshRatesStillFrame)
{
    for (const int refresh : {0, -3, 31, 2000}) {
        CaptureRig rig(refresh);
        EXPECT_GE(rig.framer.m_framesPerBuffer, 8) << refresh;
        ASSERT_EQ(rig.Start(), 0);
        int32_t frames = 0;
        for (int b = 0; b < 80; ++b) {
            frames += rig.FeedBuffer().framesCut;
            rig.TakeAll();
        }
        EXPECT_GT(frames, 0) << refresh;
        EXPECT_LT(rig.framer.m_accumCount, 392);
        ExpectFrameFromSignal(rig.Newest());
    }
}

}  // namespace
}  // namespace vocalume::testing
