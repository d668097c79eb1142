// Cost of the frame analysis: the program's own code next to the plain
// transcription it must equal bit for bit, on speech-like frames of 392
// samples. Run once and read the counters: "us_per_frame" on every case and
// "ratio" (plain / program) on the full analysis.
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstring>
#include <memory>
#include <vector>

#include "analysis_worker.h"
#include "frame_analyser.h"
#include "frame_ring.h"
#include "reference_analysis.h"
#include "signals.h"
#include "simd_kernels.h"
#include "signal_kernels.h"

namespace {

using namespace vocalume;

constexpr int32_t kN = 392;
constexpr int32_t kHop = 11;
constexpr int kFrames = 512;  // distinct frames cycled through

// Frames cut from speech-like material every hop, as the framer cuts them.
const std::vector<int16_t>& Material()
{
    static const std::vector<int16_t> samples = testing::SpeechLike(kN + kHop * kFrames * 8, 20240611u);
    return samples;
}

const int16_t* Frame(int i)
{
    return Material().data() + static_cast<size_t>(i % kFrames) * kHop * 8;
}

void Load(FrameRecord& r, const int16_t* x)
{
    std::memcpy(r.samples, x, sizeof(int16_t) * kN);
    r.nsamples = kN;
    r.nspan = kHop;
}

void Publish(FrameRecord& r)
{
    r.fresh.store(1, std::memory_order_release);
    r.analysed.store(0, std::memory_order_relaxed);
}

// Plain per-frame time, independent of how many iterations the library ran.
void ReportPerFrame(benchmark::State& state)
{
    state.counters["us_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 1e-6,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Chooses the kernel build named by the benchmark's argument: 0 portable,
// 1 SSE2, 2 AVX2; false (and the case skipped) when this program or
// processor lacks it.
bool UseBuild(benchmark::State& state)
{
    const auto level = static_cast<simd::Level>(state.range(0));
    if (level > simd::BestLevel()) {
        state.SkipWithError("this build or processor lacks these kernels");
        return false;
    }
    simd::UseLevel(level);
    return true;
}

void BM_AnalyseFrame_Reference(benchmark::State& state)
{
    auto record = std::make_unique<FrameRecord>();
    LevelTrackers trackers;
    int i = 0;
    for (auto _ : state) {
        Load(*record, Frame(i++));
        reference::AnalyseInFull(*record, trackers);
        benchmark::DoNotOptimize(record->cepsRatio);
    }
    ReportPerFrame(state);
}

// Full analysis (R = 1) of one fresh slot of a ring.
void BM_AnalyseFrame_Production(benchmark::State& state)
{
    auto ring = std::make_unique<FrameRing>();
    auto analyser = std::make_unique<AnalyserState>();
    LevelTrackers trackers;
    const int32_t slot = 100;
    int i = 0;
    for (auto _ : state) {
        FrameRecord& r = (*ring)[slot];
        Load(r, Frame(i++));
        Publish(r);
        AnalyseFrame(*ring, trackers, *analyser, 1, slot);
        benchmark::DoNotOptimize(r.cepsRatio);
    }
    ReportPerFrame(state);
}

// The undersampling copy: slot 100 with R = 3 copies from the analysed slot 101.
void BM_AnalyseFrame_Copy(benchmark::State& state)
{
    auto ring = std::make_unique<FrameRing>();
    auto analyser = std::make_unique<AnalyserState>();
    LevelTrackers trackers;
    FrameRecord& newer = (*ring)[101];
    Load(newer, Frame(7));
    Publish(newer);
    AnalyseFrame(*ring, trackers, *analyser, 1, 101);
    const int32_t slot = 100;
    int i = 0;
    for (auto _ : state) {
        FrameRecord& r = (*ring)[slot];
        Load(r, Frame(i++));
        Publish(r);
        AnalyseFrame(*ring, trackers, *analyser, 3, slot);
        benchmark::DoNotOptimize(r.spectrum[0]);
    }
    ReportPerFrame(state);
}

void BM_RealFFT512(benchmark::State& state)
{
    std::vector<float> data(512);
    std::vector<float> work(512);
    const int16_t* x = Frame(3);
    for (int i = 0; i < 512; ++i)
        data[static_cast<size_t>(i)] = i < kN ? static_cast<float>(x[i]) : 0.0f;
    if (!UseBuild(state))
        return;
    for (auto _ : state) {
        std::memcpy(work.data(), data.data(), sizeof(float) * 512);
        RealFFT(work.data(), 256, 1);
        benchmark::DoNotOptimize(work[7]);
    }
    ReportPerFrame(state);
    simd::UseLevel(simd::BestLevel());
}

void BM_NormAutocorr(benchmark::State& state)
{
    float out[kLagMax + 1];
    int i = 0;
    for (auto _ : state) {
        const int16_t* x = Frame(i++);
        const int32_t lag = state.range(0) == 0 ? reference::NormAutocorr(x, kN, out, kLagMin, kLagMax)
                                                : NormAutocorr(x, kN, out, kLagMin, kLagMax);
        benchmark::DoNotOptimize(lag);
    }
    ReportPerFrame(state);
}

void BM_SmoothFrame(benchmark::State& state)
{
    auto ring = std::make_unique<FrameRing>();
    for (int32_t s = 0; s < 20; ++s) {
        FrameRecord& r = (*ring)[s];
        r.nbins = 256;
        for (int k = 0; k < 256; ++k)
            r.spectrum[k] = static_cast<float>(-60.0 + 0.37 * k + 1.3 * s);
    }
    for (auto _ : state) {
        SmoothFrame(*ring, 10);
        benchmark::DoNotOptimize((*ring)[10].smoothSpectrum[5]);
    }
    ReportPerFrame(state);
}

// Processor time used so far: on a shared machine the wall clock also counts
// the time other programs held the processor.
double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Reference and program timed back to back so the ratio comes from one run;
// the argument chooses the kernel build (see UseBuild).
void BM_AnalyseFrame_Ratio(benchmark::State& state)
{
    if (!UseBuild(state))
        return;
    auto ring = std::make_unique<FrameRing>();
    auto analyser = std::make_unique<AnalyserState>();
    auto record = std::make_unique<FrameRecord>();
    LevelTrackers trackers, refTrackers;
    const int32_t slot = 100;
    double refSeconds = 0.0, prodSeconds = 0.0;
    int i = 0;
    for (auto _ : state) {
        constexpr int kBatch = 64;
        const double t0 = CpuSeconds();
        for (int k = 0; k < kBatch; ++k) {
            Load(*record, Frame(i + k));
            reference::AnalyseInFull(*record, refTrackers);
            benchmark::DoNotOptimize(record->cepsRatio);
        }
        const double t1 = CpuSeconds();
        for (int k = 0; k < kBatch; ++k) {
            FrameRecord& r = (*ring)[slot];
            Load(r, Frame(i + k));
            Publish(r);
            AnalyseFrame(*ring, trackers, *analyser, 1, slot);
            benchmark::DoNotOptimize(r.cepsRatio);
        }
        const double t2 = CpuSeconds();
        i += kBatch;
        refSeconds += t1 - t0;
        prodSeconds += t2 - t1;
    }
    const double frames = static_cast<double>(state.iterations()) * 64;
    state.counters["reference_us"] = refSeconds / frames * 1e6;
    state.counters["production_us"] = prodSeconds / frames * 1e6;
    state.counters["ratio"] = refSeconds / prodSeconds;
    simd::UseLevel(simd::BestLevel());
}

}  // namespace

BENCHMARK(BM_AnalyseFrame_Ratio)->ArgName("build")->Arg(0)->Arg(1)->Arg(2)->MinTime(1.0);
BENCHMARK(BM_AnalyseFrame_Reference);
BENCHMARK(BM_AnalyseFrame_Production);
BENCHMARK(BM_AnalyseFrame_Copy);
BENCHMARK(BM_RealFFT512)->ArgName("build")->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_NormAutocorr)->ArgName("program")->Arg(0)->Arg(1);
BENCHMARK(BM_SmoothFrame);

BENCHMARK_MAIN();
