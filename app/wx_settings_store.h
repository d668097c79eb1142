// The program's settings store over wxConfig: each section is a config group
// and each value an integer. On Linux that is an XDG config file, on Windows
// the registry under the company key and the application's name.
#pragma once

#include <memory>

#include <wx/string.h>

#include "settings_store.h"

class wxConfigBase;

namespace vocalume {

class WxSettingsStore : public SettingsStore {
public:
    // A store over `config`, which it owns and flushes when destroyed.
    explicit WxSettingsStore(std::unique_ptr<wxConfigBase> config);
    ~WxSettingsStore() override;

    // The store of the running program, under `vendor` and `appName`.
    static std::unique_ptr<WxSettingsStore> ForUser(const wxString& vendor, const wxString& appName);

    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& key, int32_t value) override;

    // Writes pending values to their file or registry key.
    void Flush();
    // Where the values live, for the user to find them.
    wxString Location() const { return m_location; }

    wxConfigBase& Config() { return *m_config; }

private:
    std::unique_ptr<wxConfigBase> m_config;
    wxString m_location;
};

// The config file the program uses on Linux:
// <XDG config dir>/<vendor>/<appName>.conf.
wxString UserConfigFilePath(const wxString& vendor, const wxString& appName);

}  // namespace vocalume
