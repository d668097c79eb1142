// The pitch readout of the status bar: a frequency named as the nearest
// equal-tempered note (A4 = 440 Hz, sharps for the black keys) and how far
// it lies from it, e.g. "182 Hz · F♯3 +12 ct". Toolkit-free text in UTF-8;
// pure functions, safe on any thread.
#pragma once

#include <cstdint>
#include <string>

namespace vocalume {

struct NoteName {
    std::string name;     // letter, sharp and octave, e.g. "F♯3" (C4 is middle C)
    int32_t cents = 0;    // from the note: -50 to +50
};

// The note nearest to `hz` (> 0); half way between two notes is the upper
// one, 50 cents below it.
NoteName NearestNote(double hz);

// "182 Hz · F♯3 +12 ct": whole hertz, the note, signed cents ("+0 ct" on the
// note, a real minus sign below it).
std::string FormatPitch(double hz);

// The same at a time of the session, "… at 12.34 s", or "unvoiced at 12.34 s"
// for `hz` 0.
std::string FormatPitchAt(double hz, double seconds);

}  // namespace vocalume
