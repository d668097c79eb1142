#include "column_painter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <numbers>
#include <vector>

namespace vocalume {
namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kTrace{0, 255, 128};
constexpr Rgb kMarker{255, 0, 0};

class PainterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ring = new FrameRing(); }
    static void TearDownTestSuite() { delete ring; }

    void SetUp() override
    {
        int64_t counter = 0;
        ring->Reset(counter, 256);
        view.m_showWaveform = 0;
        view.m_showTimescale = 0;
    }

    FrameRecord& At(int32_t slot) { return (*ring)[slot]; }

    // Bins 129..192 (the blue band for 256 bins) at the ceiling, energy
    // `below` dB under its ceiling: pure blue of 255 (1 - below/40)^2.
    void MakeBlue(int32_t slot, float below = 0.0f)
    {
        FrameRecord& r = At(slot);
        for (int32_t k = 129; k <= 192; ++k)
            r.spectrum[k] = r.specCeiling;
        r.energy = r.energyCeiling - below;
    }

    // Only bins 10..60 lit: pure red at full energy.
    void MakeRed(int32_t slot)
    {
        FrameRecord& r = At(slot);
        std::fill(std::begin(r.spectrum), std::end(r.spectrum), 0.0f);
        for (int32_t k = 10; k <= 60; ++k)
            r.spectrum[k] = r.specCeiling;
        r.energy = r.energyCeiling;
    }

    void Paint(ColumnSurface& surface) { PaintColumns(*ring, view, surface); }

    int32_t DrawnCount()
    {
        int32_t n = 0;
        for (int32_t s = 0; s < kRingSize; ++s)
            n += At(s).drawn.load();
        return n;
    }

    static FrameRing* ring;
    PaintFields view;
};

FrameRing* PainterTest::ring = nullptr;

// Client row of column-buffer row `row` for a column of height h.
int32_t ClientRow(int32_t h, int32_t row) { return h - 1 - row; }

TEST_F(PainterTest, RightMostColumnLagsTheWritePosition)
{
    // W = 50, 104 frames a buffer: slot (50 - 110) mod 5000 = 4940 on the right.
    ring->SetWritePosition(50);
    MakeBlue(4940);
    MakeRed(4941);
    ColumnSurface surface(20, 30);
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(19, 10), (Rgb{0, 0, 255}));
    for (int32_t x = 0; x < 19; ++x)
        EXPECT_EQ(surface.PixelAt(x, 10), kBlack) << x;
    EXPECT_EQ(At(4941).drawn.load(), 0);
    EXPECT_EQ(At(4940).drawn.load(), 1);

    // 40 frames a buffer: slot 50 - 46 = 4.
    view.m_framesPerBuffer = 40;
    MakeBlue(4, 20.0f);
    surface.InvalidateAll();
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(19, 10), (Rgb{0, 0, 63}));
}

TEST_F(PainterTest, WalkDrawsWidthMinusOneRecordsAndNeverLoops)
{
    for (int32_t s = 0; s < kRingSize; ++s)
        MakeBlue(s);
    const int32_t first = (0 - 104 - 6 + kRingSize) % kRingSize;
    struct {
        int32_t width;
        int32_t drawn;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {700, 699}, {5000, 4999}, {6000, 4999}};
    for (const auto& c : cases) {
        ring->InvalidateAll();
        ColumnSurface surface(c.width, 4);
        Paint(surface);
        EXPECT_EQ(DrawnCount(), c.drawn) << "width " << c.width;
        if (c.drawn == 0)
            continue;
        // The drawn records are the c.drawn slots from the first one backwards,
        // at columns width - 1 leftwards; everything left of them stays black.
        EXPECT_EQ(At(first).drawn.load(), 1);
        EXPECT_EQ(At((first - c.drawn + 1 + kRingSize) % kRingSize).drawn.load(), 1);
        EXPECT_EQ(At((first - c.drawn + kRingSize) % kRingSize).drawn.load(), 0);
        const int32_t leftMost = c.width - c.drawn;
        EXPECT_EQ(surface.PixelAt(leftMost, 0), (Rgb{0, 0, 255})) << "width " << c.width;
        EXPECT_EQ(surface.PixelAt(leftMost - 1, 0), kBlack) << "width " << c.width;
        EXPECT_EQ(surface.PixelAt(c.width - 1, 3), (Rgb{0, 0, 255})) << "width " << c.width;
    }
}

TEST_F(PainterTest, TraceTicksAndMarkerAtHeight500)
{
    view.m_showWaveform = 1;
    view.m_showTimescale = 1;
    // Indices equal slots after a reset. 1002 * 110 / 11025 = 9.997 and
    // 1003 * 110 / 11025 = 10.007, so slot 1002 carries a tick; 1001 does not.
    ring->SetWritePosition(1002 + 110);
    At(1001).minSample = -32768;
    At(1001).maxSample = 32767;
    At(1001).smoothed.store(1);
    At(1000).minSample = 32767;  // no sample in the span: min above max
    At(1000).maxSample = -32768;
    ColumnSurface surface(4, 500);
    Paint(surface);

    // Slot 1002 at column 3: black with one trace pixel at buffer row
    // 500 - 50/2 = 475 and a tick over buffer rows 0..9.
    for (int32_t y = 0; y < 500; ++y) {
        const int32_t row = ClientRow(500, y);
        const Rgb expected = (row == 475 || row <= 9) ? kTrace : kBlack;
        ASSERT_EQ(surface.PixelAt(3, y), expected) << "row " << row;
    }
    // Slot 1001 at column 2: full scale spans 475 - 25 = 450 to 475 + 24 = 499,
    // the marker sits on the bottom row, no tick.
    for (int32_t y = 0; y < 500; ++y) {
        const int32_t row = ClientRow(500, y);
        const Rgb expected = row >= 450 ? kTrace : (row == 0 ? kMarker : kBlack);
        ASSERT_EQ(surface.PixelAt(2, y), expected) << "row " << row;
    }
    // Slot 1000 at column 1: nothing but black.
    for (int32_t y = 0; y < 500; ++y)
        ASSERT_EQ(surface.PixelAt(1, y), kBlack) << "row " << ClientRow(500, y);

    // A marker wins over a tick.
    At(1002).smoothed.store(1);
    surface.InvalidateAll();
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(3, 499), kMarker);
    EXPECT_EQ(surface.PixelAt(3, 498), kTrace);
}

// Past 2^31 and 2^32 frames (25 and 50 days of recording) a tick still
// comes every tenth of a second: every 100 or 101 columns.
TEST_F(PainterTest, TicksKeepTheirSpacingPastTwoAndFourBillionFrames)
{
    view.m_showTimescale = 1;
    ring->SetWritePosition(1000);
    for (const int64_t limit : {int64_t{1} << 31, int64_t{1} << 32}) {
        for (int32_t s = 0; s < kRingSize; ++s)
            At(s).index = limit - 500 + s;
        ColumnSurface surface(700, 100);
        Paint(surface);
        std::vector<int32_t> ticks;
        for (int32_t x = 1; x < 700; ++x)
            if (surface.PixelAt(x, 99) == kTrace)
                ticks.push_back(x);
        ASSERT_GE(ticks.size(), 6u) << limit;
        for (size_t k = 1; k < ticks.size(); ++k) {
            const int32_t gap = ticks[k] - ticks[k - 1];
            EXPECT_TRUE(gap == 100 || gap == 101) << limit << ": ticks at " << ticks[k - 1] << " and " << ticks[k];
        }
    }
}

TEST_F(PainterTest, TallAreaIsPaintedInItsTop1024Rows)
{
    view.m_showWaveform = 1;
    view.m_showTimescale = 1;
    ring->SetWritePosition(1002 + 110);
    MakeBlue(1002);
    ColumnSurface surface(4, 1500);
    Paint(surface);
    // h = 1024: trace centre at buffer row 1024 - 51 = 973 (client row 50),
    // ticks 1024 / 50 = 20 rows, bottom of the column at client row 1023.
    const Rgb blue{0, 0, 255};
    EXPECT_EQ(surface.PixelAt(3, 0), blue);
    EXPECT_EQ(surface.PixelAt(3, 50), kTrace);
    EXPECT_EQ(surface.PixelAt(3, 51), blue);
    EXPECT_EQ(surface.PixelAt(3, 1003), blue);
    EXPECT_EQ(surface.PixelAt(3, 1004), kTrace);
    EXPECT_EQ(surface.PixelAt(3, 1023), kTrace);
    for (int32_t y = 1024; y < 1500; ++y)
        ASSERT_EQ(surface.PixelAt(3, y), kBlack) << y;
}

// Each threshold of the beam choice and depth with a value just inside and
// just outside it. `lag` is the estimate whose period the beams must follow
// (0: no beams), `depth` the beam depth, both worked out from the rules:
// 1. |cepsPeak - acLag| < 10, 2. cepsRatio > 20, 3. acPeak > 0.8 (widened to
// double, so 0.8f passes), 4. |cepsPeak - acLag / 2| < 10 (integer halving),
// 5. cepsRatio < 15 and acPeak > 0.75; depth acPeak - 0.7, none below 0 or
// for a cepsPeak of 27 (400 Hz) or less.
TEST_F(PainterTest, BeamRulesAtTheirEdges)
{
    const float above20 = std::nextafter(20.0f, 21.0f), below15 = std::nextafter(15.0f, 14.0f);
    const float below08 = std::nextafter(0.8f, 0.0f), above075 = std::nextafter(0.75f, 1.0f);
    struct Case {
        const char* what;
        int32_t cepsPeak, acLag;
        float cepsRatio, acPeak;
        int32_t lag;
        bool deep;  // depth acPeak - 0.7, else none
    };
    const Case cases[] = {
        {"1: 9 apart", 100, 109, 0.0f, 0.78f, 100, true},
        {"1: 10 apart, rule 5", 100, 110, 0.0f, 0.78f, 110, true},
        {"1: 9 below", 91, 100, 0.0f, 0.78f, 91, true},
        {"1: 10 below, rule 5", 90, 100, 0.0f, 0.78f, 100, true},
        {"2: ratio above 20", 50, 120, above20, 0.78f, 50, true},
        {"2: ratio 20, no rule", 50, 120, 20.0f, 0.78f, 0, false},
        {"3: 0.8f is above 0.8", 50, 120, 17.0f, 0.8f, 120, true},
        {"3: just below 0.8", 50, 120, 17.0f, below08, 0, false},
        {"4: 9 below half", 50, 119, 17.0f, 0.78f, 50, true},
        {"4: 10 below half", 50, 120, 17.0f, 0.78f, 0, false},
        {"4: 9 above half", 68, 119, 17.0f, 0.78f, 68, true},
        {"4: 10 above the halved 119", 69, 119, 17.0f, 0.78f, 0, false},
        {"5: ratio below 15", 30, 100, below15, 0.78f, 100, true},
        {"5: ratio 15", 30, 100, 15.0f, 0.78f, 0, false},
        {"5: just above 0.75", 30, 100, 12.0f, above075, 100, true},
        {"5: 0.75", 30, 100, 12.0f, 0.75f, 0, false},
        {"depth 0.02", 100, 100, 0.0f, 0.72f, 100, true},
        {"0.7f is below 0.7", 100, 100, 0.0f, 0.7f, 100, false},
        {"cepsPeak 28 draws", 28, 28, 0.0f, 0.9f, 28, true},
        {"cepsPeak 27 does not", 27, 27, 0.0f, 0.9f, 27, false},
        {"cepsPeak 27 under rule 3", 27, 120, 0.0f, 0.9f, 120, false},
    };
    // Pure blue at e = 0.75: 143.4375, bright enough that a depth 0.01 off
    // moves the middle row by a level. Height 500: mid 250, and a lag of L
    // samples gives 250 L / 183 rows a cycle.
    const double blue = 0.75 * 0.75 * 255;
    ring->SetWritePosition(500);
    const int32_t slot = 500 - 110;
    MakeBlue(slot, 10.0f);
    ColumnSurface surface(2, 500);
    for (const Case& c : cases) {
        FrameRecord& r = At(slot);
        r.cepsPeak = c.cepsPeak;
        r.acLag = c.acLag;
        r.cepsRatio = c.cepsRatio;
        r.acPeak = c.acPeak;
        surface.InvalidateAll();
        Paint(surface);
        const double d = c.deep ? static_cast<double>(c.acPeak) - 0.7 : 0.0;
        const double p = c.lag == 0 ? 1.0 : 250.0 * c.lag / 183;
        int32_t wrong = 0, first = -1;
        for (int32_t row = 0; row < 500; ++row) {
            const int32_t i = std::abs(row - 250);
            const double factor = d == 0.0 ? 1.0 : 1.0 + d * std::cos(2.0 * std::numbers::pi * i / p);
            const Rgb expected{0, 0, static_cast<uint8_t>(factor * blue)};
            if (surface.PixelAt(1, ClientRow(500, row)) != expected && wrong++ == 0)
                first = row;
        }
        EXPECT_EQ(wrong, 0) << c.what << ": " << wrong << " rows differ, the first is row " << first
                            << " (" << static_cast<int>(surface.PixelAt(1, ClientRow(500, first)).blue)
                            << ")";
    }
}

TEST_F(PainterTest, OneRowHighAreaShowsThePlainColour)
{
    // mid = 0 gives a period of 0 rows: no beams, and no NaN turning the
    // column black.
    ring->SetWritePosition(500);
    MakeBlue(390);
    At(390).cepsPeak = 100;
    At(390).acLag = 105;
    At(390).acPeak = 0.9f;
    view.m_showWaveform = 1;
    ColumnSurface surface(2, 1);
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(1, 0), (Rgb{0, 0, 255}));
}

TEST_F(PainterTest, BandsFollowTheAnalysisFromTheFirstFrameAfterReset)
{
    // Right after a reset every record, the one at the write position
    // included, carries 256 bins: bins 129..192 are blue. Laid out for 512
    // bins they would be green.
    MakeBlue(kRingSize - 110);
    ColumnSurface surface(2, 10);
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(1, 5), (Rgb{0, 0, 255}));
}

TEST_F(PainterTest, RecordAnalysedLateShowsOnlyAfterARedraw)
{
    ring->SetWritePosition(200);  // slot 90 at column 49
    for (int32_t s = 0; s < kRingSize; ++s)
        MakeBlue(s);
    At(70).analysed.store(0);  // column 29, not analysed in time
    ColumnSurface surface(50, 40);
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(29, 20), kBlack);
    EXPECT_EQ(At(70).drawn.load(), 0);

    // The framer cuts five frames and scrolls; then slot 70 (now column 24)
    // is analysed before the paint of the new strip.
    ring->SetWritePosition(205);
    surface.ScrollLeft(5);
    MakeRed(70);
    At(70).analysed.store(1);
    Paint(surface);
    EXPECT_EQ(At(70).drawn.load(), 1);
    EXPECT_EQ(surface.PixelAt(24, 20), kBlack);
    EXPECT_EQ(surface.PixelAt(49, 20), (Rgb{0, 0, 255}));

    // An exposure of its column repaints it although it is marked drawn...
    surface.Invalidate({24, 0, 25, 40});
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(24, 20), (Rgb{255, 0, 0}));
    EXPECT_EQ(surface.PixelAt(23, 20), (Rgb{0, 0, 255}));

    // ...and so does a redraw of everything.
    surface.Resize(50, 40);
    ring->InvalidateAll();
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(24, 20), (Rgb{255, 0, 0}));
    EXPECT_EQ(surface.PixelAt(1, 20), (Rgb{0, 0, 255}));
}

// The low-latency picture keeps back only the smoothing lead and paints a
// column whose record the worker had not finished, analysed and smoothed, at
// the next paint, wherever the scroll has moved it; nothing else is painted
// again.
TEST_F(PainterTest, LowLatencyPaintsALateRecordAtTheNextPaint)
{
    const auto smooth = [this](int32_t slot) {
        FrameRecord& r = At(slot);
        std::copy(std::begin(r.spectrum), std::end(r.spectrum), std::begin(r.smoothSpectrum));
        r.smoothed.store(1);
    };
    view.m_paintLateFrames = true;
    ring->SetWritePosition(200);
    for (int32_t s = 0; s < kRingSize; ++s) {
        MakeBlue(s);
        smooth(s);
    }
    // The newest frame is in slot 199, five frames right of the right-most
    // column: columns 29 and 30 show slots 174 and 175.
    At(174).analysed.store(0);
    At(175).smoothed.store(0);
    ColumnSurface surface(50, 40);
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(29, 20), kBlack);
    EXPECT_EQ(surface.PixelAt(30, 20), kBlack);
    EXPECT_EQ(surface.PixelAt(49, 20), (Rgb{0, 0, 255}));
    EXPECT_TRUE(surface.IsInvalid(29, 0) && surface.IsInvalid(30, 39));
    EXPECT_FALSE(surface.IsInvalid(28, 20) || surface.IsInvalid(31, 20));

    ring->SetWritePosition(205);
    surface.ScrollLeft(5);
    MakeRed(174);
    smooth(174);
    At(174).analysed.store(1);
    smooth(175);
    MakeRed(176);  // drawn blue before: stays so
    smooth(176);
    Paint(surface);
    EXPECT_EQ(surface.PixelAt(24, 20), (Rgb{255, 0, 0}));
    EXPECT_EQ(surface.PixelAt(25, 20), (Rgb{0, 0, 255}));
    EXPECT_EQ(surface.PixelAt(26, 20), (Rgb{0, 0, 255}));
    EXPECT_TRUE(surface.IsValid());
}

}  // namespace
}  // namespace vocalume
