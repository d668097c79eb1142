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
    // Notes off the pitch line's scale, and cents the dialog does not offer,
    // read as no target and the default allowance.
    for (const int32_t stored : {-1, 31, 86, 127}) {
        MemorySettingsStore store;
        store.WriteProfileInt("config", "targetnote", stored);
        store.WriteProfileInt("config", "targetcents", stored);
        const ViewSettings s = ViewSettings::Load(store);
        EXPECT_EQ(s.targetNote, kNoTargetNote) << stored;
        EXPECT_EQ(s.targetCents, kDefaultTargetCents) << stored;
    }
    ViewSettings settings;
    settings.targetNote = 85;
    settings.targetCents = 200;
    MemorySettingsStore store;
    settings.Save(store, settings);
    const ViewSettings read = ViewSettings::Load(store);
    EXPECT_EQ(read.targetNote, 85);
    EXPECT_EQ(read.targetCents, 200);

    const std::vector<std::string>& notes = TargetNoteEntries();
    EXPECT_EQ(notes.front(), "No target");
    EXPECT_EQ(notes[1], "G\xE2\x99\xAF" "1 \xC2\xB7 52 Hz");
    EXPECT_EQ(notes.back(), "C\xE2\x99\xAF" "6 \xC2\xB7 1109 Hz");
    // Every offered note lies on the line's scale.
    EXPECT_GT(TargetNoteHz(kLowestTargetNote), kPitchLineLowHz);
    EXPECT_LT(TargetNoteHz(kHighestTargetNote), kPitchLineHighHz);

    // With no target the list opens on A3; OK on it sets A3, "No target"
    // clears it, and a selection off the lists keeps what was set.
    ViewSettings none;
    TargetValues values = TargetToDialog(none);
    EXPECT_EQ(notes[static_cast<size_t>(values.note)].substr(0, 2), "A3");
    EXPECT_EQ(TargetCentsEntries()[static_cast<size_t>(values.cents)], "\xC2\xB1 25 ct");
    TargetFromDialog(values, none);
    EXPECT_EQ(none.targetNote, kA3);
    TargetFromDialog(TargetValues{-1, 99}, none);
    EXPECT_EQ(none.targetNote, kA3);
    EXPECT_EQ(none.targetCents, kDefaultTargetCents);
    TargetFromDialog(TargetValues{0, 3}, none);
    EXPECT_EQ(none.targetNote, kNoTargetNote);
    EXPECT_EQ(none.targetCents, 50);
}

TEST(TargetNote, TheReadoutSaysHowFarTheVoiceIsFromIt)
{
    ViewSettings s;
    EXPECT_EQ(TargetDistanceText(220.0, s), "") << "no target";
    s.targetNote = kA3;
    const auto off = [](double cents) { return 220.0 * std::exp2(cents / 1200.0); };
    EXPECT_EQ(TargetDistanceText(off(-25), s), " \xC2\xB7 on A3") << "the allowance is inclusive";
    EXPECT_EQ(TargetDistanceText(off(24.6), s), " \xC2\xB7 on A3");
    EXPECT_EQ(TargetDistanceText(off(-35), s), " \xC2\xB7 35 ct below A3");
    EXPECT_EQ(TargetDistanceText(off(1250), s), " \xC2\xB7 1250 ct above A3");
    EXPECT_EQ(TargetDistanceText(0.0, s), "") << "unvoiced";

    // The overlay's readout carries it, looking back and live alike.
    struct Rig : PartsRig {
        Rig() : PartsRig(1000)
        {
            for (int64_t f = 0; f < session.EndFrame(); ++f)
                session.SetPitch(f, 208.0f);
            settings.pitchLine = true;
            settings.targetNote = kA3;
        }
        SessionPitch pitch{session};
        PitchOverlay overlay{settings, session, pitch, lookingBack, lanes};
    } rig;
    rig.lookingBack.Move(ViewKey::Home);
    rig.overlay.PointAt(100, 50);
    const std::optional<std::string> text = rig.overlay.Readout(false);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->ends_with(" s \xC2\xB7 97 ct below A3")) << *text;
}

TEST(TargetNote, DrawnOnEachLanesScaleOnlyWithThePitchLine)
{
    PartsRig rig(1000);
    TargetLine target{rig.settings, rig.lanes};
    rig.settings.targetNote = kA3;
    EXPECT_FALSE(target.Shown()) << "the pitch line is off: no scale to draw it on";
    rig.settings.pitchLine = true;
    EXPECT_TRUE(target.Shown());
    rig.settings.targetNote = kNoTargetNote;
    EXPECT_FALSE(target.Shown());
    rig.settings.targetNote = kA3;

    SessionHistory model = NumberedSession(400);
    rig.lanes.SetModel(std::move(model), "model.wav", "");
    const LaneRows rows = rig.lanes.Rows();
    const int32_t height = rows.sessionTop + rows.sessionHeight;
    std::vector<uint8_t> rgb(rig.surface.Stride() * static_cast<size_t>(height));
    target.Draw(Canvas{PixelImage{rgb.data(), rig.surface.Width(), height, rig.surface.Stride()}, rows, 0, 299, true});
    const auto pixel = [&](int32_t row, int32_t x) { return rgb.data() + rig.surface.Stride() * row + x * 3; };
    for (const auto& [top, laneHeight] : {std::pair{0, rows.modelHeight}, std::pair{rows.sessionTop, rows.sessionHeight}}) {
        const int32_t line = top + PitchLineRow(220.0, laneHeight);
        const int32_t sharpEnd = top + PitchLineRow(220.0 * std::exp2(25 / 1200.0), laneHeight);
        EXPECT_EQ(pixel(line, 150)[0], 255) << "the line, in yellow";
        EXPECT_EQ(pixel(line, 150)[2], 0);
        for (int32_t row = sharpEnd; row < line; ++row)
            EXPECT_EQ(pixel(row, 150)[0], 255 * 40 / 256) << "the band, faint, " << row;
        EXPECT_EQ(pixel(sharpEnd - 1, 150)[0], 0) << "only the cents allowed";
        EXPECT_EQ(pixel(top + PitchLineRow(440.0, laneHeight), 150)[0], 0) << "nothing an octave up";
    }
}

}  // namespace
}  // namespace vocalume
