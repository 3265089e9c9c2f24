// SPDX-License-Identifier: MIT
#include "core/app/DisplayChoice.h"

#include <gtest/gtest.h>
#include <map>

namespace {

struct DisplayCase {
    const char* text;
    bool valid;
    const char* host;
    int display;
    int screen;
};

class X11DisplayTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(X11DisplayTest, ReadsHostDisplayAndScreen) {
    const auto parsed = ParseX11Display(GetParam().text);
    ASSERT_EQ(parsed.has_value(), GetParam().valid) << GetParam().text;
    if (parsed) {
        EXPECT_EQ(parsed->host, GetParam().host);
        EXPECT_EQ(parsed->display, GetParam().display);
        EXPECT_EQ(parsed->screen, GetParam().screen);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, X11DisplayTest,
    ::testing::Values(DisplayCase{":0", true, "", 0, 0}, DisplayCase{":1.2", true, "", 1, 2},
                      DisplayCase{"unix:3", true, "unix", 3, 0},
                      DisplayCase{"example.org:10.0", true, "example.org", 10, 0},
                      DisplayCase{"node::0", true, "node", 0, 0}, DisplayCase{"", false, "", 0, 0},
                      DisplayCase{"0", false, "", 0, 0}, DisplayCase{":", false, "", 0, 0},
                      DisplayCase{":x", false, "", 0, 0}, DisplayCase{":0.", false, "", 0, 0},
                      DisplayCase{":-1", false, "", 0, 0}, DisplayCase{":1 ", false, "", 0, 0},
                      DisplayCase{":99999999999", false, "", 0, 0}));

struct SessionCase {
    const char* name;
    std::map<std::string, std::string> env;
    std::vector<std::string> args;
    bool xServerAnswers;
    bool xwayland;
};

class XWaylandChoiceTest : public ::testing::TestWithParam<SessionCase> {};

TEST_P(XWaylandChoiceTest, RunsOnXWaylandOnlyWhenNothingElseWasChosen) {
    const SessionCase& c = GetParam();
    int askedDisplay = -1;
    const CSessionFacts facts{[&c](const char* name) -> const char* {
                                  const auto it = c.env.find(name);
                                  return it == c.env.end() ? nullptr : it->second.c_str();
                              },
                              c.args,
                              [&](int display) {
                                  askedDisplay = display;
                                  return c.xServerAnswers;
                              }};
    EXPECT_EQ(ShouldRunOnXWayland(facts), c.xwayland);
    if (c.xwayland) {
        EXPECT_EQ(askedDisplay, 1);
    }
}

using Env = std::map<std::string, std::string>;
INSTANTIATE_TEST_SUITE_P(
    Sessions, XWaylandChoiceTest,
    ::testing::Values(
        SessionCase{"WaylandWithXWayland",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}},
                    {},
                    true,
                    true},
        SessionCase{"SessionTypeAlone",
                    Env{{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1.0"}},
                    {},
                    true,
                    true},
        SessionCase{
            "X11Session", Env{{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":1"}}, {}, true, false},
        SessionCase{"EmptyWaylandDisplay",
                    Env{{"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":1"}},
                    {},
                    true,
                    false},
        SessionCase{"NoXServer",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}},
                    {},
                    false,
                    false},
        SessionCase{"NoDisplay", Env{{"WAYLAND_DISPLAY", "wayland-0"}}, {}, true, false},
        SessionCase{"RemoteDisplay",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", "example.org:1"}},
                    {},
                    true,
                    false},
        SessionCase{"UnixDisplay",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", "unix:1"}},
                    {},
                    true,
                    true},
        SessionCase{"PlatformChosenInTheEnvironment",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"},
                        {"DISPLAY", ":1"},
                        {"QT_QPA_PLATFORM", "wayland"}},
                    {},
                    true,
                    false},
        SessionCase{"PlatformChosenOnTheCommandLine",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}},
                    {"-s", "-platform", "wayland"},
                    true,
                    false},
        SessionCase{"PlatformWithEquals",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}},
                    {"--platform=wayland"},
                    true,
                    false},
        SessionCase{"OtherArguments",
                    Env{{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":1"}},
                    {"-s", "-platformx"},
                    true,
                    true}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
