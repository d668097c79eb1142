// Cost of the view's paint at the default window height of 500 rows: one
// new column (the smallest paint), one capture buffer's strip of 104 columns
// (a paint at the default refresh rate, in either palette), and a whole
// 700-column window.
#include <benchmark/benchmark.h>

#include <memory>

#include "column_painter.h"

namespace vocalume {
namespace {

// A ring of voiced frames (blue band lit, beams of period 136.6 rows) with
// the trace, ticks and markers all shown, painted once into a 700 x 500 area.
struct PaintScene {
    PaintScene()
        : ring(std::make_unique<FrameRing>()), surface(700, 500)
    {
        int64_t counter = 0;
        ring->Reset(counter, 256);
        for (int32_t s = 0; s < kRingSize; ++s) {
            FrameRecord& r = (*ring)[s];
            for (int32_t k = 20; k <= 192; ++k)
                r.spectrum[k] = r.specCeiling - static_cast<float>(k % 30);
            r.energy = r.energyCeiling - 5.0f;
            r.cepsPeak = 100;
            r.acLag = 105;
            r.acPeak = 0.9f;
            r.minSample = -3000 - s;
            r.maxSample = 4000 + s;
            r.smoothed.store(s % 2);
        }
        ring->SetWritePosition(2500);
        PaintColumns(*ring, view, surface);
    }

    std::unique_ptr<FrameRing> ring;
    PaintFields view;
    ColumnSurface surface;
};

void PaintAfterScroll(benchmark::State& state, int32_t columns, Palette palette = Palette::Standard)
{
    PaintScene scene;
    scene.view.m_palette = palette;
    for (auto _ : state) {
        scene.surface.ScrollLeft(columns);
        PaintColumns(*scene.ring, scene.view, scene.surface);
        benchmark::DoNotOptimize(scene.surface.Pixels());
    }
    state.SetItemsProcessed(state.iterations() * columns);
}

void BM_PaintOneColumnHeight500(benchmark::State& state) { PaintAfterScroll(state, 1); }
void BM_PaintBufferStripHeight500(benchmark::State& state) { PaintAfterScroll(state, 104); }
void BM_PaintBufferStripColourBlind(benchmark::State& state)
{
    PaintAfterScroll(state, 104, Palette::ColourBlind);
}

// Every column of the window painted anew (a Start, R, a resize, a new zoom).
void PaintWholeWindow(benchmark::State& state, int32_t zoom)
{
    PaintScene scene;
    scene.view.m_zoom = zoom;
    for (auto _ : state) {
        scene.surface.InvalidateAll();
        PaintColumns(*scene.ring, scene.view, scene.surface);
        benchmark::DoNotOptimize(scene.surface.Pixels());
    }
    state.SetItemsProcessed(state.iterations() * 699);
}

void BM_PaintWholeWindow700x500(benchmark::State& state) { PaintWholeWindow(state, 1); }
void BM_PaintWholeWindowZoom16(benchmark::State& state) { PaintWholeWindow(state, 16); }

// Zoomed out, a buffer's frames make six or seven columns, each drawn from
// the descriptions of its 16 frames.
void BM_PaintBufferZoom16(benchmark::State& state)
{
    PaintScene scene;
    scene.view.m_zoom = 16;
    scene.ring->InvalidateAll();
    scene.surface.InvalidateAll();
    PaintColumns(*scene.ring, scene.view, scene.surface);
    int32_t columns = 6;
    for (auto _ : state) {
        columns = 13 - columns;
        scene.surface.ScrollLeft(columns);
        PaintColumns(*scene.ring, scene.view, scene.surface);
        benchmark::DoNotOptimize(scene.surface.Pixels());
    }
    // Items are frames, as in the strip of 104 columns at one frame each.
    state.SetItemsProcessed(state.iterations() * 104);
}

BENCHMARK(BM_PaintOneColumnHeight500);
BENCHMARK(BM_PaintBufferStripHeight500);
BENCHMARK(BM_PaintBufferStripColourBlind);
BENCHMARK(BM_PaintWholeWindow700x500);
BENCHMARK(BM_PaintBufferZoom16);
BENCHMARK(BM_PaintWholeWindowZoom16);

}  // namespace
}  // namespace vocalume
