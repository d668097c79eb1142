// The program's settings store over wxConfig, kept in memory: sections are
// config groups and values integers, as they appear in the user's file.
#include <cstdlib>
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

}  // namespace
}  // namespace vocalume
