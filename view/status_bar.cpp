#include "status_bar.h"

#include <cstdio>

#include "look_back.h"

namespace vocalume {
namespace {

constexpr const char* kMinus = "\xE2\x88\x92";  // the minus sign

}  // namespace

void StatusBar::Attach(ViewHost* host)
{
    m_host = host;
    for (int field = 0; field < kStatusFields && m_host != nullptr; ++field)
        if (!m_texts[static_cast<size_t>(field)].empty())
            m_host->SetStatusText(static_cast<StatusField>(field), m_texts[static_cast<size_t>(field)]);
}

void StatusBar::Show(StatusField field, const std::string& text)
{
    std::string& shown = m_texts[static_cast<size_t>(field)];
    if (text == shown)
        return;
    shown = text;
    if (m_host != nullptr)
        m_host->SetStatusText(field, shown);
}

const char* StateText(const ViewActivity& activity)
{
    if (activity.recording)
        return "Recording";
    if (activity.playing)
        return activity.playingModel ? "Playing the model" : "Playing";
    return activity.lookingBack ? "Looking back" : "Paused";
}

std::string PositionText(double sessionSeconds, bool recording, double secondsBack)
{
    std::string position = FormatSessionTime(sessionSeconds, !recording);
    if (secondsBack < 0.0)
        return position;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s of ", secondsBack);
    return (secondsBack > 0.0 ? std::string(kMinus) : std::string()) + text + position;
}

}  // namespace vocalume
