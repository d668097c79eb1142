#include "config_exchange.h"

namespace vocalume {

const std::vector<std::string>& RefreshRateEntries()
{
    static const std::vector<std::string> entries{"5", "10", "15", "20", "25"};
    return entries;
}

const std::vector<std::string>& SamplingRatioEntries()
{
    static const std::vector<std::string> entries{"1", "2", "3", "4", "5"};
    return entries;
}

const std::vector<std::string>& PaletteEntries()
{
    static const std::vector<std::string> entries{"Standard", "Colour-blind safe"};
    return entries;
}

int FirstEntryBeginningWith(const std::vector<std::string>& entries, const std::string& text)
{
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].starts_with(text))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TextOfSelection(const std::vector<std::string>& entries, int selection, const std::string& current)
{
    if (selection < 0 || static_cast<size_t>(selection) >= entries.size())
        return current;
    return entries[static_cast<size_t>(selection)];
}

int EntryIndexOrFirst(const std::vector<std::string>& entries, int index)
{
    return index >= 0 && static_cast<size_t>(index) < entries.size() ? index : 0;
}

}  // namespace vocalume
