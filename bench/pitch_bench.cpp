// Cost of the pitch tracker per frame, next to the frame analysis the
// picture needs, timed back to back in one run on the same speech-like
// stream: "pitch_us" and "analysis_us" per frame and "ratio" (pitch /
// analysis). The tracker is fed 11 samples a frame, as the stream arrives:
// the live line's tracker (argument 0) and a whole sound's (1), which a file
// is read with.
// Times are the thread's processor time, so that other work on a shared
// machine does not count.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cstring>
#include <memory>
#include <vector>

#include "frame_analyser.h"
#include "frame_ring.h"
#include "pitch_tracker.h"
#include "signals.h"

namespace {

using namespace vocalume;

constexpr int32_t kN = 392;
constexpr int32_t kHop = 11;
constexpr int kStreamFrames = 20000;

double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

const std::vector<int16_t>& Stream()
{
    static const std::vector<int16_t> samples =
        testing::SpeechLike(kN + kHop * kStreamFrames + PitchTracker::kLoudestAhead, 20261207u);
    return samples;
}

void BM_PitchTracker_VsAnalysis(benchmark::State& state)
{
    const std::vector<int16_t>& x = Stream();
    auto ring = std::make_unique<FrameRing>();
    auto analyser = std::make_unique<AnalyserState>();
    LevelTrackers trackers;
    const auto reach = state.range(0) == 0 ? PitchTracker::Reach::Live : PitchTracker::Reach::WholeSound;
    auto tracker = std::make_unique<PitchTracker>(PitchTracker::Sums::Running, reach);
    std::vector<PitchEstimate> out;
    out.reserve(PitchTracker::kLongestWait + 1024);
    const int32_t slot = 100;
    double pitchSeconds = 0.0, analysisSeconds = 0.0;
    int64_t frame = 0;
    bool primed = false;
    for (auto _ : state) {
        constexpr int kBatch = 64;
        if (frame + kBatch >= kStreamFrames) {
            // Round again on a fresh tracker, primed outside the timing.
            tracker = std::make_unique<PitchTracker>(PitchTracker::Sums::Running, reach);
            frame = 0;
            primed = false;
        }
        // A whole sound hears 4 s ahead before it analyses a frame: that
        // much is pushed beforehand too, so that each timed push analyses one.
        const int32_t ahead = reach == PitchTracker::Reach::WholeSound ? PitchTracker::kLoudestAhead : 0;
        if (!primed) {
            tracker->Push(x.data(), static_cast<size_t>(kN + ahead), out);
            primed = true;
        }
        out.clear();
        const double t0 = ThreadSeconds();
        for (int k = 0; k < kBatch; ++k)
            tracker->Push(x.data() + kN + ahead + (frame + k) * kHop, kHop, out);
        benchmark::DoNotOptimize(out.data());
        const double t1 = ThreadSeconds();
        for (int k = 0; k < kBatch; ++k) {
            FrameRecord& r = (*ring)[slot];
            std::memcpy(r.samples, x.data() + (frame + k) * kHop, sizeof(int16_t) * kN);
            r.nsamples = kN;
            r.nspan = kHop;
            r.fresh.store(1, std::memory_order_release);
            r.analysed.store(0, std::memory_order_relaxed);
            AnalyseFrame(*ring, trackers, *analyser, 1, slot);
            benchmark::DoNotOptimize(r.cepsRatio);
        }
        const double t2 = ThreadSeconds();
        frame += kBatch;
        pitchSeconds += t1 - t0;
        analysisSeconds += t2 - t1;
    }
    const double frames = static_cast<double>(state.iterations()) * 64;
    state.counters["pitch_us"] = pitchSeconds / frames * 1e6;
    state.counters["analysis_us"] = analysisSeconds / frames * 1e6;
    state.counters["ratio"] = pitchSeconds / analysisSeconds;
}

// A provisional ending, as the program gives the newest frames while the
// pitch line is on at refresh rates of 20 and more (once a buffer) and at
// every pause: a copy of a running tracker settled to the end of the sound.
void BM_PitchTracker_ProvisionalEnding(benchmark::State& state)
{
    const std::vector<int16_t>& x = Stream();
    PitchTracker tracker;
    std::vector<PitchEstimate> out;
    const int64_t samples = kN + kHop * 5000;
    tracker.Push(x.data(), static_cast<size_t>(samples), out);
    for (auto _ : state) {
        PitchTracker ending = tracker;
        out.clear();
        ending.Finish(PitchFramesIn(samples), out);
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK(BM_PitchTracker_VsAnalysis)->Arg(0)->Arg(1)->MinTime(1.0);
BENCHMARK(BM_PitchTracker_ProvisionalEnding)->Unit(benchmark::kMicrosecond);
