// The model lane's share of recording: at every paint (ten a second at the
// default refresh rate) the lane scrolls by a buffer's 104 frames and draws
// only those columns, and the shown picture is composed from the two lanes.
// Target: the two together well under 1 ms a paint, that is under 1 % of a
// core.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "model_lane.h"
#include "session_history.h"
#include "speech_like_column.h"

namespace vocalume {
namespace {

constexpr int32_t kFramesPerBuffer = 104;

// A minute of model, every column voiced with beams, a trace and markers.
SessionHistory VoicedModel()
{
    SessionHistory model(5);
    model.BeginEra(0);
    const int64_t frames = 60 * 11025 / 11;
    const std::vector<int16_t> sound(static_cast<size_t>(frames) * 11, 1000);
    model.Recorded(sound.data(), static_cast<int32_t>(sound.size()), frames);
    for (int64_t f = 0; f < frames; ++f) {
        model.Keep(f, SpeechLikeColumn(f));
    }
    return model;
}

// One paint of a 700 x 460 client area while recording: the model lane
// (229 rows) moves on by a buffer, and both lanes are copied into the shown
// picture.
void BM_ModelLanePaint700x460(benchmark::State& state)
{
    const LaneSplit split = SplitLanes(460);
    ModelLane lane;
    lane.Set(VoicedModel(), "model", "");
    lane.Resize(700, split.upper);
    lane.TakeBegins(0);
    const std::vector<uint8_t> session(700 * 3 * static_cast<size_t>(split.lower), 7);
    std::vector<uint8_t> shown(700 * 3 * 460);
    int64_t right = 700;
    lane.Show(right, ColumnStyle{});
    for (auto _ : state) {
        right += kFramesPerBuffer;
        if (right > 50000)
            right = 700;
        lane.Show(right, ColumnStyle{});
        std::memcpy(shown.data(), lane.Surface().Pixels(), lane.Surface().Stride() * split.upper);
        std::memcpy(shown.data() + 700 * 3 * (split.upper + 1), session.data(), session.size());
        benchmark::DoNotOptimize(shown.data());
    }
}
BENCHMARK(BM_ModelLanePaint700x460)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vocalume

BENCHMARK_MAIN();
