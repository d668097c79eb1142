#include "column_description.h"
#include "column_painter.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <cstring>
#include <random>

namespace vocalume {
namespace {

struct Kept final : ColumnRecorder {
    std::map<int64_t, ColumnDescription> columns;
    void Keep(int64_t frameIndex, const ColumnDescription& c) override { columns[frameIndex] = c; }
};

// Records whose analysis values cross every beam rule, both trace cases, ticks
// and markers, so that each part of a column is exercised.
void FillVariedRing(FrameRing& ring, int32_t writePosition)
{
    int64_t counter = 0;
    ring.Reset(counter, 256);
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int32_t s = 0; s < kRingSize; ++s) {
        FrameRecord& r = ring[s];
        r.index = 123456 + s;
        for (int32_t k = 0; k < 256; ++k)
            r.spectrum[k] = r.smoothSpectrum[k] = static_cast<float>(pick(-100, 0));
        r.specCeiling = -5.0f;
        r.energyCeiling = 60.0f;
        r.energy = static_cast<float>(pick(10, 70));
        r.cepsPeak = pick(0, 200);
        r.acLag = pick(0, 1) != 0 ? r.cepsPeak + pick(-12, 12) : 2 * r.cepsPeak + pick(-22, 22);
        r.acPeak = static_cast<float>(pick(500, 990)) / 1000.0f;
        r.cepsRatio = static_cast<float>(pick(100, 250)) / 10.0f;
        r.minSample = pick(0, 9) == 0 ? 32768 : pick(-32768, 0);
        r.maxSample = r.minSample == 32768 ? -32768 : pick(0, 32767);
        r.smoothed.store(pick(0, 1));
    }
    ring.SetWritePosition(writePosition);
}

// A column drawn from the description the painter kept equals the painter's
// own column, at the height it was painted and at any other: looking back
// after a resize shows what the live painter would have drawn there.
TEST(ColumnDescriptionTest, KeptColumnsRedrawAsThePainterDrawsThemAtEveryHeight)
{
    auto ring = std::make_unique<FrameRing>();
    FillVariedRing(*ring, 2100);
    PaintFields view;
    const int32_t width = 900;

    Kept kept;
    ColumnSurface first(width, 500);
    PaintColumns(*ring, view, first, &kept);
    ASSERT_EQ(kept.columns.size(), static_cast<size_t>(width - 1));

    for (const int32_t height : {500, 7, 64, 333, 1024, 1100}) {
        for (const int32_t options : {0, 1, 2, 3}) {
            view.m_showWaveform = options & 1;
            view.m_showTimescale = (options >> 1) & 1;
            ring->InvalidateAll();
            ColumnSurface live(width, height);
            PaintColumns(*ring, view, live);

            ColumnSurface redrawn(width, height);
            const ColumnGeometry g = GeometryForHeight(height);
            const ColumnStyle style{view.m_sampleRate, view.m_showWaveform, view.m_showTimescale};
            BeamCosines cosines;
            alignas(8) uint8_t column[kColumnBufferRows * 4] = {};
            redrawn.BeginPaint();
            int32_t x = width - 1;
            for (auto it = kept.columns.rbegin(); it != kept.columns.rend(); ++it, --x) {
                DrawColumnDescription(it->second, g, style, cosines, column);
                redrawn.DrawColumn(x, column, g.h);
            }
            redrawn.EndPaint();
            ASSERT_EQ(0, std::memcmp(live.Pixels(), redrawn.Pixels(), live.Stride() * height))
                << "height " << height << ", options " << options;
        }
    }
}

}  // namespace
}  // namespace vocalume
