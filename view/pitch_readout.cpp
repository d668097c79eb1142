#include "pitch_readout.h"

#include <cmath>
#include <cstdio>

namespace vocalume {
namespace {

constexpr double kA4Hz = 440.0;
constexpr int32_t kA4Note = 69;  // notes counted in semitones from C-1
constexpr const char* kNoteLetters[12] = {"C", "C\xE2\x99\xAF", "D", "D\xE2\x99\xAF", "E", "F",
                                          "F\xE2\x99\xAF", "G", "G\xE2\x99\xAF", "A", "A\xE2\x99\xAF", "B"};
constexpr const char* kMinus = "\xE2\x88\x92";
constexpr const char* kDot = " \xC2\xB7 ";

}  // namespace

NoteName NearestNote(double hz)
{
    const double semitones = kA4Note + 12.0 * std::log2(hz / kA4Hz);
    const double nearest = std::floor(semitones + 0.5);
    const auto note = static_cast<int32_t>(nearest);
    NoteName result;
    const int32_t letter = ((note % 12) + 12) % 12;
    const int32_t octave = (note - letter) / 12 - 1;
    result.name = std::string(kNoteLetters[letter]) + std::to_string(octave);
    result.cents = static_cast<int32_t>(std::lround((semitones - nearest) * 100.0));
    return result;
}

std::string FormatPitch(double hz)
{
    const NoteName note = NearestNote(hz);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f Hz%s%s %s%d ct", hz, kDot, note.name.c_str(),
                  note.cents < 0 ? kMinus : "+", note.cents < 0 ? -note.cents : note.cents);
    return text;
}

std::string FormatPitchAt(double hz, double seconds)
{
    char at[32];
    std::snprintf(at, sizeof at, " at %.2f s", seconds);
    return (hz > 0.0 ? FormatPitch(hz) : std::string("unvoiced")) + at;
}

}  // namespace vocalume
