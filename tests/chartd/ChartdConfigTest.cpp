// SPDX-License-Identifier: MIT
// The settings name the feed and any program the publisher runs: a file that somebody
// else could have changed is not used, nor one that others can read an API key from.
#include "ChartdConfig.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace {

constexpr const char* FEED = "feed = http://127.0.0.1:9/quote\nfeed_pointer = /price\n";
constexpr const char* KEY = "feed_header = X-Api-Key: s3cret\n";

struct FileCase {
    const char* name;
    mode_t mode;         // 0: a FIFO in its place, which must not hold the start
    const char* extra;   // lines after the feed
    const char* message; // a part of the error; empty when the file is used
};

class ChartdConfigFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(ChartdConfigFile, IsUsedOnlyWhenNobodyElseCanChangeItOrReadItsKey) {
    TempDir dir;
    const std::string path = dir.File("chartd.conf");
    std::ofstream(path) << FEED << GetParam().extra;
    if (GetParam().mode == 0) {
        ASSERT_EQ(unlink(path.c_str()), 0);
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    } else {
        ASSERT_EQ(chmod(path.c_str(), GetParam().mode), 0);
    }
    ChartdConfig config;
    std::string error;
    EXPECT_EQ(ChartdConfig::Load(path, config, error), GetParam().message[0] == '\0') << error;
    EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
    EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ChartdConfigFile,
    ::testing::Values(FileCase{"KeyKeptPrivate", 0600, KEY, ""},
                      FileCase{"ReadableWithoutKey", 0644, "", ""},
                      FileCase{"ReadableWithKey", 0644, KEY, "others can read it (mode 0644"},
                      FileCase{"GroupWritable", 0664, "", "others can write it (mode 0664"},
                      FileCase{"Fifo", 0, "", "not a regular file"},
                      FileCase{"ConnectionCapOverItsRange", 0600,
                               "per_client_connections = 100001\n",
                               "bad value for 'per_client_connections'"},
                      FileCase{"ProxyByName", 0600, "trusted_proxies = ::1, localhost\n",
                               "bad value for 'trusted_proxies'"}),
    [](const ::testing::TestParamInfo<FileCase>& param) { return param.param.name; });

} // namespace
