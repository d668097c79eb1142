// View › Target note…: what is stored and offered, how far the readout says
// the voice lies from the target, and where the target is drawn.
#include "target_note.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "parts_rig.h"
#include "pitch_line.h"
#include "pitch_overlay.h"
#include "session_pitch.h"

namespace vocalume {
namespace {

constexpr int32_t kA3 = 57;

TEST(TargetNote, StoredAndOfferedAsTheDialogsLists)
{
    // Notes off the pitch line's scale and cents the dialog does not offer
    // read as no target and the default allowance.
    for (const int32_t stored : {-1, 31, 86}) {
        MemorySettingsStore store;
        store.WriteProfileInt("config", "targetnote", stored);
        store.WriteProfileInt("config", "targetcents", stored);
        const ViewSettings s = ViewSettings::Load(store);
        EXPECT_EQ(s.targetNote, kNoTargetNote) << stored;
        EXPECT_EQ(s.targetCents, kDefaultTargetCents) << stored;
    }
    const std::vector<std::string>& notes = TargetNoteEntries();
    EXPECT_EQ(notes[1], "G\xE2\x99\xAF" "1 \xC2\xB7 52 Hz");
    EXPECT_EQ(notes.back(), "C\xE2\x99\xAF" "6 \xC2\xB7 1109 Hz");

    // With no target the list opens on A3; OK on it sets A3, a selection off
    // the lists keeps what was set, "No target" clears it.
    ViewSettings s;
    const TargetValues offered = TargetToDialog(s);
    EXPECT_EQ(notes[static_cast<size_t>(offered.note)].substr(0, 2), "A3");
    TargetFromDialog(offered, s);
    EXPECT_EQ(s.targetNote, kA3);
    TargetFromDialog(TargetValues{-1, 99}, s);
    EXPECT_EQ(s.targetNote, kA3);
    EXPECT_EQ(s.targetCents, kDefaultTargetCents);
    TargetFromDialog(TargetValues{0, 3}, s);
    EXPECT_EQ(s.targetNote, kNoTargetNote);
    EXPECT_EQ(s.targetCents, 50);
}

TEST(TargetNote, TheReadoutSaysHowFarTheVoiceIsFromIt)
{
    PartsRig rig(1000);
    for (int64_t f = 0; f < rig.session.EndFrame(); ++f)
        rig.session.SetPitch(f, 208.0f);
    rig.settings.pitchLine = true;
    EXPECT_EQ(TargetDistanceText(220.0, rig.settings), "") << "no target";
    rig.settings.targetNote = kA3;
    const auto off = [](double cents) { return 220.0 * std::exp2(cents / 1200.0); };
    EXPECT_EQ(TargetDistanceText(off(-25), rig.settings), " \xC2\xB7 on A3") << "the allowance is inclusive";
    EXPECT_EQ(TargetDistanceText(off(-35), rig.settings), " \xC2\xB7 35 ct below A3");
    EXPECT_EQ(TargetDistanceText(off(1250), rig.settings), " \xC2\xB7 1250 ct above A3");
    EXPECT_EQ(TargetDistanceText(0.0, rig.settings), "") << "unvoiced";

    SessionPitch pitch{rig.session};
    PitchOverlay overlay{rig.settings, rig.session, pitch, rig.lookingBack, rig.lanes};
    rig.lookingBack.Move(ViewKey::Home);
    overlay.PointAt(100, 50);
    const std::string text = overlay.Readout(false).value_or("");
    EXPECT_TRUE(text.ends_with(" s \xC2\xB7 97 ct below A3")) << text;
}

TEST(TargetNote, DrawnOnEachLanesScaleOnlyWithThePitchLine)
{
    PartsRig rig(1000);
    TargetLine target{rig.settings, rig.lanes};
    rig.settings.targetNote = kA3;
    EXPECT_FALSE(target.Shown()) << "the pitch line is off: no scale to draw it on";
    rig.settings.pitchLine = true;
    EXPECT_TRUE(target.Shown());

    rig.lanes.SetModel(NumberedSession(400), "model.wav", "");
    const LaneRows rows = rig.lanes.Rows();
    const int32_t height = rows.sessionTop + rows.sessionHeight;
    std::vector<uint8_t> rgb(rig.surface.Stride() * static_cast<size_t>(height));
    target.Draw(Canvas{PixelImage{rgb.data(), rig.surface.Width(), height, rig.surface.Stride()}, rows, 0, 299, true});
    const auto red = [&](int32_t row) { return rgb[rig.surface.Stride() * static_cast<size_t>(row) + 150 * 3]; };
    for (const auto& [top, laneHeight] : {std::pair{0, rows.modelHeight}, std::pair{rows.sessionTop, rows.sessionHeight}}) {
        const int32_t line = top + PitchLineRow(220.0, laneHeight);
        const int32_t sharpEnd = top + PitchLineRow(220.0 * std::exp2(25 / 1200.0), laneHeight);
        EXPECT_EQ(red(line), 255) << "the line, in yellow";
        for (int32_t row = sharpEnd; row < line; ++row)
            EXPECT_EQ(red(row), 255 * 40 / 256) << "the band, faint, " << row;
        EXPECT_EQ(red(sharpEnd - 1), 0) << "only the cents allowed";
    }
}

}  // namespace
}  // namespace vocalume
