// SPDX-License-Identifier: MIT
#include "core/settings/ProfileFile.h"

#include "support/IniFixture.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A file over the size limit is read in part and never rewritten; a write that would grow
// one past it fails and leaves it as it was.
TEST(ProfileFileTest, TheSizeLimitIsNeverCrossed) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    std::string content = "[Option]\nPopup=0\n";
    const std::string filler = ";" + std::string(1022, 'x') + "\n";
    while (content.size() < 50 * 1024 * 1024) {
        content += filler;
    }
    content += "[Late]\nKey=1\n";
    WriteFileBytes(path, content);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "0");
    EXPECT_EQ(GetProfileString(path, "Late", "Key", "none"), "none");
    EXPECT_FALSE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_EQ(ReadFileBytes(path), content);

    const std::string small = "[Option]\nPopup=1\n";
    WriteFileBytes(path, small);
    EXPECT_FALSE(WriteProfileString(path, "Option", "Email", std::string(PROFILE_FILE_MAX, 'e')));
    EXPECT_EQ(ReadFileBytes(path), small);
}

// Where the file should be there is something that cannot be written: readers get what
// can be read (their default where nothing can), writes fail, and nothing there changes.
struct Unusable {
    const char* name;
    void (*make)(const TempDir& dir);
    std::string path;
    std::string popup; // what a read of Popup with the default "1" gives
    bool rootIgnores;  // root reads and writes whatever the permission bits say
};

std::ostream& operator<<(std::ostream& out, const Unusable& c) {
    return out << c.name;
}

class UnusableFile : public ::testing::TestWithParam<Unusable> {};

TEST_P(UnusableFile, GivesWhatCanBeReadAndFailsWrites) {
    if (GetParam().rootIgnores && geteuid() == 0) {
        GTEST_SKIP() << "root ignores permission bits";
    }
    TempDir dir;
    GetParam().make(dir);
    const std::string path = dir.File(GetParam().path);
    struct stat before {};
    lstat(path.c_str(), &before);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), GetParam().popup);
    EXPECT_FALSE(WriteProfileString(path, "Option", "Popup", "2"));
    EXPECT_FALSE(WriteProfileString(path, "Option", "Email", "e"));
    struct stat after {};
    lstat(path.c_str(), &after);
    EXPECT_EQ(std::tie(after.st_ino, after.st_mode, after.st_size, after.st_mtim.tv_sec,
                       after.st_mtim.tv_nsec),
              std::tie(before.st_ino, before.st_mode, before.st_size, before.st_mtim.tv_sec,
                       before.st_mtim.tv_nsec));
}

void MakeFile(const TempDir& dir, const char* name, fs::perms perms) {
    WriteFileBytes(dir.File(name), "[Option]\nPopup=0\n");
    fs::permissions(dir.File(name), perms);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnusableFile,
    ::testing::Values(
        Unusable{"Folder", [](const TempDir& d) { fs::create_directory(d.File("gold.ini")); },
                 "gold.ini", "1", false},
        Unusable{"Fifo", [](const TempDir& d) { mkfifo(d.File("gold.ini").c_str(), 0600); },
                 "gold.ini", "1", false},
        Unusable{"MissingFolder", [](const TempDir&) {}, "missing/gold.ini", "1", false},
        Unusable{"SymlinkLoop",
                 [](const TempDir& d) {
                     fs::create_symlink("b.ini", d.File("gold.ini"));
                     fs::create_symlink("gold.ini", d.File("b.ini"));
                 },
                 "gold.ini", "1", false},
        // Without any write permission bit the file is read-only, for root too.
        Unusable{"ReadOnlyFile",
                 [](const TempDir& d) {
                     MakeFile(d, "gold.ini", fs::perms::owner_read | fs::perms::group_read);
                 },
                 "gold.ini", "0", false},
        Unusable{"UnreadableFile",
                 [](const TempDir& d) { MakeFile(d, "gold.ini", fs::perms::owner_write); },
                 "gold.ini", "1", true},
        Unusable{"ReadOnlyFolder",
                 [](const TempDir& d) {
                     fs::create_directory(d.File("ro"));
                     MakeFile(d, "ro/gold.ini", fs::perms::owner_read | fs::perms::owner_write);
                     fs::permissions(d.File("ro"), fs::perms::owner_read | fs::perms::owner_exec);
                 },
                 "ro/gold.ini", "0", true}),
    CaseName());

TEST(ProfileFileTest, AWriteGoesThroughASymlinkToItsTarget) {
    TempDir dir;
    const std::string target = dir.File("real.ini");
    const std::string link = dir.File("gold.ini");
    WriteFileBytes(target, "[Option]\nPopup=0\n");
    fs::create_symlink("real.ini", link);
    ASSERT_TRUE(WriteProfileString(link, "Option", "Popup", "1"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(target), "[Option]\nPopup=1\n");

    // A link to nothing yet creates its target, as opening it for writing would.
    const std::string dangling = dir.File("dangling.ini");
    fs::create_symlink(dir.File("sub/../new.ini"), dangling);
    fs::create_directory(dir.File("sub"));
    ASSERT_TRUE(WriteProfileString(dangling, "Option", "A", "1"));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadFileBytes(dir.File("new.ini")), "[Option]\nA=1\n");
}

TEST(ProfileFileTest, ARewriteKeepsThePermissionBitsAndANewFileIsPrivate) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    const fs::perms shared = fs::perms::owner_read | fs::perms::owner_write |
                             fs::perms::group_read | fs::perms::others_read;
    fs::permissions(path, shared);
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(fs::status(path).permissions(), shared);
}

TEST(ProfileFileTest, AFileDeletedBetweenCallsIsCreatedAgain) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    ASSERT_TRUE(WriteProfileString(path, "Option", "LastPrice", "1662.50"));
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(GetProfileString(path, "Option", "LastPrice", ""), "1662.50");
    fs::remove(path);
    EXPECT_EQ(GetProfileString(path, "Option", "LastPrice", ""), "");
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_EQ(ReadFileBytes(path), "[Option]\nPopup=1\n");
}

TEST(ProfileFileTest, AWriteLeavesNoTemporaryFileBehind) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(WriteProfileString(path, "Option", "Key" + std::to_string(i), "v"));
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"gold.ini"});
}

// The temporary file cannot be written in full (a file-size limit, as a full disk would):
// the old file keeps every byte and the temporary file is removed.
TEST(ProfileFileTest, AWriteThatFailsHalfWayLeavesTheOldBytes) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string before = "[Option]\nPopup=1\n";
    WriteFileBytes(path, before);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = WriteProfileString(path, "Option", "Email", std::string(200, 'e'));
        _exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

// What a kill during a write leaves (".gold.ini.XXXXXX", holding the e-mail address) is
// removed; nothing else is, not even a link or a folder of that name.
TEST(ProfileFileTest, LeftoversOfKilledWritesAreRemovedAndNothingElse) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    WriteFileBytes(path, "[Option]\nEmail=user@example.com\n");
    const std::vector<std::string> leftovers = {".gold.ini.a1B2c3", ".gold.ini.ZZZZZZ"};
    for (const std::string& name : leftovers) {
        WriteFileBytes(dir.File(name), "[Option]\nEmail=user@example.com\n");
    }
    const std::vector<std::string> kept = {
        "gold.ini",        ".gold.ini.abc",     ".gold.ini.abcdefg", ".gold.ini.ab-def",
        "gold.ini.abcdef", ".other.ini.abcdef", ".gold.ini.folder",  ".gold.ini.linkto"};
    for (std::size_t i = 1; i + 2 < kept.size(); ++i) {
        WriteFileBytes(dir.File(kept[i]), "x");
    }
    fs::create_directory(dir.File(".gold.ini.folder"));
    fs::create_symlink(dir.File(".gold.ini.abc"), dir.File(".gold.ini.linkto"));

    EXPECT_EQ(RemoveProfileLeftovers(path), 2);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST(ProfileFileTest, TwoThreadsWritingDifferentKeysLoseNothing) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    constexpr int WRITES = 1000;
    auto writer = [&path](const std::string& key, int& failures) {
        for (int i = 0; i < WRITES; ++i) {
            const std::string value = std::to_string(i);
            if (!WriteProfileString(path, "Option", key, value) ||
                GetProfileString(path, "Option", key, "") != value) {
                ++failures;
            }
        }
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a(writer, "CurrentPrice", std::ref(failuresA));
    std::thread b(writer, "FloatPos", std::ref(failuresB));
    a.join();
    b.join();
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
    EXPECT_EQ(GetProfileString(path, "Option", "CurrentPrice", ""), "999");
    EXPECT_EQ(GetProfileString(path, "Option", "FloatPos", ""), "999");
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3) << bytes;
}

} // namespace
