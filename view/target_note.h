// View › Target note…: a note for the voice to aim at, with the cents it may
// lie off and still count as on it. Drawn over each lane on the pitch line's
// scale while the line is on, and read in the pitch readout as how far the
// voice lies from it ("35 ct below A3"). The settings hold it as a note
// number (semitones from C-1, A4 = 69; 0 = no target) and the cents allowed;
// the dialog of any host offers both as lists built here.
//
// Threads: user-interface thread only (the layer); the functions are pure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compositor.h"
#include "lanes.h"
#include "view_settings.h"

namespace vocalume {

// The notes offered: every note the pitch line's scale shows, G♯1 (52 Hz) to
// C♯6 (1109 Hz).
inline constexpr int32_t kLowestTargetNote = 32;
inline constexpr int32_t kHighestTargetNote = 85;
inline constexpr int32_t kTargetCentsChoices[] = {5, 10, 25, 50, 100, 200};
// The note the dialog offers first when no target is set: A3, in reach of
// most adult voices.
inline constexpr int32_t kFirstOfferedTargetNote = 57;

bool TargetNoteUsable(int32_t note);
bool TargetCentsUsable(int32_t cents);
double TargetNoteHz(int32_t note);
// "A3", "F♯3".
std::string TargetNoteName(int32_t note);

// The dialog's lists: the notes ("No target", then "G♯1 · 52 Hz" … up to
// C♯6) and the cents allowed ("± 25 ct").
const std::vector<std::string>& TargetNoteEntries();
const std::vector<std::string>& TargetCentsEntries();
// Both ways between the settings and the lists' selections; a selection
// outside a list keeps the setting it had. With no target set, the notes'
// list opens on kFirstOfferedTargetNote.
TargetValues TargetToDialog(const ViewSettings& settings);
void TargetFromDialog(const TargetValues& values, ViewSettings& settings);

// How far `hz` lies from the target, for the readout: " · on A3" within the
// cents allowed, else " · 35 ct below A3" or " · 120 ct above A3"; empty
// without a target or for an unvoiced frame.
std::string TargetDistanceText(double hz, const ViewSettings& settings);

// The target over each lane, under the pitch line.
class TargetLine final : public PictureLayer {
public:
    TargetLine(const ViewSettings& settings, const Lanes& lanes) : m_settings(settings), m_lanes(lanes) {}

    bool Shown() const override { return m_settings.pitchLine && m_settings.targetNote != kNoTargetNote; }
    void Draw(const Canvas& canvas) override;

private:
    const ViewSettings& m_settings;
    const Lanes& m_lanes;
};

}  // namespace vocalume
