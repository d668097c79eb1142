// The coach at Pause: a take reviewed against its model (both measured,
// aligned and scored), for a 5 s take (target: within 100 ms) and for a 30 s
// take against a 30 s model (target: at most 200 ms and 100 MB). The
// counters give the grid cells compared and the bytes the review holds at
// its peak: both takes' features, the compared steps and the path table.
// What the window itself does at Pause is measured apart: the take copied out
// of the session and handed to the review's own thread; the counter
// until_done_ms is how long after that the review is ready to be shown.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "pitch_tracker.h"
#include "recording_format.h"
#include "session_history.h"
#include "synthetic_speech.h"
#include "take_review.h"

namespace vocalume {
namespace {

using testing::Rendition;
using testing::SpeechSound;

// About `seconds` of speech-like sentence: vowels with a wandering melody,
// hisses and pauses in a fixed pattern.
std::vector<SpeechSound> Sentence(double seconds)
{
    static const double kVowels[][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {300, 870, 2240},
                                        {530, 1840, 2480}, {570, 840, 2410},  {660, 1720, 2410}};
    std::vector<SpeechSound> sentence{{0.2}};
    double length = 0.2, pitch = 120.0;
    for (int i = 0; length < seconds; ++i) {
        const double* f = kVowels[(i * 5) % 6];
        const double next = 100.0 + 40.0 * (1.0 + std::sin(i * 0.7));
        sentence.push_back({0.12 + 0.02 * (i % 4), f[0], f[1], f[2], pitch, next});
        pitch = next;
        sentence.push_back(i % 3 == 2 ? SpeechSound{0.1} : SpeechSound{0.07, i % 2 ? 3800.0 : 2600.0});
        length += sentence[sentence.size() - 2].seconds + sentence.back().seconds;
    }
    return sentence;
}

TakeSound Take(std::vector<int16_t> samples)
{
    TakeSound take;
    take.frames = PitchFramesIn(static_cast<int64_t>(samples.size()));
    for (const PitchEstimate& p : TrackPitch(samples.data(), samples.size(), take.frames))
        take.pitchHz.push_back(p.voiced ? p.f0Hz : 0.0f);
    take.sound = std::move(samples);
    return take;
}

void ReviewOf(benchmark::State& state, double seconds)
{
    const std::vector<SpeechSound> sentence = Sentence(seconds);
    Rendition imitation;
    for (size_t i = 0; i < sentence.size(); ++i)
        imitation.stretch.push_back(i < sentence.size() / 2 ? 1.25 : 0.8);
    imitation.pitchScale = std::exp2(1.5 / 12.0);
    imitation.resonanceScale = 1.08;
    const TakeSound model = Take(testing::Say(sentence)), take = Take(testing::Say(sentence, imitation));
    for (auto _ : state) {
        TakeReview review = ReviewTake(take, model);
        benchmark::DoNotOptimize(review.scores.pitchCents);
    }
    // What a review holds at its peak, measured once.
    const VoiceFeatures a = MeasureVoice(take), m = MeasureVoice(model);
    AlignmentCost cost;
    AlignTake(a, m, cost);
    const double features = static_cast<double>((a.spectrum.size() + m.spectrum.size()) * sizeof(float));
    state.counters["take_s"] = static_cast<double>(take.frames) * take.hop / static_cast<double>(kRecordingRate);
    state.counters["cells"] = static_cast<double>(cost.cells);
    state.counters["peak_MB"] = (features + static_cast<double>(cost.tableBytes + cost.trackBytes)) / 1e6;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["process_max_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The window's part of a Pause with a model: the 5 s take copied out of a
// session (sound and pitch) and its review begun on a thread of its own; the
// model's copy is made once for every take against it. Timed: the window's
// part alone; the wall time until the review is done is a counter.
void BM_PauseHandsTheTakeOver5s(benchmark::State& state)
{
    const std::vector<SpeechSound> sentence = Sentence(5.0);
    Rendition imitation;
    imitation.stretch.assign(sentence.size(), 1.1);
    const TakeSound spoken = Take(testing::Say(sentence, imitation));
    SessionHistory session(30);
    session.BeginEra(0);
    session.Recorded(spoken.sound.data(), static_cast<int32_t>(spoken.sound.size()), spoken.frames);
    for (int64_t f = 0; f < spoken.frames; ++f)
        session.SetPitch(f, spoken.pitchHz[static_cast<size_t>(f)]);
    const auto model = std::make_shared<const TakeSound>(Take(testing::Say(sentence)));
    double untilDone = 0.0;
    for (auto _ : state) {
        const auto paused = std::chrono::steady_clock::now();
        TakeReviewJob job(CopyTake(session, session.FirstFrame(), session.EndFrame()), model);
        const auto handedOver = std::chrono::steady_clock::now();
        while (!job.Done())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        untilDone += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - handedOver).count();
        state.SetIterationTime(std::chrono::duration<double>(handedOver - paused).count());
        benchmark::DoNotOptimize(job.Result().scores.pitchCents);
    }
    state.counters["take_s"] = static_cast<double>(session.EndFrame() - session.FirstFrame()) * kFrameHop /
                               static_cast<double>(kRecordingRate);
    state.counters["until_done_ms"] = untilDone / static_cast<double>(state.iterations());
}
BENCHMARK(BM_PauseHandsTheTakeOver5s)->UseManualTime()->Iterations(20)->Unit(benchmark::kMicrosecond);

void BM_ReviewTake5s(benchmark::State& state) { ReviewOf(state, 5.0); }
BENCHMARK(BM_ReviewTake5s)->Unit(benchmark::kMillisecond);

void BM_ReviewTake30s(benchmark::State& state) { ReviewOf(state, 30.0); }
BENCHMARK(BM_ReviewTake30s)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vocalume

BENCHMARK_MAIN();
