// SPDX-License-Identifier: MIT
#include "core/common/ServerConfig.h"

#include "BuildConfig.h"

#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

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

// A variable that is set but not a server (an empty one too) never falls back to the
// build's server: it gives none, and an error that names it.
TEST(ServerConfigTest, TheEnvironmentOverridesTheBuildAndAMistakeIsNoServer) {
    setenv("ORVANTIS_NOTIFY_SERVER", "http://127.0.0.1:5000/", 1);
    EXPECT_EQ(NotifyServer(), "http://127.0.0.1:5000");
    EXPECT_EQ(ServerEnvironmentError(), "");
    for (const char* mistake : {"file:///etc/passwd", "127.0.0.1:5000", ""}) {
        setenv("ORVANTIS_NOTIFY_SERVER", mistake, 1);
        EXPECT_EQ(NotifyServer(), "");
        EXPECT_EQ(ServerEnvironmentError().rfind("ORVANTIS_NOTIFY_SERVER=", 0), 0u);
    }
    unsetenv("ORVANTIS_NOTIFY_SERVER");
    EXPECT_EQ(NotifyServer(), ORVANTIS_NOTIFY_SERVER_DEFAULT);
    setenv("ORVANTIS_CHART_SERVER", "http://127.0.0.1:0", 1);
    EXPECT_EQ(ChartServer(), "");
    EXPECT_NE(ServerEnvironmentError().find("the port is not a number from 1 to 65535"),
              std::string::npos);
    unsetenv("ORVANTIS_CHART_SERVER");
    EXPECT_EQ(ChartServer(), ORVANTIS_CHART_SERVER_DEFAULT);
}

// A program started with such a variable says which and why, and ends with status 2
// before it makes a folder, a window or a request.
struct StartCase {
    const char* name;
    const char* program;
    const char* arguments;
    const char* badVariable;
    const char* badValue;
};

class StartWithABadVariable : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartWithABadVariable, EndsWithStatusTwoBeforeAnything) {
    const StartCase& c = GetParam();
    TempDir dir;
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME='" +
                                dir.File("config") + "' ORVANTIS_CHART_SERVER='" + server.Url() +
                                "' ORVANTIS_NOTIFY_SERVER='" + server.Url() + "' " + c.badVariable +
                                "='" + c.badValue + "' '" + ORVANTIS_BIN_DIR + "/" + c.program +
                                "' " + c.arguments + " 2>'" + dir.File("stderr") + "' >/dev/null";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 2);
    const std::string said = ReadFileBytes(dir.File("stderr"));
    EXPECT_NE(said.find(std::string(c.badVariable) + "=\"" + c.badValue + "\" is not a server"),
              std::string::npos)
        << said;
    EXPECT_FALSE(std::filesystem::exists(dir.File("config")));
    EXPECT_EQ(server.ConnectionCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Programs, StartWithABadVariable,
                         ::testing::Values(StartCase{"ProgramWithoutScheme", "orvantis", "",
                                                     "ORVANTIS_CHART_SERVER", "127.0.0.1:8080"},
                                           StartCase{"ProgramWithEmptyNotifyServer", "orvantis",
                                                     "-s", "ORVANTIS_NOTIFY_SERVER", ""},
                                           StartCase{"ChartToolWithAPath", "orvantis-chart",
                                                     "--fetch", "ORVANTIS_CHART_SERVER",
                                                     "http://127.0.0.1:80/x"}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
