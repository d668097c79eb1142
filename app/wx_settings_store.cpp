#include "wx_settings_store.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include <wx/config.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>

#include "whole_file.h"

#ifndef __WINDOWS__
#include <wx/fileconf.h>
#include <wx/log.h>
#include <wx/sstream.h>
#endif

namespace vocalume {
namespace {

wxString PathOf(const std::string& section, const std::string& key)
{
    return "/" + wxString::FromUTF8(section) + "/" + wxString::FromUTF8(key);
}

#ifndef __WINDOWS__
int* g_assertCount = nullptr;

void CountAssert(const wxString&, int, const wxString&, const wxString&, const wxString&)
{
    if (g_assertCount != nullptr)
        ++*g_assertCount;
}

// Counts, without showing them, the warnings and errors logged and the
// failed checks met while it exists: how wxFileConfig tells of lines it
// cannot read (a line with no name trips a check, not the log).
class ProblemCounter : public wxLog {
public:
    ProblemCounter() : m_previous(wxLog::SetActiveTarget(this))
    {
        g_assertCount = &m_problems;
        m_previousAssert = wxSetAssertHandler(&CountAssert);
    }
    ~ProblemCounter() override
    {
        wxSetAssertHandler(m_previousAssert);
        g_assertCount = nullptr;
        wxLog::SetActiveTarget(m_previous);
    }
    ProblemCounter(const ProblemCounter&) = delete;
    ProblemCounter& operator=(const ProblemCounter&) = delete;

    int Problems() const { return m_problems; }

protected:
    void DoLogRecord(wxLogLevel level, const wxString&, const wxLogRecordInfo&) override
    {
        if (level <= wxLOG_Warning)
            ++m_problems;
    }

private:
    wxLog* m_previous;
    wxAssertHandler_t m_previousAssert = nullptr;
    int m_problems = 0;
};

std::unique_ptr<wxFileConfig> OpenFileConfig(const wxString& vendor, const wxString& appName,
                                             const wxString& path, bool& damaged)
{
    ProblemCounter problems;
    auto config = std::make_unique<wxFileConfig>(appName, vendor, path, wxString(), wxCONFIG_USE_LOCAL_FILE);
    damaged = problems.Problems() > 0;
    return config;
}
#endif

}  // namespace

WxSettingsStore::WxSettingsStore(std::unique_ptr<wxConfigBase> config, std::string path)
    : m_config(std::move(config)), m_path(std::move(path))
{
#ifndef __WINDOWS__
    // Written by Flush alone, never by the config's own temporary files.
    if (auto* file = dynamic_cast<wxFileConfig*>(m_config.get()))
        file->DisableAutoSave();
#endif
}

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
    return std::make_unique<WxSettingsStore>(std::make_unique<wxConfig>(appName, vendor));
#else
    const wxString path = UserConfigFilePath(vendor, appName);
    // The folder must exist before the file can be written at exit.
    wxFileName::Mkdir(wxFileName(path).GetPath(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
    struct stat existing {};
    if (::stat(path.utf8_string().c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        // A folder (or anything else) where the file belongs is neither read
        // nor written over; said once, at start-up.
        wxStringInputStream nothing(wxString{});
        auto store = std::make_unique<WxSettingsStore>(std::make_unique<wxFileConfig>(nothing));
        store->m_startupProblem = "The settings file \"" + path + "\" is " +
                                  (S_ISDIR(existing.st_mode) ? "a folder" : "not a file") +
                                  ". The program starts with its default settings and will not save them; "
                                  "move it away to keep your settings.";
        return store;
    }
    bool damaged = false;
    std::unique_ptr<wxFileConfig> config = OpenFileConfig(vendor, appName, path, damaged);
    if (!damaged)
        return std::make_unique<WxSettingsStore>(std::move(config), path.utf8_string());

    // Kept whole for the user to look at; the next start finds no damage and
    // says nothing.
    config.reset();
    const wxString copy = path + ".damaged";
    wxString problem;
    std::string written;
    if (wxRenameFile(path, copy, true)) {
        config = OpenFileConfig(vendor, appName, path, damaged);
        written = path.utf8_string();
        problem = "The settings file \"" + path + "\" was damaged. It has been kept as \"" + copy +
                  "\"; the program starts with its default settings.";
    } else {
        // It cannot be moved aside, so it is neither used nor overwritten.
        wxStringInputStream nothing(wxString{});
        config = std::make_unique<wxFileConfig>(nothing);
        problem = "The settings file \"" + path + "\" is damaged and could not be set aside. " +
                  "The program starts with its default settings and will not save them.";
    }
    auto store = std::make_unique<WxSettingsStore>(std::move(config), written);
    store->m_startupProblem = problem;
    return store;
#endif
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

std::string WxSettingsStore::GetProfileString(const std::string& section, const std::string& key,
                                              const std::string& defaultValue)
{
    wxString value;
    if (!m_config->Read(PathOf(section, key), &value))
        return defaultValue;
    return value.utf8_string();
}

void WxSettingsStore::WriteProfileString(const std::string& section, const std::string& key,
                                         const std::string& value)
{
    m_config->Write(PathOf(section, key), wxString::FromUTF8(value));
}

void WxSettingsStore::Flush()
{
    if (!m_config)
        return;
#ifndef __WINDOWS__
    auto* file = dynamic_cast<wxFileConfig*>(m_config.get());
    if (file != nullptr && !m_path.empty()) {
        wxString text;
        wxStringOutputStream out(&text);
        file->Save(out, wxConvUTF8);
        // Nobody is left to tell at exit but the terminal.
        if (const std::string problem = WriteFileWhole(m_path, text.utf8_string()); !problem.empty())
            std::fprintf(stderr, "vocalume: %s\n", problem.c_str());
        return;
    }
#endif
    m_config->Flush();
}

}  // namespace vocalume
