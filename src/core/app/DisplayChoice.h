// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// An X display name, "[host][:]:display[.screen]" as DISPLAY holds it.
struct CX11Display {
    std::string host; // empty (or "unix") for the local machine
    int display = 0;
    int screen = 0;
};

// Nothing when the text is not a display name this program can use.
std::optional<CX11Display> ParseX11Display(const std::string& text);

// What the choice of the windowing system rests on.
struct CSessionFacts {
    // Reads an environment variable; null when it is not set.
    std::function<const char*(const char*)> getenv;
    // The command line without the program name.
    std::vector<std::string> args;
    // Whether an X server answers on the local display of that number.
    std::function<bool(int display)> localXServerReachable;
};

// A Wayland compositor lets no window place itself, stay on top or take a shape, and the
// floating window needs all three. So on a Wayland session the program runs on XWayland
// when an X server is reachable and the user chose no Qt platform (QT_QPA_PLATFORM or
// -platform); otherwise it runs natively.
bool ShouldRunOnXWayland(const CSessionFacts& facts);
