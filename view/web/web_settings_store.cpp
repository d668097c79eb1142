#include "web_settings_store.h"

#include <charconv>

#include "page_bridge.h"

namespace vocalume {

int32_t WebSettingsStore::GetProfileInt(const std::string& section, const std::string& key, int32_t defaultValue)
{
    std::string text;
    if (!page::ReadSetting(section + "/" + key, text))
        return defaultValue;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // A damaged entry reads as no entry.
    return error == std::errc() && end == text.data() + text.size() ? value : defaultValue;
}

void WebSettingsStore::WriteProfileInt(const std::string& section, const std::string& key, int32_t value)
{
    page::WriteSetting(section + "/" + key, std::to_string(value));
}

std::string WebSettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                               const std::string& defaultValue)
{
    std::string text;
    return page::ReadSetting(section + "/" + key, text) ? text : defaultValue;
}

void WebSettingsStore::WriteProfileString(const std::string& section, const std::string& key, const std::string& value)
{
    page::WriteSetting(section + "/" + key, value);
}

}  // namespace vocalume
