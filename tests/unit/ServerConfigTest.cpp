// SPDX-License-Identifier: MIT
#include "core/common/ServerConfig.h"

#include "BuildConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct ServerCase {
    const char* text;
    const char* normal; // nullptr: refused
};

class NormalizeServerTest : public ::testing::TestWithParam<ServerCase> {};

TEST_P(NormalizeServerTest, TakesOnlySchemeHostAndPort) {
    const auto result = NormalizeServer(GetParam().text);
    if (GetParam().normal == nullptr) {
        EXPECT_FALSE(result.has_value()) << *result;
    } else {
        EXPECT_EQ(result.value_or("(refused)"), GetParam().normal);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NormalizeServerTest,
    ::testing::Values(ServerCase{"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
                      ServerCase{"http://localhost/", "http://localhost"},
                      ServerCase{"HTTPS://charts.example.org", "https://charts.example.org"},
                      ServerCase{"http://[::1]:9000/", "http://[::1]:9000"},
                      ServerCase{"http://[::1]", "http://[::1]"}, ServerCase{"ftp://host", nullptr},
                      ServerCase{"http://", nullptr}, ServerCase{"http:///", nullptr},
                      ServerCase{"host:80", nullptr}, ServerCase{"http://host:", nullptr},
                      ServerCase{"http://host:0", nullptr},
                      ServerCase{"http://host:65536", nullptr},
                      ServerCase{"http://host:80x", nullptr},
                      ServerCase{"http://host/path", nullptr}, ServerCase{"http://host//", nullptr},
                      ServerCase{"http://user@host", nullptr}, ServerCase{"http://host?q", nullptr},
                      ServerCase{"http://ho st", nullptr}, ServerCase{"http://[::1", nullptr},
                      ServerCase{"", nullptr}));

TEST(ServerConfigTest, TheEnvironmentOverridesTheBuildOnlyWhenWellFormed) {
    setenv("ORVANTIS_NOTIFY_SERVER", "http://127.0.0.1:5000/", 1);
    EXPECT_EQ(NotifyServer(), "http://127.0.0.1:5000");
    setenv("ORVANTIS_NOTIFY_SERVER", "file:///etc/passwd", 1);
    EXPECT_EQ(NotifyServer(), ORVANTIS_NOTIFY_SERVER_DEFAULT);
    unsetenv("ORVANTIS_NOTIFY_SERVER");
    EXPECT_EQ(NotifyServer(), ORVANTIS_NOTIFY_SERVER_DEFAULT);

    setenv("ORVANTIS_CHART_SERVER", "https://127.0.0.1", 1);
    EXPECT_EQ(ChartServer(), "https://127.0.0.1");
    unsetenv("ORVANTIS_CHART_SERVER");
    EXPECT_EQ(ChartServer(), ORVANTIS_CHART_SERVER_DEFAULT);
}

} // namespace
