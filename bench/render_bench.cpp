// The whole render of 60 s of speech-like sound at undersampling 1 (every
// frame analysed in full), next to the same run with painting left out, so
// that the share of the picture itself can be read off one run; the frame
// table alone; and opening the same file in the program (the whole analysis
// with every column's description kept, at the program's settings and at
// undersampling 1). Each on the calling thread alone and on every core, in
// wall time, with the time per frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "memory_source.h"
#include "renderer.h"

namespace {

// Syllables of a voice gliding between 100 and 220 Hz with changing vowel
// colour, hissed consonants between them and short pauses.
std::vector<int16_t> SpeechLike(double seconds)
{
    const int rate = 11025;
    const int count = static_cast<int>(seconds * rate);
    std::vector<int16_t> out(static_cast<size_t>(count));
    uint32_t noise = 12345;
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double syllable = std::fmod(t, 0.4);  // 2.5 syllables a second
        double v = 0;
        if (syllable < 0.06) {
            noise = noise * 1664525u + 1013904223u;
            v = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.3;
        } else if (syllable < 0.33) {
            const double pitch = 160 + 60 * std::sin(2 * std::numbers::pi * 0.3 * t);
            phase += 2 * std::numbers::pi * pitch / rate;
            const double formant = 500 + 400 * std::sin(2 * std::numbers::pi * 0.7 * t);
            for (int k = 1; k * pitch < 4000; ++k) {
                const double f = k * pitch;
                const double lift = 1 + 2 * std::exp(-std::pow((f - formant) / 250, 2));
                v += lift / k * std::sin(k * phase);
            }
            v *= 0.15;
        }
        out[static_cast<size_t>(i)] = static_cast<int16_t>(std::lround(8000 * v));
    }
    return out;
}

void WriteMonoWav(const std::string& path, const std::vector<int16_t>& samples)
{
    auto put32 = [](std::FILE* f, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            std::fputc(static_cast<int>((v >> (8 * i)) & 0xff), f);
    };
    auto put16 = [](std::FILE* f, uint16_t v) {
        std::fputc(v & 0xff, f);
        std::fputc(v >> 8, f);
    };
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return;
    std::fputs("RIFF", f);
    put32(f, 36 + bytes);
    std::fputs("WAVEfmt ", f);
    put32(f, 16);
    put16(f, 1);
    put16(f, 1);
    put32(f, 11025);
    put32(f, 11025 * 2);
    put16(f, 2);
    put16(f, 16);
    std::fputs("data", f);
    put32(f, bytes);
    for (int16_t s : samples)
        put16(f, static_cast<uint16_t>(s));
    std::fclose(f);
}

const std::string& SpeechFile()
{
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / "vocalume-render-bench-60s.wav").string();
        WriteMonoWav(p, SpeechLike(60.0));
        return p;
    }();
    return path;
}

// Counters: the frames analysed, and frames a second of wall time (a
// million over it: the microseconds a frame costs).
void CountFrames(benchmark::State& state, int64_t frames)
{
    state.counters["frames"] = static_cast<double>(frames);
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate);
}

// The tool's jobs, each on one thread (argument 1) and on every core (0).
void Render(benchmark::State& state, bool paint, bool whole, bool table = false)
{
    vocalume::RenderOptions options;
    options.input = SpeechFile();
    options.sampling = 1;
    options.paint = paint;
    options.whole = whole || table;
    options.frameTable = table;
    options.threads = static_cast<int32_t>(state.range(0));
    int64_t frames = 0;
    for (auto _ : state) {
        vocalume::RenderedPicture picture;
        const std::string problem = vocalume::RenderSoundFile(options, picture);
        if (!problem.empty())
            state.SkipWithError(problem.c_str());
        benchmark::DoNotOptimize(picture.rgb.data());
        frames = picture.frames;
    }
    CountFrames(state, frames);
}

void BM_Render60sSpeech(benchmark::State& state) { Render(state, true, false); }
void BM_Render60sSpeechWhole(benchmark::State& state) { Render(state, true, true); }
void BM_Analysis60sSpeech(benchmark::State& state) { Render(state, false, false); }
// The frame table alone (--csv): the analysis, the pitch, no picture.
void BM_FrameTable60sSpeech(benchmark::State& state) { Render(state, false, true, true); }

// File > Open recording: the analysis the program runs in the background,
// with the settings of a view (`sampling` 0: the view's default).
void Open(benchmark::State& state, int32_t sampling)
{
    vocalume::MemorySettingsStore store;
    if (sampling > 0)
        store.WriteProfileInt("config", "sampling", sampling);
    auto core = std::make_unique<vocalume::AnalysisCore>();
    vocalume::CAnalysisView view(store, *core, std::make_unique<vocalume::MemorySoundSource>(std::vector<int16_t>{}),
                                 vocalume::ViewOptions{false});
    vocalume::AnalysisOptions options = vocalume::WholeAnalysisOptions(view);
    options.session = true;
    options.threads = static_cast<int32_t>(state.range(0));
    int64_t frames = 0;
    for (auto _ : state) {
        vocalume::RenderedPicture opened;
        const std::string problem = vocalume::AnalyseSoundFile(SpeechFile(), options, opened);
        if (!problem.empty() || !opened.session)
            state.SkipWithError(problem.c_str());
        else
            frames = opened.session->EndFrame();
    }
    CountFrames(state, frames);
}

void BM_OpenRecording60sSpeech(benchmark::State& state) { Open(state, 0); }
void BM_OpenRecording60sSpeechSampling1(benchmark::State& state) { Open(state, 1); }

// Argument: threads (1: the calling thread alone; 0: every core).
BENCHMARK(BM_Render60sSpeech)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Arg(1)->Arg(0);
BENCHMARK(BM_Render60sSpeechWhole)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Arg(1)->Arg(0);
BENCHMARK(BM_Analysis60sSpeech)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Arg(1)->Arg(0);
BENCHMARK(BM_FrameTable60sSpeech)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Arg(1)->Arg(0);
BENCHMARK(BM_OpenRecording60sSpeech)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime()->Arg(1)->Arg(0);
BENCHMARK(BM_OpenRecording60sSpeechSampling1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime()
    ->Arg(1)
    ->Arg(0);

}  // namespace

BENCHMARK_MAIN();
