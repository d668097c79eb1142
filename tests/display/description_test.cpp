#include "column_description.h"
#include "column_painter.h"
#include "column_zoom.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <cstring>
#include <random>

namespace vocalume {
namespace {

struct KeptColumns final : ColumnRecorder {
    std::map<int64_t, ColumnDescription> columns;
    void Keep(int64_t frameIndex, const ColumnDescription& c) override { columns[frameIndex] = c; }
    const ColumnDescription* Kept(int64_t frameIndex) const override
    {
        const auto found = columns.find(frameIndex);
        return found != columns.end() ? &found->second : nullptr;
    }
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

    KeptColumns kept;
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

// A zoomed-out column: the loudest frame's colour, beams and marker, the
// extremes of every trace (a frame with none adds nothing), a tick from any.
TEST(ColumnDescriptionTest, AZoomedColumnIsItsLoudestFrameWithTheExtremesOfAllTraces)
{
    using D = ColumnDescription;
    // Colour, voicing, beam lag, trace extremes, flags.
    const auto frame = [](double rgb, float acPeak, int32_t lag, int16_t lo, int16_t hi, uint8_t flags) {
        return D{rgb, rgb / 2, rgb / 4, acPeak, lag, lo, hi, flags};
    };
    const D frames[] = {frame(10, 0, 0, -5000, 300, D::kTick), frame(200, 0.9f, 90, -100, 3000, D::kMarker),
                        frame(0, 0, 0, 32767, -32768, D::kNoTrace)};
    const D merged = MergeColumns(frames, 3);
    EXPECT_EQ(merged.red, 200.0);
    EXPECT_EQ(merged.beamLag, 90);
    EXPECT_EQ(merged.acPeak, 0.9f);
    EXPECT_EQ(merged.minSample, -5000);
    EXPECT_EQ(merged.maxSample, 3000);
    EXPECT_EQ(merged.flags, D::kMarker | D::kTick);
    EXPECT_EQ(MergeColumns(frames + 2, 1).flags, D::kNoTrace);
    EXPECT_EQ(MergeColumns(frames, 0).flags, D::kNoTrace);
}

// Zoomed out, columns are cut at multiples of the zoom in the records' index
// plus the offset, drawn from their frames' descriptions, each of which is kept.
TEST(ColumnDescriptionTest, ZoomedPaintsDrawColumnsFromTheirFramesDescriptions)
{
    auto ring = std::make_unique<FrameRing>();
    FillVariedRing(*ring, 2100);
    PaintFields view;
    view.m_zoom = 4;
    view.m_frameOffset = 1;
    const int32_t width = 400;
    KeptColumns kept;
    ColumnSurface surface(width, 300);
    PaintColumns(*ring, view, surface, &kept);
    // The newest frame shown at one frame a column is slot 2100 - 1 - 109,
    // index 125446, number 125447: the last of a column.
    ASSERT_EQ(kept.columns.size(), static_cast<size_t>(4 * (width - 1)));
    ASSERT_EQ(kept.columns.rbegin()->first, 125446);

    const ColumnGeometry g = GeometryForHeight(300);
    const ColumnStyle style{view.m_sampleRate, 1, 1};
    BeamCosines cosines;
    alignas(8) uint8_t column[kColumnBufferRows * 4] = {};
    ColumnSurface expected(width, 300);
    expected.BeginPaint();
    for (int32_t x = 1; x < width; ++x) {
        ColumnDescription frames[4];
        for (int32_t k = 0; k < 4; ++k)
            frames[k] = kept.columns.at(125446 - 4 * (width - 1 - x) - 3 + k);
        DrawColumnDescription(MergeColumns(frames, 4), g, style, cosines, column);
        expected.DrawColumn(x, column, g.h);
    }
    expected.EndPaint();
    ASSERT_EQ(0, std::memcmp(surface.Pixels(), expected.Pixels(), surface.Stride() * 300));

    // 1400 columns of 4 frames reach past the ring: the oldest from what was kept.
    KeptColumns older;
    for (int64_t index = 115000; index < 123456; ++index)
        older.columns[index] = ColumnDescription{255.0};
    ring->InvalidateAll();
    ColumnSurface wide(1400, 300);
    PaintColumns(*ring, view, wide, &older);
    EXPECT_EQ(wide.PixelAt(1, 150), (Rgb{255, 0, 0}));
    EXPECT_NE(wide.PixelAt(1399, 150), (Rgb{255, 0, 0}));
}

}  // namespace
}  // namespace vocalume
