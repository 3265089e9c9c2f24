// SPDX-License-Identifier: MIT
#include "core/app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

struct SilentCase {
    const char* commandLine;
    bool hidden;
};

class SilentStartTest : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SilentStartTest, HidesTheMainWindowOnlyForExactlyDashS) {
    EXPECT_EQ(IsSilentStart(GetParam().commandLine), GetParam().hidden)
        << '"' << GetParam().commandLine << '"';
}

INSTANTIATE_TEST_SUITE_P(CommandLines, SilentStartTest,
                         ::testing::Values(SilentCase{"-s", true}, SilentCase{" -s", true},
                                           SilentCase{"\t \t-s", true}, SilentCase{"", false},
                                           SilentCase{"   ", false}, SilentCase{"-S", false},
                                           SilentCase{"-s ", false}, SilentCase{"-s\t", false},
                                           SilentCase{"-s x", false}, SilentCase{"/s", false},
                                           SilentCase{"--s", false}, SilentCase{"-", false},
                                           SilentCase{"\n-s", false}));

TEST(CommandLineRestTest, JoinsTheArgumentsAfterTheProgramName) {
    const char* const none[] = {"orvantis"};
    EXPECT_EQ(CommandLineRest(1, none), "");
    const char* const two[] = {"orvantis", "-s", "x"};
    EXPECT_EQ(CommandLineRest(3, two), "-s x");
    const char* const quoted[] = {"orvantis", " -s"};
    EXPECT_TRUE(IsSilentStart(CommandLineRest(2, quoted)));
}

} // namespace
