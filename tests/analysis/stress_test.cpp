// The ring under load from both threads: a framer that publishes frames and
// stops at busy records, a painter that reads what is analysed, the worker,
// and resets through the safe operation. Run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "analysis_worker.h"
#include "signals.h"

namespace vocalume {
namespace {

// Small frames keep the run short; the protocol does not depend on their
// length. Most buffers come at the worker's pace, as live sound does; every
// so often a burst outruns it until the ring is full.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
// Instrumented builds run many times slower: two bursts and one reset.
constexpr int64_t kFrames = 16000;
constexpr int64_t kBurstEvery = 8000;
constexpr int64_t kResetEvery = 9000;
#else
constexpr int64_t kFrames = 1000000;
constexpr int64_t kBurstEvery = 50000;
constexpr int64_t kResetEvery = 250000;
#endif
constexpr int32_t kWindow = 64;
constexpr int64_t kBurstLength = 7000;

// The sample pattern of frame `index`: its centred span tells which frame
// the analysis saw.
int16_t SampleOf(int32_t index, int32_t i) { return static_cast<int16_t>((index * 7 + i) % 20000 - 10000); }

TEST(RingThreads, FramerWorkerPainterAndResetsKeepTheProtocol)
{
    auto core = std::make_unique<AnalysisCore>();
    int64_t frameCounter = 0;
    core->SafeReset(frameCounter, BinCountFor(kWindow));
    core->undersampling = 2;
    core->StartWorker();

    int64_t published = 0, stops = 0, checked = 0;
    int32_t lastIndex = -1;
    while (published < kFrames) {
        // Framer: one buffer's worth of frames, stopping at a busy record.
        int32_t cut = 0;
        for (; cut < 104; ++cut) {
            const int32_t p = core->ring.WritePosition();
            if (core->ring.IsBusy(p)) {
                ++stops;
                break;
            }
            FrameRecord& r = core->ring[p];
            for (int32_t i = 0; i < kWindow; ++i)
                r.samples[i] = SampleOf(frameCounter, i);
            r.nsamples = kWindow;
            r.nspan = 11;
            r.index = frameCounter++;
            r.analysed.store(0, std::memory_order_relaxed);
            r.drawn.store(0, std::memory_order_relaxed);
            r.smoothed.store(0, std::memory_order_relaxed);
            r.fresh.store(1, std::memory_order_release);
            const int32_t next = NextSlot(p);
            core->ring.SetWritePosition(next);
            FrameRecord& oldest = core->ring[next];
            oldest.analysed.store(0, std::memory_order_relaxed);
            oldest.drawn.store(0, std::memory_order_relaxed);
            oldest.smoothed.store(0, std::memory_order_relaxed);
            ++published;
        }
        if (cut > 0)
            core->WakeWorker();
        const int64_t phase = published % kBurstEvery;
        if (phase > kBurstLength && phase - cut <= kBurstLength) {
            // The burst is over: let the worker work off the whole backlog.
            for (int32_t k = 0; k < kRingSize; ++k)
                while (core->ring[k].fresh.load(std::memory_order_acquire) == 1)
                    std::this_thread::yield();
        } else if (phase > kBurstLength) {
            const int32_t newest = PrevSlot(core->ring.WritePosition());
            while (core->ring[newest].analysed.load(std::memory_order_acquire) == 0)
                std::this_thread::yield();
        }

        // Painter: walk back from the newest record; analysed records must
        // hold the results of their own samples, indices fall by one per slot.
        const int32_t w = core->ring.WritePosition();
        int32_t s = PrevSlot(w);
        int32_t newer = -1;
        for (int32_t k = 0; k < 300; ++k, s = PrevSlot(s)) {
            FrameRecord& r = core->ring[s];
            const int32_t fresh = r.fresh.load(std::memory_order_acquire);
            const int32_t analysed = r.analysed.load(std::memory_order_acquire);
            ASSERT_TRUE(fresh == 0 || fresh == 1);
            ASSERT_TRUE(analysed == 0 || analysed == 1);
            if (newer >= 5000 && r.index >= 5000) {
                ASSERT_EQ(r.index, newer - 1);
            }
            newer = r.index;
            if (analysed == 1 && fresh == 0 && r.index >= 5000) {
                int32_t lo = 32768, hi = -32768;
                for (int32_t i = kWindow / 2 - 5; i < kWindow / 2 + 6; ++i) {
                    lo = std::min<int32_t>(lo, SampleOf(r.index, i));
                    hi = std::max<int32_t>(hi, SampleOf(r.index, i));
                }
                ASSERT_EQ(r.minSample, lo) << "slot " << s << " index " << r.index;
                ASSERT_EQ(r.maxSample, hi) << "slot " << s << " index " << r.index;
                r.drawn.store(1, std::memory_order_relaxed);
                ++checked;
            }
        }
        ASSERT_GT(core->ring[PrevSlot(w)].index, lastIndex - 1);
        lastIndex = core->ring[PrevSlot(w)].index;

        // Now and then the framing changes: a reset that must not overlap the
        // worker's work on a record.
        if (published % kResetEvery < 104 && published > 104) {
            core->SafeReset(frameCounter, BinCountFor(kWindow));
            lastIndex = -1;
        }
    }
    core->EndWorker();
    EXPECT_GT(checked, kFrames / 10);
    EXPECT_GT(stops, 0) << "the bursts must drive the ring full";
    RecordProperty("ring_full_stops", static_cast<int>(stops));
}

}  // namespace
}  // namespace vocalume
