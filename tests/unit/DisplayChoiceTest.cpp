// SPDX-License-Identifier: MIT
#include "core/app/DisplayChoice.h"

#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sstream>

namespace {

struct DisplayCase {
    const char* text;
    const char* parsed; // "host display screen", or nothing
};

class X11DisplayTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(X11DisplayTest, ReadsHostDisplayAndScreen) {
    const auto display = ParseX11Display(GetParam().text);
    EXPECT_EQ(display ? display->host + " " + std::to_string(display->display) + " " +
                            std::to_string(display->screen)
                      : "nothing",
              GetParam().parsed)
        << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Names, X11DisplayTest,
    ::testing::Values(
        DisplayCase{":0", " 0 0"}, DisplayCase{":1.2", " 1 2"}, DisplayCase{"unix:3", "unix 3 0"},
        DisplayCase{"example.org:10.0", "example.org 10 0"}, DisplayCase{"node::0", "node 0 0"},
        DisplayCase{"", "nothing"}, DisplayCase{"0", "nothing"}, DisplayCase{":", "nothing"},
        DisplayCase{":x", "nothing"}, DisplayCase{":0.", "nothing"}, DisplayCase{":-1", "nothing"},
        DisplayCase{":1 ", "nothing"}, DisplayCase{":99999999999", "nothing"}));

struct SessionCase {
    const char* name;
    const char* env;  // NAME=value ...
    const char* args; // the command line after the program name
    bool xServerAnswers;
    bool xwayland;
};

std::vector<std::string> Words(const char* text) {
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

class XWaylandChoiceTest : public ::testing::TestWithParam<SessionCase> {};

TEST_P(XWaylandChoiceTest, RunsOnXWaylandOnlyWhenNothingElseWasChosen) {
    const SessionCase& c = GetParam();
    std::map<std::string, std::string> env;
    for (const std::string& word : Words(c.env)) {
        env[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
    }
    int askedDisplay = -1;
    const CSessionFacts facts{[&env](const char* name) -> const char* {
                                  const auto it = env.find(name);
                                  return it == env.end() ? nullptr : it->second.c_str();
                              },
                              Words(c.args),
                              [&](int display) {
                                  askedDisplay = display;
                                  return c.xServerAnswers;
                              }};
    EXPECT_EQ(ShouldRunOnXWayland(facts), c.xwayland);
    if (c.xwayland) {
        EXPECT_EQ(askedDisplay, 1);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Sessions, XWaylandChoiceTest, ::testing::Values(
    SessionCase{"WaylandWithXWayland", "WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "", true, true},
    SessionCase{"SessionTypeAlone", "XDG_SESSION_TYPE=wayland DISPLAY=:1.0", "", true, true},
    SessionCase{"X11Session", "XDG_SESSION_TYPE=x11 DISPLAY=:1", "", true, false},
    SessionCase{"EmptyWaylandDisplay", "WAYLAND_DISPLAY= DISPLAY=:1", "", true, false},
    SessionCase{"NoXServer", "WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "", false, false},
    SessionCase{"NoDisplay", "WAYLAND_DISPLAY=wayland-0", "", true, false},
    SessionCase{"RemoteDisplay", "WAYLAND_DISPLAY=wayland-0 DISPLAY=example.org:1", "", true, false},
    SessionCase{"UnixDisplay", "WAYLAND_DISPLAY=wayland-0 DISPLAY=unix:1", "", true, true},
    SessionCase{"PlatformChosenInTheEnvironment", "WAYLAND_DISPLAY=wayland-0 DISPLAY=:1 QT_QPA_PLATFORM=wayland", "", true, false},
    SessionCase{"PlatformChosenOnTheCommandLine", "WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "-s -platform wayland", true, false},
    SessionCase{"PlatformWithEquals", "WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "--platform=wayland", true, false},
    SessionCase{"OtherArguments", "WAYLAND_DISPLAY=wayland-0 DISPLAY=:1", "-s -platformx", true, true}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

} // namespace
