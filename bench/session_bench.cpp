// Looking back: one step through the session redraws the whole 700 x 500
// picture from kept column descriptions (target well under 5 ms), and the
// memory a minute of session takes, sound included (target under 4 MB).
// The pitch line over a 700 x 500 picture: what composing the shown picture
// adds to every paint while the line is on (target under 1 ms, so that ten
// paints a second cost under 1 % of a core). Handing out the sound of a
// 30-minute session (what P, Save recording and Export do on the window's
// thread) against copying it, as P once did (target: a thousandth of it).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "pitch_line.h"
#include "session_history.h"
#include "session_picture.h"
#include "speech_like_column.h"

namespace vocalume {
namespace {

constexpr int32_t kHop = 11;
constexpr int32_t kFramesPerBuffer = 104;

// `seconds` of session in buffers of 104 frames, each column voiced with
// beams, a trace, ticks and markers, as speech leaves them.
void Record(SessionHistory& session, int32_t seconds)
{
    session.BeginEra(5000);
    std::vector<int16_t> sound(kFramesPerBuffer * kHop, 1000);
    int64_t index = 5000;
    const int64_t buffers = static_cast<int64_t>(seconds) * 11025 / (kFramesPerBuffer * kHop);
    for (int64_t b = 0; b < buffers; ++b) {
        session.Recorded(sound.data(), static_cast<int32_t>(sound.size()), index + kFramesPerBuffer);
        for (int32_t f = 0; f < kFramesPerBuffer; ++f, ++index) {
            ColumnDescription c = SpeechLikeColumn(index);
            if (index % 100 == 0)
                c.flags |= ColumnDescription::kTick;
            session.Keep(index, c);
        }
    }
}

void BM_LookBackStep700x500(benchmark::State& state)
{
    SessionHistory session(5);
    Record(session, 60);
    ColumnSurface surface(700, 500);
    int64_t right = session.EndFrame() - 1;
    for (auto _ : state) {
        right -= 70;  // a tenth of the window, as an arrow key moves
        if (right < session.FirstFrame() + 700)
            right = session.EndFrame() - 1;
        DrawSessionPicture(session, right, ColumnStyle{}, surface);
        benchmark::DoNotOptimize(surface.Pixels());
    }
}
BENCHMARK(BM_LookBackStep700x500)->Unit(benchmark::kMillisecond);

void BM_ComposePitchLine700x500(benchmark::State& state)
{
    SessionHistory session(5);
    Record(session, 10);
    // A voice gliding up and down, with pauses.
    for (int64_t f = session.FirstFrame(); f < session.EndFrame(); ++f)
        session.SetPitch(f, f % 3000 < 2500 ? static_cast<float>(150.0 + 60.0 * std::sin(f * 0.002)) : 0.0f);
    ColumnSurface surface(700, 500);
    const int64_t right = session.EndFrame() - 1;
    DrawSessionPicture(session, right, ColumnStyle{}, surface);
    std::vector<uint8_t> shown;
    std::vector<PitchEstimate> columns;
    for (auto _ : state) {
        // As the view composes it: a copy of the retained picture, one
        // estimate per column from the session, the line.
        shown.assign(surface.Pixels(), surface.Pixels() + surface.Stride() * 500);
        columns.assign(700, PitchEstimate{});
        for (int32_t x = 0; x < 700; ++x) {
            const float f0 = session.Pitch(right - (699 - x));
            columns[static_cast<size_t>(x)] = PitchEstimate{f0, f0 > 0.0f};
        }
        DrawPitchLine(PixelImage{shown.data(), 700, 500, surface.Stride()}, columns.data());
        benchmark::DoNotOptimize(shown.data());
    }
}
BENCHMARK(BM_ComposePitchLine700x500)->Unit(benchmark::kMicrosecond);

// A 30-minute session's sound alone, made once.
const SessionHistory& ThirtyMinutes()
{
    static const SessionHistory session = [] {
        SessionHistory s(30);
        s.BeginEra(0);
        const std::vector<int16_t> sound(kFramesPerBuffer * kHop, 1000);
        for (int64_t end = kFramesPerBuffer; end * kHop <= 30 * 60 * 11025; end += kFramesPerBuffer)
            s.Recorded(sound.data(), static_cast<int32_t>(sound.size()), end);
        return s;
    }();
    return session;
}

void BM_HandOutThirtyMinutesOfSound(benchmark::State& state)
{
    const SessionHistory& session = ThirtyMinutes();
    for (auto _ : state)
        benchmark::DoNotOptimize(session.Sound());
}
BENCHMARK(BM_HandOutThirtyMinutesOfSound)->Unit(benchmark::kMicrosecond);

void BM_CopyThirtyMinutesOfSound(benchmark::State& state)
{
    const SessionHistory& session = ThirtyMinutes();
    for (auto _ : state)
        benchmark::DoNotOptimize(session.Sound().ToVector());
}
BENCHMARK(BM_CopyThirtyMinutesOfSound)->Unit(benchmark::kMicrosecond);

void BM_SessionMemoryPerMinute(benchmark::State& state)
{
    for (auto _ : state) {
        SessionHistory session(30);
        Record(session, 60);
        state.counters["MB_per_minute"] = static_cast<double>(session.BytesUsed()) / 1e6;
    }
}
BENCHMARK(BM_SessionMemoryPerMinute)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace vocalume
