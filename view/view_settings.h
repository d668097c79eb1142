// The view's settings, typed: what the "config", "history" and "model"
// sections of the settings store hold for it, how they are read (values that
// cannot work replaced by the defaults), written back, and exchanged with the
// Configuration dialog. The window's view loads them from the user's store
// and saves them when it goes; a view that analyses a file is given them.
//
// Threads: plain values; whoever owns a copy.
#pragma once

#include <cstdint>
#include <string>

#include "column_description.h"
#include "column_palette.h"
#include "column_zoom.h"
#include "settings_store.h"
#include "view_host.h"

namespace vocalume {

// Default values of the "config" settings.
inline constexpr int32_t kDefaultRefresh = 10;
inline constexpr int32_t kDefaultSampling = 3;
inline constexpr int32_t kMaxRefresh = 30;
// The "history" setting "minutes": how much of the session is kept.
inline constexpr int32_t kDefaultHistoryMinutes = 30;
inline constexpr int32_t kHistoryMinuteChoices[] = {1, 5, 10, 30, 60, 120};
// The "targetnote" of no target, and the cents either side of a target that
// count as on it unless the user chose otherwise.
inline constexpr int32_t kNoTargetNote = 0;
inline constexpr int32_t kDefaultTargetCents = 25;

// A refresh rate outside 1..30 would divide by zero or make capture buffers
// shorter than a frame; a ratio below 1 would divide by zero in the analysis;
// the minutes kept are one of the dialog's choices.
bool RefreshUsable(int32_t refresh);
bool SamplingUsable(int32_t sampling);
bool HistoryUsable(int32_t minutes);

struct ViewSettings {
    // "config": pictures a second, frames analysed per frame shown (the
    // undersampling ratio), the waveform trace and the time ticks (0 off),
    // the colours, the pitch line, following the take's timing, the input's
    // stable name (empty: the default input), the zoom, and the low-latency
    // picture ("lowlatency", 1 or 0: short capture buffers, the picture a few
    // milliseconds behind the voice at the cost of scrolling 125 times a
    // second).
    int32_t refresh = kDefaultRefresh;
    int32_t sampling = kDefaultSampling;
    int32_t waveform = 1;
    int32_t timescale = 1;
    Palette palette = Palette::Standard;
    bool pitchLine = false;
    // View › Follow my timing: the model lane drawn on the take's time axis.
    bool followTiming = false;
    std::string input;
    // Frames a column: View › Zoom out and Zoom in (one of kZoomLevels).
    int32_t zoom = 1;
    bool lowLatency = false;
    // View › Target note…: the note ("targetnote", semitones from C-1, 0 for
    // none) and the cents either side that count as on it ("targetcents").
    int32_t targetNote = kNoTargetNote;
    int32_t targetCents = kDefaultTargetCents;
    // "history": the minutes of session kept.
    int32_t historyMinutes = kDefaultHistoryMinutes;
    // "model": the model open now, or the one open at the last exit until
    // another is opened or the model is closed.
    std::string modelFile;

    // The stored settings; values that cannot work (hand-edited, or from a
    // damaged store) are the defaults.
    static ViewSettings Load(SettingsStore& store);
    // Replaces values that cannot work by the defaults.
    void Validate();
    // How columns are drawn with these settings.
    ColumnStyle Style() const { return ColumnStyle{kRecordingRate, waveform, timescale, palette, zoom}; }
    // Writes every setting back; the model's only when it differs from
    // `loaded`'s, so that a store never touched by a model stays without
    // that section.
    void Save(SettingsStore& store, const ViewSettings& loaded) const;

    // The Configuration dialog's values as it shows them (the list of inputs
    // is the caller's to fill).
    ConfigValues ToDialog() const;
    // Takes what the dialog chose. A list left without a selection, or a text
    // that is no usable number, keeps the value it had.
    void FromDialog(const ConfigValues& values);
};

}  // namespace vocalume
