#include "view_settings.h"

#include <cstdlib>

#include "target_note.h"

namespace vocalume {
namespace {

constexpr const char* kConfigSection = "config";
constexpr const char* kHistorySection = "history";
constexpr const char* kModelSection = "model";

}  // namespace

bool RefreshUsable(int32_t refresh) { return refresh >= 1 && refresh <= kMaxRefresh; }
bool SamplingUsable(int32_t sampling) { return sampling >= 1; }
bool HistoryUsable(int32_t minutes)
{
    for (const int32_t choice : kHistoryMinuteChoices)
        if (minutes == choice)
            return true;
    return false;
}

ViewSettings ViewSettings::Load(SettingsStore& store)
{
    ViewSettings s;
    s.refresh = store.GetProfileInt(kConfigSection, "refresh", kDefaultRefresh);
    s.sampling = store.GetProfileInt(kConfigSection, "sampling", kDefaultSampling);
    s.waveform = store.GetProfileInt(kConfigSection, "waveform", 1);
    s.timescale = store.GetProfileInt(kConfigSection, "timescale", 1);
    s.palette = PaletteFromSetting(store.GetProfileInt(kConfigSection, "palette", 0));
    s.pitchLine = store.GetProfileInt(kConfigSection, "pitchline", 0) != 0;
    s.followTiming = store.GetProfileInt(kConfigSection, "followtiming", 0) != 0;
    s.input = store.GetProfileString(kConfigSection, "input", "");
    s.zoom = store.GetProfileInt(kConfigSection, "zoom", 1);
    // Anything but 1 (hand-edited, or a damaged store) is the default, off.
    s.lowLatency = store.GetProfileInt(kConfigSection, "lowlatency", 0) == 1;
    s.targetNote = store.GetProfileInt(kConfigSection, "targetnote", kNoTargetNote);
    s.targetCents = store.GetProfileInt(kConfigSection, "targetcents", kDefaultTargetCents);
    s.historyMinutes = store.GetProfileInt(kHistorySection, "minutes", kDefaultHistoryMinutes);
    s.modelFile = store.GetProfileString(kModelSection, "file", "");
    s.Validate();
    return s;
}

void ViewSettings::Validate()
{
    if (!RefreshUsable(refresh))
        refresh = kDefaultRefresh;
    if (!SamplingUsable(sampling))
        sampling = kDefaultSampling;
    if (!HistoryUsable(historyMinutes))
        historyMinutes = kDefaultHistoryMinutes;
    palette = PaletteFromSetting(static_cast<int32_t>(palette));
    if (!ZoomUsable(zoom))
        zoom = 1;
    if (!TargetNoteUsable(targetNote))
        targetNote = kNoTargetNote;
    if (!TargetCentsUsable(targetCents))
        targetCents = kDefaultTargetCents;
}

void ViewSettings::Save(SettingsStore& store, const ViewSettings& loaded) const
{
    store.WriteProfileInt(kConfigSection, "refresh", refresh);
    store.WriteProfileInt(kConfigSection, "sampling", sampling);
    store.WriteProfileInt(kConfigSection, "waveform", waveform);
    store.WriteProfileInt(kConfigSection, "timescale", timescale);
    store.WriteProfileInt(kConfigSection, "palette", static_cast<int32_t>(palette));
    store.WriteProfileInt(kConfigSection, "pitchline", pitchLine ? 1 : 0);
    store.WriteProfileInt(kConfigSection, "followtiming", followTiming ? 1 : 0);
    store.WriteProfileString(kConfigSection, "input", input);
    store.WriteProfileInt(kConfigSection, "zoom", zoom);
    store.WriteProfileInt(kConfigSection, "lowlatency", lowLatency ? 1 : 0);
    store.WriteProfileInt(kConfigSection, "targetnote", targetNote);
    store.WriteProfileInt(kConfigSection, "targetcents", targetCents);
    store.WriteProfileInt(kHistorySection, "minutes", historyMinutes);
    if (modelFile != loaded.modelFile)
        store.WriteProfileString(kModelSection, "file", modelFile);
}

ConfigValues ViewSettings::ToDialog() const
{
    ConfigValues values;
    values.refresh = std::to_string(refresh);
    values.sampling = std::to_string(sampling);
    values.waveform = waveform;
    values.timescale = timescale;
    values.palette = static_cast<int>(palette);
    values.input = input;
    values.lowLatency = lowLatency ? 1 : 0;
    values.history = std::to_string(historyMinutes);
    return values;
}

void ViewSettings::FromDialog(const ConfigValues& values)
{
    const int32_t newRefresh = std::atoi(values.refresh.c_str());
    const int32_t newSampling = std::atoi(values.sampling.c_str());
    const int32_t newMinutes = std::atoi(values.history.c_str());
    if (RefreshUsable(newRefresh))
        refresh = newRefresh;
    if (SamplingUsable(newSampling))
        sampling = newSampling;
    if (HistoryUsable(newMinutes))
        historyMinutes = newMinutes;
    waveform = values.waveform;
    timescale = values.timescale;
    palette = PaletteFromSetting(values.palette);
    input = values.input;
    lowLatency = values.lowLatency != 0;
}

}  // namespace vocalume
