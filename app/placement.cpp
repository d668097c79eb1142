#include "placement.h"

#include <algorithm>
#include <cstdint>

namespace vocalume {
namespace {

const char* const kSection = "position";

// A frame counts as visible on a display when at least this much of it, in
// each direction, lies in the display's work area: enough to see it and to
// take hold of it with the mouse.
constexpr int64_t kMinVisible = 48;

// How many pixels of [from, from + length) lie in [areaFrom, areaFrom + areaLength).
// 64-bit, so that no stored value can overflow.
int64_t Overlap(int64_t from, int64_t length, int64_t areaFrom, int64_t areaLength)
{
    return std::max<int64_t>(0, std::min(from + length, areaFrom + areaLength) - std::max(from, areaFrom));
}

bool VisibleOn(const FrameRect& rect, const FrameRect& area)
{
    return Overlap(rect.left, rect.width, area.left, area.width) >= std::min<int64_t>(kMinVisible, rect.width) &&
           Overlap(rect.top, rect.height, area.top, area.height) >= std::min<int64_t>(kMinVisible, rect.height);
}

}  // namespace

std::optional<FrameRect> LoadPlacement(SettingsStore& store)
{
    if (store.GetProfileInt(kSection, "maximised", 1) != 0)
        return std::nullopt;
    FrameRect rect;
    rect.left = store.GetProfileInt(kSection, "left", 50);
    rect.top = store.GetProfileInt(kSection, "top", 50);
    rect.width = store.GetProfileInt(kSection, "width", kDefaultFrameWidth);
    rect.height = store.GetProfileInt(kSection, "height", kDefaultFrameHeight);
    return rect;
}

FrameRect FirstFrameSize(const DisplayLayout& displays)
{
    FrameRect rect{0, 0, kDefaultFrameWidth, kDefaultFrameHeight};
    if (displays.workAreas.empty())
        return rect;
    const FrameRect& area = displays.workAreas[displays.primary < displays.workAreas.size() ? displays.primary : 0];
    if (rect.width > area.width)
        rect.width = std::max(area.width * 9 / 10, 1);
    if (rect.height > area.height)
        rect.height = std::max(area.height * 9 / 10, 1);
    return rect;
}

bool LoadMaximised(SettingsStore& store) { return store.GetProfileInt(kSection, "maximised", 0) == 1; }

FrameRect FitToDisplays(FrameRect rect, const DisplayLayout& displays)
{
    if (rect.width <= 0)
        rect.width = kDefaultFrameWidth;
    if (rect.height <= 0)
        rect.height = kDefaultFrameHeight;
    const std::vector<FrameRect>& areas = displays.workAreas;
    if (areas.empty())
        return rect;

    // The display the frame lies on most; the primary one if it lies on none.
    size_t home = displays.primary < areas.size() ? displays.primary : 0;
    int64_t most = 0;
    for (size_t i = 0; i < areas.size(); ++i) {
        const FrameRect& a = areas[i];
        const int64_t shared = Overlap(rect.left, rect.width, a.left, a.width) *
                               Overlap(rect.top, rect.height, a.top, a.height);
        if (shared > most) {
            most = shared;
            home = i;
        }
    }

    const FrameRect& area = areas[home];
    if (rect.width > area.width) {
        rect.width = std::max(area.width, 1);
        rect.left = area.left;
    }
    if (rect.height > area.height) {
        rect.height = std::max(area.height, 1);
        rect.top = area.top;
    }
    if (VisibleOn(rect, area))
        return rect;

    const FrameRect& primary = areas[displays.primary < areas.size() ? displays.primary : 0];
    rect.width = std::clamp(rect.width, 1, std::max(primary.width, 1));
    rect.height = std::clamp(rect.height, 1, std::max(primary.height, 1));
    rect.left = primary.left + (primary.width - rect.width) / 2;
    rect.top = primary.top + (primary.height - rect.height) / 2;
    return rect;
}

void SavePlacement(SettingsStore& store, FrameShowState state, const FrameRect& rect)
{
    switch (state) {
    case FrameShowState::Minimised:
        return;
    case FrameShowState::Maximised:
        store.WriteProfileInt(kSection, "maximised", 1);
        return;
    case FrameShowState::Normal:
        store.WriteProfileInt(kSection, "maximised", 0);
        store.WriteProfileInt(kSection, "left", rect.left);
        store.WriteProfileInt(kSection, "top", rect.top);
        store.WriteProfileInt(kSection, "width", rect.width);
        store.WriteProfileInt(kSection, "height", rect.height);
        return;
    }
}

}  // namespace vocalume
