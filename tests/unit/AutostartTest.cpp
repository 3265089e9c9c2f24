// SPDX-License-Identifier: MIT
#include "platform/Platform.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class AutostartTest : public ::testing::Test {
protected:
    TempDir m_home;
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_home.File("config")};
    std::string m_folder = m_home.File("config/autostart");
    std::string m_entry = m_folder + "/Orvantis.desktop";
};

TEST_F(AutostartTest, WritesOneValidEntryQuotedByTheDesktopEntryRulesAndDeletesIt) {
    ASSERT_EQ(platform::AutostartEntryPath(), m_entry);
    // Blanks, quotes, '$', '`', '\' and '%': quoted, escaped, then value-escaped.
    ASSERT_TRUE(platform::EnableAutostart(m_home.Path() + "/My Apps/or\"van$tis`100%\\x/orvantis"));
    EXPECT_EQ(ReadFileBytes(m_entry),
              "[Desktop Entry]\nType=Application\nName=Orvantis\nExec=\"" + m_home.Path() +
                  "/My Apps/or\\\\\"van\\\\$tis\\\\`100%%\\\\\\\\x/orvantis\" "
                  "-s\nIcon=com.tamberlo.Orvantis\n");
    EXPECT_EQ(std::system(("desktop-file-validate '" + m_entry + "'").c_str()), 0);

    ASSERT_TRUE(platform::EnableAutostart("/usr/bin/orvantis")); // rewritten on every OK
    EXPECT_NE(ReadFileBytes(m_entry).find("\nExec=/usr/bin/orvantis -s\n"), std::string::npos);
    EXPECT_TRUE(platform::IsAutostartEnabled());
    EXPECT_TRUE(platform::DisableAutostart());
    EXPECT_FALSE(fs::exists(m_entry));
    EXPECT_TRUE(platform::DisableAutostart()); // a missing entry is no error

    EXPECT_FALSE(platform::EnableAutostart("/opt/line\nbreak/orvantis"));
    EXPECT_FALSE(fs::exists(m_entry));
}

struct EntryCase {
    const char* text; // an entry found at the path, or a fault made there
    bool on;          // what the box shows
    bool written;     // whether ticking it writes an entry that is on
};

class AutostartStateTest : public AutostartTest, public ::testing::WithParamInterface<EntryCase> {};

// The box reads the truth, unticking leaves an entry the desktop switched off (it may hide
// one of the whole system), and nothing is ever written through a link.
TEST_P(AutostartStateTest, ShowsTheRealStateAndTouchesNothingElse) {
    const std::string text = GetParam().text;
    const std::string other = m_home.File("other.desktop");
    std::ofstream(other) << "keep";
    fs::create_directories(m_folder);
    if (text == "folder is a file") {
        fs::remove(m_folder);
        std::ofstream(m_folder) << "";
    } else if (text == "dangling link" || text == "link to another file") {
        fs::create_symlink(text == "dangling link" ? "missing.desktop" : other, m_entry);
    } else if (text == "directory") {
        fs::create_directory(m_entry);
    } else {
        std::ofstream(m_entry) << text;
    }
    EXPECT_EQ(platform::IsAutostartEnabled(), GetParam().on);
    EXPECT_TRUE(platform::DisableAutostart());
    EXPECT_EQ(fs::exists(fs::symlink_status(m_entry)),
              !GetParam().on && text != "folder is a file");

    EXPECT_EQ(platform::EnableAutostart("/usr/bin/orvantis"), GetParam().written);
    EXPECT_EQ(platform::IsAutostartEnabled(), GetParam().written);
    EXPECT_EQ(fs::is_regular_file(fs::symlink_status(m_entry)), GetParam().written);
    EXPECT_EQ(ReadFileBytes(other), "keep");
    std::error_code ec; // the folder may be a file
    for (const auto& item : fs::directory_iterator(m_folder, ec)) {
        EXPECT_NE(item.path().filename().string().rfind(".Orvantis", 0), 0u) << "left behind";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AutostartStateTest,
    ::testing::Values(
        EntryCase{"[Desktop Entry]\nExec=orvantis -s\nHidden=true\n", false, true},
        EntryCase{"[Desktop Entry]\r\nX-GNOME-Autostart-enabled = false\r\n", false, true},
        EntryCase{"[Desktop Entry]\nExec=orvantis -s\nHidden=false\n", true, true},
        EntryCase{"dangling link", false, true}, EntryCase{"link to another file", false, true},
        EntryCase{"directory", false, false}, EntryCase{"folder is a file", false, false}));

} // namespace
