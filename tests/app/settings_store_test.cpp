// The program's settings store over wxConfig, kept in memory: sections are
// config groups and values integers, as they appear in the user's file.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include <wx/fileconf.h>
#include <wx/init.h>
#include <wx/sstream.h>

#include "wx_settings_store.h"

namespace vocalume {
namespace {

std::unique_ptr<WxSettingsStore> StoreOver(const wxString& text)
{
    wxStringInputStream in(text);
    return std::make_unique<WxSettingsStore>(std::make_unique<wxFileConfig>(in));
}

wxString Saved(WxSettingsStore& store)
{
    wxString text;
    wxStringOutputStream out(&text);
    static_cast<wxFileConfig&>(store.Config()).Save(out);
    return text;
}

TEST(WxSettingsStoreTest, ReadsStoredValuesAndDefaultsForMissingOnes)
{
    auto store = StoreOver("[config]\nrefresh=15\nsampling=-2\n[position]\nmaximised=0\n");
    EXPECT_EQ(store->GetProfileInt("config", "refresh", 10), 15);
    EXPECT_EQ(store->GetProfileInt("config", "sampling", 3), -2);
    EXPECT_EQ(store->GetProfileInt("config", "waveform", 1), 1);
    EXPECT_EQ(store->GetProfileInt("position", "maximised", 1), 0);
    // The same key in another section is another value.
    EXPECT_EQ(store->GetProfileInt("position", "refresh", 7), 7);
}

TEST(WxSettingsStoreTest, ValuesThatAreNotIntegersCountAsMissing)
{
    auto store = StoreOver("[config]\nrefresh=fast\nsampling=99999999999\n");
    EXPECT_EQ(store->GetProfileInt("config", "refresh", 10), 10);
    EXPECT_EQ(store->GetProfileInt("config", "sampling", 3), 3);
}

TEST(WxSettingsStoreTest, WritesSectionsAsGroups)
{
    auto store = StoreOver("");
    store->WriteProfileInt("config", "refresh", 20);
    store->WriteProfileInt("position", "left", -8);
    store->WriteProfileInt("config", "refresh", 25);
    EXPECT_EQ(store->GetProfileInt("config", "refresh", 0), 25);
    const wxString text = Saved(*store);
    EXPECT_NE(text.Find("[config]"), wxNOT_FOUND) << text;
    EXPECT_NE(text.Find("refresh=25"), wxNOT_FOUND) << text;
    EXPECT_NE(text.Find("[position]"), wxNOT_FOUND) << text;
    EXPECT_NE(text.Find("left=-8"), wxNOT_FOUND) << text;
}

TEST(WxSettingsStoreTest, UserFileLivesUnderTheXdgConfigFolder)
{
    // The standard paths need an application object; a console one will do.
    wxInitializer wx;
    ASSERT_TRUE(wx.IsOk());
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/vocalume-xdg", 1);
    EXPECT_EQ(UserConfigFilePath("Larkspur Tools", "Vocalume - The Sound Prism"),
              "/tmp/vocalume-xdg/Larkspur Tools/Vocalume - The Sound Prism.conf");
    if (saved)
        setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

// A fresh folder as $XDG_CONFIG_HOME for its lifetime.
class ConfigHome {
public:
    ConfigHome()
    {
        const char* saved = std::getenv("XDG_CONFIG_HOME");
        m_saved = saved != nullptr;
        m_restore = saved ? saved : "";
        m_ok = mkdtemp(m_folder) != nullptr;
        setenv("XDG_CONFIG_HOME", m_folder, 1);
    }
    ~ConfigHome()
    {
        std::filesystem::remove_all(m_folder);
        if (m_saved)
            setenv("XDG_CONFIG_HOME", m_restore.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    bool Ok() const { return m_ok; }
    std::string Folder() const { return m_folder; }

private:
    char m_folder[32] = "/tmp/vocalume-settings-XXXXXX";
    bool m_saved = false, m_ok = false;
    std::string m_restore;
};

TEST(WxSettingsStoreTest, DamagedFileIsSetAsideOnceAndReplacedByACleanOne)
{
    wxInitializer wx;
    ASSERT_TRUE(wx.IsOk());
    const ConfigHome home;
    ASSERT_TRUE(home.Ok());
    const std::string file = home.Folder() + "/Larkspur Tools/Vocalume.conf";
    std::filesystem::create_directories(std::filesystem::path(file).parent_path());

    // Random bytes, NULs and broken UTF-8 included, after a line with no name.
    std::string garbage = "=5\n";
    uint32_t x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>(x >> 23);
    }
    std::ofstream(file, std::ios::binary) << garbage;
    const auto contents = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    {
        auto store = WxSettingsStore::ForUser("Larkspur Tools", "Vocalume");
        EXPECT_NE(store->StartupProblem().Find(".damaged"), wxNOT_FOUND) << store->StartupProblem();
        EXPECT_EQ(store->GetProfileInt("config", "refresh", 10), 10);
        EXPECT_EQ(store->GetProfileInt("position", "maximised", 1), 1);
        store->WriteProfileInt("config", "refresh", 15);
    }
    EXPECT_EQ(contents(file + ".damaged"), garbage);
    const std::string clean = contents(file);
    EXPECT_NE(clean.find("[config]"), std::string::npos) << clean;
    EXPECT_NE(clean.find("refresh=15"), std::string::npos) << clean;
    EXPECT_EQ(clean.find('\0'), std::string::npos);

    // The next start finds a sound file and says nothing.
    auto again = WxSettingsStore::ForUser("Larkspur Tools", "Vocalume");
    EXPECT_TRUE(again->StartupProblem().empty()) << again->StartupProblem();
    EXPECT_EQ(again->GetProfileInt("config", "refresh", 10), 15);
}

// A folder where the settings file belongs: said once at start-up, the
// program runs on its defaults, and nothing is left beside it or in it.
TEST(WxSettingsStoreTest, AFolderWhereTheFileBelongsIsToldOnceAndLeftAlone)
{
    wxInitializer wx;
    ASSERT_TRUE(wx.IsOk());
    const ConfigHome home;
    ASSERT_TRUE(home.Ok());
    const std::filesystem::path vendor = std::filesystem::path(home.Folder()) / "Larkspur Tools";
    std::filesystem::create_directories(vendor / "Vocalume.conf");
    {
        auto store = WxSettingsStore::ForUser("Larkspur Tools", "Vocalume");
        EXPECT_NE(store->StartupProblem().Find("is a folder"), wxNOT_FOUND) << store->StartupProblem();
        store->WriteProfileInt("config", "refresh", 15);
        EXPECT_EQ(store->GetProfileInt("config", "refresh", 10), 15);
        store->Flush();
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(vendor), {}), 1);
    EXPECT_TRUE(std::filesystem::is_empty(vendor / "Vocalume.conf"));
}

}  // namespace
}  // namespace vocalume
