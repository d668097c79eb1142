// The ring under load from both threads through the real framer: sound
// buffers cut into frames while the worker analyses them, mostly at the
// worker's pace, as live sound comes, and now and then in bursts that fill
// the ring, so that whole buffers are dropped and buffers are cut part way;
// framing changes reset the ring meanwhile. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "capture_rig.h"

namespace vocalume::testing {
namespace {

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
// Instrumented builds run many times slower: two bursts, one reset in the
// second, and no waiting for the worker to work off a full ring (minutes on
// a loaded machine); buffers are dropped until it has.
constexpr int32_t kBuffers = 200;
constexpr bool kWaitForBacklogs = false;
#else
constexpr int32_t kBuffers = 2000;
constexpr bool kWaitForBacklogs = true;
#endif
// Of every 100 buffers the last 60 come in a burst: more than the ring's
// 48 buffers' worth, so the ring fills. A reset comes in every third burst.
constexpr int32_t kCycle = 100;
constexpr int32_t kBurstFrom = 40;
constexpr int32_t kResetEvery = 3 * kCycle;
constexpr int32_t kResetAt = kCycle + kBurstFrom + 10;
// Short frames keep the run short; the protocol does not depend on them.
constexpr int32_t kWindowRefHz = 275;  // 11025 * 1.6 / 275: 64-sample frames

// Waits until `done` holds; false after two minutes, so that a stalled
// worker fails the test instead of hanging it. Sleeps rather than yields:
// the worker runs at a lower priority and must get the processor.
template <class Predicate>
bool WaitFor(Predicate done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

TEST(RingThreads, FramerAndWorkerKeepTheProtocolThroughFullRingsAndResets)
{
    CaptureRig rig;
    rig.framer.m_windowRefHz = kWindowRefHz;
    rig.framer.ComputeFraming(*rig.core);
    const int32_t window = rig.framer.m_windowLength;
    const int32_t hop = rig.framer.m_hop;
    ASSERT_EQ(window, 64);
    rig.core->undersampling = 4;  // mostly cheap copies: more frames a second
    rig.core->StartWorker();
    ASSERT_EQ(rig.Start(), 0);
    FrameRing& ring = rig.Ring();

    int64_t dropped = 0, cutPartWay = 0, checked = 0, paced = 0;
    for (int32_t b = 0; b < kBuffers; ++b) {
        const WimDataResult result = rig.FeedBuffer();
        ASSERT_TRUE(result.ran);
        ASSERT_LT(rig.framer.m_accumCount, window);
        if (result.ringFull) {
            ++(result.framesCut == 0 ? dropped : cutPartWay);
            ASSERT_EQ(result.scroll, result.framesCut > 0);
        }

        // Live pace: the next buffer comes once the newest frame is analysed,
        // which the worker serves first. The backlog a burst left is worked
        // off first where that is quick; until the record at the write
        // position is free, buffers are dropped.
        if (b % kCycle < kBurstFrom) {
            ++paced;
            if (kWaitForBacklogs && b % kCycle == 0) {
                ASSERT_TRUE(WaitFor([&] { return !ring.IsBusy(ring.WritePosition()); }))
                    << "the worker stalled on a backlog";
            }
            const int32_t newest = PrevSlot(ring.WritePosition());
            ASSERT_TRUE(WaitFor([&] { return ring[newest].analysed.load(std::memory_order_acquire) == 1; }))
                << "the worker stalled on frame " << ring[newest].index;
        }

        // As the painter would, walk back from the newest record: numbers fall
        // by one per slot; an analysed record holds the extremes of its own
        // samples (the framer never wrote under the worker); consecutive
        // frames overlap in the same samples, also where the ring filled.
        int32_t s = PrevSlot(ring.WritePosition());
        for (int32_t k = 0; k < 300; ++k, s = PrevSlot(s)) {
            const FrameRecord& r = ring[s];
            const FrameRecord& older = ring[PrevSlot(s)];
            if (r.index < 5000)
                break;  // a reset record: the frames since the reset end here
            if (older.index >= 5000) {
                ASSERT_EQ(older.index, r.index - 1);
                for (int32_t j = 0; j + hop < window; ++j)
                    ASSERT_EQ(r.samples[j], older.samples[j + hop]) << "frame " << r.index << " sample " << j;
            }
            const int32_t fresh = r.fresh.load(std::memory_order_acquire);
            const int32_t analysed = r.analysed.load(std::memory_order_acquire);
            ASSERT_TRUE(fresh == 0 || fresh == 1);
            ASSERT_TRUE(analysed == 0 || analysed == 1);
            if (analysed == 1 && fresh == 0) {
                const int16_t* span = r.samples + window / 2 - hop / 2;
                ASSERT_EQ(r.minSample, *std::min_element(span, span + hop)) << "frame " << r.index;
                ASSERT_EQ(r.maxSample, *std::max_element(span, span + hop)) << "frame " << r.index;
                ++checked;
            }
        }

        // A change of framing resets the ring while the worker is busy.
        if (b % kResetEvery == kResetAt)
            rig.framer.ComputeFraming(*rig.core);
    }
    rig.waveIn->Close();
    rig.core->Shutdown();
    EXPECT_GE(checked, paced) << "at least the newest frame is checked at live pace";
    EXPECT_GT(dropped, 0) << "the bursts must drop whole buffers at a full ring";
    EXPECT_GT(cutPartWay, 0) << "the bursts must fill the ring part way through a buffer";
    RecordProperty("buffers_dropped", static_cast<int>(dropped));
    RecordProperty("buffers_cut_part_way", static_cast<int>(cutPartWay));
}

}  // namespace
}  // namespace vocalume::testing
