#include "look_back.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vocalume {

void LookBack::Enter(int64_t liveEnd)
{
    m_active = true;
    m_right = liveEnd;
}

bool LookBack::SetRight(int64_t right, int64_t span, int64_t first, int64_t liveEnd)
{
    // The session's first frame can come no further right than the left edge;
    // a session shorter than the window does not move at all.
    const int64_t earliest = std::min(first + std::max<int64_t>(span, 1) - 1, liveEnd);
    right = std::clamp(right, earliest, liveEnd);
    const bool moved = right != m_right;
    m_right = right;
    return moved;
}

bool LookBack::Move(ViewKey key, int64_t span, int64_t first, int64_t liveEnd)
{
    const int64_t tenth = std::max<int64_t>(span / 10, 1);
    switch (key) {
    case ViewKey::Left: return SetRight(m_right - tenth, span, first, liveEnd);
    case ViewKey::Right: return SetRight(m_right + tenth, span, first, liveEnd);
    case ViewKey::PageUp: return SetRight(m_right - std::max<int64_t>(span, 1), span, first, liveEnd);
    case ViewKey::PageDown: return SetRight(m_right + std::max<int64_t>(span, 1), span, first, liveEnd);
    case ViewKey::Home: return SetRight(first, span, first, liveEnd);
    case ViewKey::End: return SetRight(liveEnd, span, first, liveEnd);
    }
    return false;
}

bool LookBack::Wheel(int notches, int64_t span, int64_t first, int64_t liveEnd)
{
    return SetRight(m_right - static_cast<int64_t>(notches) * std::max<int64_t>(span / 10, 1), span, first, liveEnd);
}

bool LookBack::ScrollTo(int64_t leftFrame, int64_t span, int64_t first, int64_t liveEnd)
{
    return SetRight(leftFrame + span - 1, span, first, liveEnd);
}

std::string FormatSessionTime(double seconds, bool tenths)
{
    const auto count = static_cast<int64_t>(std::floor(std::max(seconds, 0.0) * 10.0 + (tenths ? 0.5 : 0.0)));
    char text[32];
    if (tenths)
        std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(count / 600),
                      static_cast<long long>(count / 10 % 60), static_cast<long long>(count % 10));
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(count / 600),
                      static_cast<long long>(count / 10 % 60));
    return text;
}

}  // namespace vocalume
