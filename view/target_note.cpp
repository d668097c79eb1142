#include "target_note.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "pitch_line.h"
#include "pitch_readout.h"

namespace vocalume {
namespace {

constexpr int32_t kA4Note = 69;
constexpr double kA4Hz = 440.0;
constexpr const char* kDot = " \xC2\xB7 ";

int32_t CentsIndex(int32_t cents)
{
    for (size_t i = 0; i < std::size(kTargetCentsChoices); ++i)
        if (kTargetCentsChoices[i] == cents)
            return static_cast<int32_t>(i);
    return -1;
}

}  // namespace

bool TargetNoteUsable(int32_t note)
{
    return note == kNoTargetNote || (note >= kLowestTargetNote && note <= kHighestTargetNote);
}

bool TargetCentsUsable(int32_t cents) { return CentsIndex(cents) >= 0; }

double TargetNoteHz(int32_t note) { return kA4Hz * std::exp2((note - kA4Note) / 12.0); }

std::string TargetNoteName(int32_t note) { return NearestNote(TargetNoteHz(note)).name; }

const std::vector<std::string>& TargetNoteEntries()
{
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> list{"No target"};
        for (int32_t note = kLowestTargetNote; note <= kHighestTargetNote; ++note) {
            char hz[32];
            std::snprintf(hz, sizeof hz, "%.0f Hz", TargetNoteHz(note));
            list.push_back(TargetNoteName(note) + kDot + hz);
        }
        return list;
    }();
    return entries;
}

const std::vector<std::string>& TargetCentsEntries()
{
    static const std::vector<std::string> entries = [] {
        std::vector<std::string> list;
        for (const int32_t cents : kTargetCentsChoices)
            list.push_back("\xC2\xB1 " + std::to_string(cents) + " ct");
        return list;
    }();
    return entries;
}

TargetValues TargetToDialog(const ViewSettings& settings)
{
    TargetValues values;
    // The dialog is opened to set a target: with none set, its list opens on
    // a note in reach rather than at the bottom of the scale.
    const int32_t note = settings.targetNote == kNoTargetNote ? kFirstOfferedTargetNote : settings.targetNote;
    values.note = note - kLowestTargetNote + 1;
    values.cents = CentsIndex(settings.targetCents);
    return values;
}

void TargetFromDialog(const TargetValues& values, ViewSettings& settings)
{
    const auto notes = static_cast<int32_t>(TargetNoteEntries().size());
    if (values.note == 0)
        settings.targetNote = kNoTargetNote;
    else if (values.note > 0 && values.note < notes)
        settings.targetNote = kLowestTargetNote + values.note - 1;
    if (values.cents >= 0 && values.cents < static_cast<int32_t>(std::size(kTargetCentsChoices)))
        settings.targetCents = kTargetCentsChoices[values.cents];
}

std::string TargetDistanceText(double hz, const ViewSettings& settings)
{
    if (settings.targetNote == kNoTargetNote || !(hz > 0.0))
        return {};
    const std::string name = TargetNoteName(settings.targetNote);
    const auto cents = static_cast<int32_t>(std::lround(1200.0 * std::log2(hz / TargetNoteHz(settings.targetNote))));
    if (std::abs(cents) <= settings.targetCents)
        return kDot + std::string("on ") + name;
    return kDot + std::to_string(std::abs(cents)) + (cents < 0 ? " ct below " : " ct above ") + name;
}

void TargetLine::Draw(const Canvas& canvas)
{
    const double hz = TargetNoteHz(m_settings.targetNote);
    // The picture's tiny font is ASCII: its label of F♯3 is "F#3".
    std::string label;
    for (const char c : TargetNoteName(m_settings.targetNote))
        if (static_cast<unsigned char>(c) < 0x80)
            label += c;
        else if (static_cast<unsigned char>(c) == 0xE2)  // the sharp's first byte
            label += '#';
    DrawPitchTarget(canvas.SessionLane(), hz, m_settings.targetCents, label);
    if (m_lanes.HasModel())
        DrawPitchTarget(canvas.ModelLane(), hz, m_settings.targetCents, label);
}

}  // namespace vocalume
