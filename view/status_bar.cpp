#include "status_bar.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "look_back.h"

namespace vocalume {
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

std::string PositionText(double sessionSeconds, double secondsBack)
{
    const std::string length = FormatSessionTime(sessionSeconds);
    if (secondsBack < 0.0)
        return length;
    return FormatSessionTime(sessionSeconds - secondsBack) + " of " + length;
}

std::vector<int> FitStatusWidths(const std::vector<int>& needs, const std::vector<int>& shares, int total)
{
    std::vector<int> widths = needs;
    int used = std::accumulate(needs.begin(), needs.end(), 0);
    if (used <= total) {
        const int shareSum = std::max(std::accumulate(shares.begin(), shares.end(), 0), 1);
        const int spare = total - used;
        for (size_t i = 0; i < widths.size() && i < shares.size(); ++i)
            widths[i] += spare * shares[i] / shareSum;
        return widths;
    }
    // Too narrow: the widest field gives up a pixel at a time, so that short
    // texts (the state, the position) stay whole the longest.
    while (used > total) {
        const auto widest = std::max_element(widths.begin(), widths.end());
        if (*widest <= 0)
            break;
        --*widest;
        --used;
    }
    return widths;
}

}  // namespace vocalume
