#include "wx_settings_store.h"

#include <cstdint>

#include <wx/config.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>

#ifndef __WINDOWS__
#include <wx/fileconf.h>
#endif

namespace vocalume {
namespace {

wxString PathOf(const std::string& section, const std::string& key)
{
    return "/" + wxString::FromUTF8(section) + "/" + wxString::FromUTF8(key);
}

}  // namespace

WxSettingsStore::WxSettingsStore(std::unique_ptr<wxConfigBase> config) : m_config(std::move(config)) {}

WxSettingsStore::~WxSettingsStore()
{
    Flush();
}

wxString UserConfigFilePath(const wxString& vendor, const wxString& appName)
{
    wxStandardPaths& paths = wxStandardPaths::Get();
    paths.SetFileLayout(wxStandardPaths::FileLayout_XDG);
    // $XDG_CONFIG_HOME, or ~/.config when it is not set.
    wxFileName file(paths.GetUserConfigDir(), appName + ".conf");
    file.AppendDir(vendor);
    return file.GetFullPath();
}

std::unique_ptr<WxSettingsStore> WxSettingsStore::ForUser(const wxString& vendor, const wxString& appName)
{
#ifdef __WINDOWS__
    auto store = std::make_unique<WxSettingsStore>(std::make_unique<wxConfig>(appName, vendor));
    store->m_location = "HKEY_CURRENT_USER\\Software\\" + vendor + "\\" + appName;
#else
    const wxString path = UserConfigFilePath(vendor, appName);
    // The folder must exist before the file can be written at exit.
    wxFileName::Mkdir(wxFileName(path).GetPath(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    auto store = std::make_unique<WxSettingsStore>(
        std::make_unique<wxFileConfig>(appName, vendor, path, wxString(), wxCONFIG_USE_LOCAL_FILE));
    store->m_location = path;
#endif
    return store;
}

int32_t WxSettingsStore::GetProfileInt(const std::string& section, const std::string& key, int32_t defaultValue)
{
    long value = defaultValue;
    // A value that is not a 32-bit integer counts as missing.
    if (!m_config->Read(PathOf(section, key), &value, defaultValue) || value < INT32_MIN || value > INT32_MAX)
        return defaultValue;
    return static_cast<int32_t>(value);
}

void WxSettingsStore::WriteProfileInt(const std::string& section, const std::string& key, int32_t value)
{
    m_config->Write(PathOf(section, key), static_cast<long>(value));
}

void WxSettingsStore::Flush()
{
    if (m_config)
        m_config->Flush();
}

}  // namespace vocalume
