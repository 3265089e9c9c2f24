// SPDX-License-Identifier: MIT
#include "platform/Platform.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The single-instance lock never goes without a folder that only the user can enter:
// when $XDG_RUNTIME_DIR is unusable and /tmp/orvantis-<uid> is not ours alone (another
// user made it first), the lock moves to the fallback in the user's own settings folder.
enum class Where { Xdg, Tmp, Fallback, Nowhere };

struct FolderCase {
    const char* name;
    bool xdgPrivate;                       // else $XDG_RUNTIME_DIR is open to others
    void (*squat)(const std::string& tmp); // what is at tmp/orvantis-<uid> before
    bool fallbackBlocked;                  // a file where the fallback folder would go
    Where expected;
    bool needsRoot = false;
};

std::ostream& operator<<(std::ostream& out, const FolderCase& c) {
    return out << c.name;
}

class InstanceFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(InstanceFolderTest, IsPrivateToTheUserOrNone) {
    const FolderCase& c = GetParam();
    if (c.needsRoot && geteuid() != 0) {
        GTEST_SKIP() << "only root can make a folder that belongs to another user";
    }
    TempDir dir;
    const std::string xdg = dir.File("xdg");
    fs::create_directory(xdg);
    chmod(xdg.c_str(), c.xdgPrivate ? 0700 : 0755);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", xdg);
    const std::string tmp = dir.File("tmp");
    fs::create_directory(tmp);
    const std::string squatted = tmp + "/orvantis-" + std::to_string(geteuid());
    if (c.squat != nullptr) {
        c.squat(squatted);
    }
    const std::string fallback = dir.File("settings-run");
    if (c.fallbackBlocked) {
        std::ofstream(fallback) << "not a folder";
    }

    bool usedFallback = false;
    const std::string folder = platform::InstanceFolder(fallback, &usedFallback, tmp);
    const std::string expected[] = {xdg, squatted, fallback, ""};
    EXPECT_EQ(folder, expected[static_cast<int>(c.expected)]);
    EXPECT_EQ(usedFallback, c.expected == Where::Fallback || c.expected == Where::Nowhere);
    if (folder.empty()) {
        return;
    }
    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_uid, geteuid());
    EXPECT_EQ(info.st_mode & 0077, 0u);
    // One lock there, and a second start finds it held.
    platform::CInstanceLock first;
    platform::CInstanceLock second;
    EXPECT_EQ(first.Acquire(folder + "/lock"), platform::CInstanceLock::Result::Acquired);
    EXPECT_EQ(second.Acquire(folder + "/lock"), platform::CInstanceLock::Result::HeldByAnother);
}

void MakeFolder(const std::string& path, mode_t mode) {
    fs::create_directory(path);
    chmod(path.c_str(), mode);
}

INSTANTIATE_TEST_SUITE_P(
    Squatters, InstanceFolderTest,
    ::testing::Values(
        FolderCase{"PrivateRuntimeFolderFirst", true, nullptr, false, Where::Xdg},
        FolderCase{"FreeTmpFolderIsMadePrivate", false, nullptr, false, Where::Tmp},
        FolderCase{"OwnPrivateTmpFolderIsKept", false,
                   [](const std::string& p) { MakeFolder(p, 0700); }, false, Where::Tmp},
        FolderCase{"TmpFolderOfAnotherUser", false,
                   [](const std::string& p) {
                       MakeFolder(p, 0700);
                       chown(p.c_str(), 65534, 65534);
                   },
                   false, Where::Fallback, true},
        FolderCase{"TmpFolderOpenToOthers", false,
                   [](const std::string& p) { MakeFolder(p, 0777); }, false, Where::Fallback},
        FolderCase{"TmpFolderIsALink", false,
                   [](const std::string& p) {
                       MakeFolder(p + "-real", 0700);
                       fs::create_symlink(p + "-real", p);
                   },
                   false, Where::Fallback},
        FolderCase{"TmpFolderIsAFile", false,
                   [](const std::string& p) { std::ofstream(p) << "squatter"; }, false,
                   Where::Fallback},
        FolderCase{"NoPrivateFolderAnywhere", false,
                   [](const std::string& p) { MakeFolder(p, 0777); }, true, Where::Nowhere}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
