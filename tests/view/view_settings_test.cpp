// The view's settings: read with the values that cannot work replaced,
// written back so that they read the same, and exchanged with the
// Configuration dialog as its texts.
#include <gtest/gtest.h>

#include "settings_store.h"
#include "view_settings.h"

// GCC 12 sees an overlap that cannot happen in the short strings assigned
// below once the settings are inlined here (its bug 105329).
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

namespace vocalume {
namespace {

TEST(ViewSettings, StoredValuesThatCannotWorkAreReadAsTheDefaults)
{
    struct Case {
        int32_t refresh, sampling, minutes;
        int32_t wantRefresh, wantSampling, wantMinutes;
    };
    const Case cases[] = {{0, 0, 0, 10, 3, 30}, {99, -4, 7, 10, 3, 30}, {31, 1, 120, 10, 1, 120},
                          {1, 7, 1, 1, 7, 1},   {30, 5, 60, 30, 5, 60}, {25, 2, -1, 25, 2, 30}};
    for (const Case& c : cases) {
        MemorySettingsStore store;
        store.WriteProfileInt("config", "refresh", c.refresh);
        store.WriteProfileInt("config", "sampling", c.sampling);
        store.WriteProfileInt("history", "minutes", c.minutes);
        store.WriteProfileInt("config", "palette", c.refresh);  // only 1 names a palette besides 0
        const ViewSettings s = ViewSettings::Load(store);
        EXPECT_EQ(s.refresh, c.wantRefresh) << c.refresh;
        EXPECT_EQ(s.sampling, c.wantSampling) << c.sampling;
        EXPECT_EQ(s.historyMinutes, c.wantMinutes) << c.minutes;
        EXPECT_EQ(s.palette, c.refresh == 1 ? Palette::ColourBlind : Palette::Standard) << c.refresh;
    }
    // The low-latency picture is on only for a stored 1.
    for (const int32_t stored : {0, 1, 2, -1}) {
        MemorySettingsStore store;
        store.WriteProfileInt("config", "lowlatency", stored);
        EXPECT_EQ(ViewSettings::Load(store).lowLatency, stored == 1) << stored;
    }
}

TEST(ViewSettings, SavedSettingsReadBackTheSameAndTheModelOnlyOnceChanged)
{
    MemorySettingsStore store;
    const ViewSettings loaded = ViewSettings::Load(store);
    EXPECT_EQ(loaded.waveform, 1);
    EXPECT_EQ(loaded.timescale, 1);
    EXPECT_FALSE(loaded.pitchLine);
    EXPECT_FALSE(loaded.lowLatency);
    EXPECT_FALSE(loaded.followTiming);
    loaded.Save(store, loaded);
    EXPECT_EQ(store.GetProfileString("model", "file", "none"), "none") << "no model section written";

    ViewSettings changed = loaded;
    changed.refresh = 25;
    changed.sampling = 1;
    changed.waveform = 0;
    changed.timescale = 0;
    changed.palette = Palette::ColourBlind;
    changed.pitchLine = true;
    changed.lowLatency = true;
    changed.followTiming = true;
    changed.input = "mic-2";
    changed.historyMinutes = 5;
    changed.modelFile = "/tmp/model.wav";
    changed.zoom = 8;
    changed.Save(store, loaded);
    const ViewSettings read = ViewSettings::Load(store);
    EXPECT_EQ(read.refresh, 25);
    EXPECT_EQ(read.sampling, 1);
    EXPECT_EQ(read.waveform, 0);
    EXPECT_EQ(read.timescale, 0);
    EXPECT_EQ(read.palette, Palette::ColourBlind);
    EXPECT_TRUE(read.pitchLine);
    EXPECT_TRUE(read.lowLatency);
    EXPECT_EQ(store.GetProfileInt("config", "lowlatency", -1), 1);
    EXPECT_TRUE(read.followTiming);
    EXPECT_EQ(read.input, "mic-2");
    EXPECT_EQ(read.historyMinutes, 5);
    EXPECT_EQ(read.modelFile, "/tmp/model.wav");
    EXPECT_EQ(read.zoom, 8);
    store.WriteProfileInt("config", "zoom", 3);
    EXPECT_EQ(ViewSettings::Load(store).zoom, 1) << "no zoom step";
}

// The dialog shows the values as its lists hold them; a list left without a
// selection, or a text that is no usable number, keeps the value it had.
TEST(ViewSettings, TheDialogsTextsAndAListLeftWithoutSelection)
{
    ViewSettings s;
    s.refresh = 15;
    s.timescale = 0;
    const ConfigValues shown = s.ToDialog();
    EXPECT_EQ(shown.refresh, "15");
    EXPECT_EQ(shown.sampling, "3");
    EXPECT_EQ(shown.history, "30");
    EXPECT_EQ(shown.waveform, 1);
    EXPECT_EQ(shown.timescale, 0);
    EXPECT_EQ(shown.lowLatency, 0);

    ConfigValues chosen = shown;
    chosen.refresh.clear();
    chosen.lowLatency = 1;
    chosen.sampling = "x";
    chosen.history.assign(1, '7');  // a literal here trips a false -Wrestrict of GCC 12
    chosen.waveform = 0;
    chosen.palette = 1;
    s.FromDialog(chosen);
    EXPECT_EQ(s.refresh, 15);
    EXPECT_EQ(s.sampling, 3);
    EXPECT_EQ(s.historyMinutes, 30);
    EXPECT_EQ(s.waveform, 0);
    EXPECT_EQ(s.palette, Palette::ColourBlind);
    EXPECT_TRUE(s.lowLatency);
    EXPECT_EQ(s.ToDialog().lowLatency, 1);
    chosen.refresh = "20";
    chosen.history = "60";
    s.FromDialog(chosen);
    EXPECT_EQ(s.refresh, 20);
    EXPECT_EQ(s.historyMinutes, 60);
}

}  // namespace
}  // namespace vocalume
