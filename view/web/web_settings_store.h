// The settings in the browser's local storage, by the desktop's sections and
// keys ("config/refresh"), each written as it is saved.
//
// Threads: the page's one thread.
#pragma once

#include "settings_store.h"

namespace vocalume {

class WebSettingsStore final : public SettingsStore {
public:
    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& key, int32_t value) override;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) override;
};

}  // namespace vocalume
