#include "placement.h"

namespace vocalume {
namespace {

const char* const kSection = "position";

}  // namespace

std::optional<FrameRect> LoadPlacement(SettingsStore& store)
{
    if (store.GetProfileInt(kSection, "maximised", 1) != 0)
        return std::nullopt;
    FrameRect rect;
    rect.left = store.GetProfileInt(kSection, "left", 50);
    rect.top = store.GetProfileInt(kSection, "top", 50);
    rect.width = store.GetProfileInt(kSection, "width", 700);
    rect.height = store.GetProfileInt(kSection, "height", 500);
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
