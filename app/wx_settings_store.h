// The program's settings store over wxConfig: each section is a config group
// and each value an integer. On Linux that is an XDG config file, on Windows
// the registry under the company key and the application's name.
#pragma once

#include <memory>
#include <string>

#include <wx/string.h>

#include "settings_store.h"

class wxConfigBase;

namespace vocalume {

class WxSettingsStore : public SettingsStore {
public:
    // A store over `config`, which it owns and flushes when destroyed; a
    // file config is written to `path` (none: kept in memory), whole or not
    // at all.
    explicit WxSettingsStore(std::unique_ptr<wxConfigBase> config, std::string path = {});
    ~WxSettingsStore() override;

    // The store of the running program, under `vendor` and `appName`. A
    // settings file that cannot be read as one (random bytes, a broken
    // line) is moved aside to "<file>.damaged" and the store starts empty, so
    // that every value takes its default and a clean file is written at exit.
    static std::unique_ptr<WxSettingsStore> ForUser(const wxString& vendor, const wxString& appName);

    int32_t GetProfileInt(const std::string& section, const std::string& key, int32_t defaultValue) override;
    void WriteProfileInt(const std::string& section, const std::string& key, int32_t value) override;
    std::string GetProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) override;
    void WriteProfileString(const std::string& section, const std::string& key, const std::string& value) override;

    // Writes the values to their file (whole, keeping its permissions) or
    // registry key.
    void Flush();

    // What the user should be told once about the settings file found at
    // start-up (it was damaged and has been set aside); empty when all is well.
    const wxString& StartupProblem() const { return m_startupProblem; }

    wxConfigBase& Config() { return *m_config; }

private:
    std::unique_ptr<wxConfigBase> m_config;
    std::string m_path;
    wxString m_startupProblem;
};

// The config file the program uses on Linux:
// <XDG config dir>/<vendor>/<appName>.conf.
wxString UserConfigFilePath(const wxString& vendor, const wxString& appName);

}  // namespace vocalume
