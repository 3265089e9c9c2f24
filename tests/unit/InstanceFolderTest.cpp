// SPDX-License-Identifier: MIT
#include "platform/Platform.h"

#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

// The single-instance lock never goes without a folder that only the user can enter:
// when $XDG_RUNTIME_DIR is unusable and /tmp/orvantis-<uid> is not ours alone (another
// user made it first), it moves to the fallback in the user's own settings folder.
enum class Where { Xdg, Tmp, Fallback, Nowhere };

struct FolderCase {
    const char* name;
    const char* xdgMode;
    const char* squat; // shell commands; D is tmp/orvantis-<uid>, B the fallback
    Where expected;
};

class InstanceFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(InstanceFolderTest, IsPrivateToTheUserOrNone) {
    const FolderCase& c = GetParam();
    TempDir dir;
    const std::string squatted = dir.File("orvantis-" + std::to_string(geteuid()));
    const std::string fallback = dir.File("settings-run");
    const std::string setUp = "mkdir -m " + std::string(c.xdgMode) + " '" + dir.File("xdg") +
                              "' && D='" + squatted + "' B='" + fallback + "' && " + c.squat;
    ASSERT_EQ(std::system(setUp.c_str()), 0);
    const ScopedEnv runtime("XDG_RUNTIME_DIR", dir.File("xdg"));

    bool usedFallback = false;
    const std::string folder = platform::InstanceFolder(fallback, &usedFallback, dir.Path());
    const std::string expected[] = {dir.File("xdg"), squatted, fallback, ""};
    EXPECT_EQ(folder, expected[static_cast<int>(c.expected)]);
    EXPECT_EQ(usedFallback, c.expected >= Where::Fallback);
    if (!folder.empty()) {
        struct stat info {};
        ASSERT_EQ(lstat(folder.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0);
        platform::CInstanceLock first;
        platform::CInstanceLock second;
        EXPECT_EQ(first.Acquire(folder + "/lock"), platform::CInstanceLock::Result::Acquired);
        EXPECT_EQ(second.Acquire(folder + "/lock"), platform::CInstanceLock::Result::HeldByAnother);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Squatters, InstanceFolderTest,
    ::testing::Values(
        FolderCase{"PrivateRuntimeFolderFirst", "700", "true", Where::Xdg},
        FolderCase{"FreeTmpFolderIsMadePrivate", "755", "true", Where::Tmp},
        FolderCase{"TmpFolderOpenToOthers", "755", "mkdir -m 777 \"$D\"", Where::Fallback},
        FolderCase{"TmpFolderIsALink", "755",
                   "mkdir -m 700 \"$D.real\" && ln -s \"$D.real\" \"$D\"", Where::Fallback},
        // As root: a folder that another user made first.
        FolderCase{"TmpFolderOfAnotherUser", "755",
                   "mkdir -m 700 \"$D\" && { chown 65534 \"$D\" || chmod 777 \"$D\"; }",
                   Where::Fallback},
        FolderCase{"NoPrivateFolderAnywhere", "755", "mkdir -m 777 \"$D\" && touch \"$B\"",
                   Where::Nowhere}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
