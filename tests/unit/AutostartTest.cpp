// SPDX-License-Identifier: MIT
#include "platform/Platform.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class AutostartTest : public ::testing::Test {
protected:
    AutostartTest() { fs::create_directories(m_folder); }

    // Whatever the entry's fate, no temporary file stays in the folder.
    ~AutostartTest() override {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(m_folder, ec)) {
            EXPECT_NE(item.path().filename().string().rfind(".Orvantis", 0), 0u) << item.path();
        }
    }

    TempDir m_home;
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_home.File("config")};
    std::string m_folder = m_home.File("config/autostart");
    std::string m_entry = m_folder + "/Orvantis.desktop";
};

struct ExecCase {
    const char* program; // below the test's folder
    const char* exec;    // the Exec value with the folder as $D; null: no entry is written
};

class AutostartExecTest : public AutostartTest, public ::testing::WithParamInterface<ExecCase> {};

TEST_P(AutostartExecTest, WritesOneValidEntryThatStartsTheProgramSilently) {
    const std::string program = m_home.Path() + GetParam().program;
    ASSERT_EQ(platform::AutostartEntryPath(), m_entry);
    EXPECT_EQ(platform::EnableAutostart(program), GetParam().exec != nullptr);
    if (GetParam().exec == nullptr) {
        EXPECT_FALSE(fs::exists(m_entry));
        return;
    }
    std::string exec = GetParam().exec;
    exec.replace(exec.find("$D"), 2, m_home.Path());
    EXPECT_EQ(ReadFile(m_entry), "[Desktop Entry]\nType=Application\nName=Orvantis\nExec=" + exec +
                                     " -s\nIcon=com.tamberlo.Orvantis\n");
    EXPECT_EQ(std::system(("desktop-file-validate '" + m_entry + "'").c_str()), 0);
    EXPECT_TRUE(platform::IsAutostartEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    ProgramPaths, AutostartExecTest,
    ::testing::Values(ExecCase{"/bin/orvantis", "$D/bin/orvantis"},
                      ExecCase{"/100%/orvantis", "$D/100%%/orvantis"},
                      ExecCase{"/My Apps/or\"van$tis`100%\\x/orvantis",
                               "\"$D/My Apps/or\\\\\"van\\\\$tis\\\\`100%%\\\\\\\\x/orvantis\""},
                      ExecCase{"/it's (new)/orvantis", "\"$D/it's (new)/orvantis\""},
                      ExecCase{"/line\nbreak/orvantis", nullptr},
                      ExecCase{"/latin1-\xE9/orvantis", nullptr}));

// A real launcher undoes the escapes: the entry starts exactly our program, with -s.
TEST_F(AutostartTest, ALauncherStartsTheProgramAtAQuotedPathWithTheSwitch) {
    const std::string folder = m_home.File("My Apps/or\"van$tis`\\x");
    fs::create_directories(folder);
    const std::string program = folder + "/orvantis";
    const std::string record = m_home.File("started");
    WriteFile(program, "#!/bin/sh\nprintf '%s|%s' \"$0\" \"$*\" >'" + record + ".tmp' && mv '" +
                           record + ".tmp' '" + record + "'\n");
    fs::permissions(program, fs::perms::owner_all);
    ASSERT_TRUE(platform::EnableAutostart(program));

    ASSERT_EQ(std::system(("gio launch '" + m_entry + "' >/dev/null 2>&1").c_str()), 0);
    for (int i = 0; i < 100 && !fs::exists(record); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(ReadFile(record), program + "|-s");
}

TEST_F(AutostartTest, UntickingDeletesTheEntryAndAMissingOneIsNoError) {
    ASSERT_TRUE(platform::EnableAutostart("/usr/bin/orvantis"));
    ASSERT_TRUE(platform::EnableAutostart("/usr/bin/orvantis")); // rewritten in place
    EXPECT_TRUE(platform::DisableAutostart());
    EXPECT_FALSE(fs::exists(m_entry));
    EXPECT_FALSE(platform::IsAutostartEnabled());
    EXPECT_TRUE(platform::DisableAutostart());
}

struct ExistingEntry {
    const char* text;
    bool on;
};

class AutostartExistingTest : public AutostartTest,
                              public ::testing::WithParamInterface<ExistingEntry> {};

TEST_P(AutostartExistingTest, CountsAnEntryTheDesktopSwitchedOffAsAbsent) {
    const std::string text = GetParam().text;
    WriteFile(m_entry, text);
    EXPECT_EQ(platform::IsAutostartEnabled(), GetParam().on);

    // Unticked: an entry switched off stays, since it may hide an entry of the whole system.
    EXPECT_TRUE(platform::DisableAutostart());
    EXPECT_EQ(fs::exists(m_entry), !GetParam().on);
    // Ticked: an entry that is on takes its place.
    EXPECT_TRUE(platform::EnableAutostart("/usr/bin/orvantis"));
    EXPECT_TRUE(platform::IsAutostartEnabled());
    EXPECT_EQ(ReadFile(m_entry).find("Hidden"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, AutostartExistingTest,
    ::testing::Values(
        ExistingEntry{"[Desktop Entry]\nType=Application\nExec=orvantis -s\nHidden=true\n", false},
        ExistingEntry{"[Desktop Entry]\r\nExec=orvantis -s\r\nHidden = 1\r\n", false},
        ExistingEntry{"[Desktop Entry]\nExec=orvantis\nX-GNOME-Autostart-enabled=false\n", false},
        ExistingEntry{"[Desktop Entry]\nExec=orvantis -s\nHidden=false\n", true},
        ExistingEntry{"[Desktop Entry]\nExec=orvantis -s\n[Other]\nHidden=true\n", true},
        ExistingEntry{"not an entry\n", false}, ExistingEntry{"", false}));

struct FaultCase {
    const char* name;
    std::function<void(const std::string& folder, const std::string& entry)> make;
    bool written;
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c) {
    return out << c.name;
}

class AutostartFaultTest : public AutostartTest, public ::testing::WithParamInterface<FaultCase> {};

// Nothing is written through a link, nothing fails loudly, and the box reads the truth.
TEST_P(AutostartFaultTest, ShowsTheRealStateAndTouchesNothingElse) {
    const std::string other = m_home.File("other.desktop");
    WriteFile(other, "keep");
    GetParam().make(m_folder, m_entry);
    EXPECT_EQ(platform::EnableAutostart("/usr/bin/orvantis"), GetParam().written);
    EXPECT_EQ(platform::IsAutostartEnabled(), GetParam().written);
    EXPECT_EQ(fs::is_regular_file(fs::symlink_status(m_entry)), GetParam().written);
    EXPECT_EQ(ReadFile(other), "keep");
    EXPECT_TRUE(platform::DisableAutostart() || !GetParam().written);
    EXPECT_FALSE(platform::IsAutostartEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AutostartFaultTest,
    ::testing::Values(
        FaultCase{"DanglingLink",
                  [](const std::string&, const std::string& entry) {
                      fs::create_symlink("missing.desktop", entry);
                  },
                  true},
        FaultCase{"LinkToAnotherFile",
                  [](const std::string& folder, const std::string& entry) {
                      fs::create_symlink(folder + "/../../other.desktop", entry);
                  },
                  true},
        FaultCase{"Directory",
                  [](const std::string&, const std::string& entry) { fs::create_directory(entry); },
                  false},
        FaultCase{"FolderIsAFile",
                  [](const std::string& folder, const std::string&) {
                      fs::remove(folder);
                      WriteFile(folder, "");
                  },
                  false},
        FaultCase{"MissingFolder",
                  [](const std::string& folder, const std::string&) { fs::remove(folder); }, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(AutostartTest, AReadOnlyFolderKeepsTheEntryAbsent) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    fs::permissions(m_folder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(platform::EnableAutostart("/usr/bin/orvantis"));
    EXPECT_FALSE(platform::IsAutostartEnabled());
}

} // namespace
