// SPDX-License-Identifier: MIT
#include "core/app/DisplayChoice.h"

#include <charconv>

namespace {
bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

std::optional<int> ParseNumber(const std::string& text) {
    int value = 0;
    const char* const end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value < 0) {
        return std::nullopt;
    }
    return value;
}

bool ChoosesPlatform(const std::string& arg) {
    for (const std::string option : {"-platform", "--platform"}) {
        if (arg == option || arg.rfind(option + "=", 0) == 0) {
            return true;
        }
    }
    return false;
}
} // namespace

std::optional<CX11Display> ParseX11Display(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    CX11Display result;
    result.host = text.substr(0, colon);
    // "host::0" is a DECnet display; the second colon belongs to the separator.
    if (!result.host.empty() && result.host.back() == ':') {
        result.host.pop_back();
    }
    std::string number = text.substr(colon + 1);
    if (const auto dot = number.find('.'); dot != std::string::npos) {
        const auto screen = ParseNumber(number.substr(dot + 1));
        if (!screen) {
            return std::nullopt;
        }
        result.screen = *screen;
        number.resize(dot);
    }
    const auto display = ParseNumber(number);
    if (!display) {
        return std::nullopt;
    }
    result.display = *display;
    return result;
}

bool ShouldRunOnXWayland(const CSessionFacts& facts) {
    const char* sessionType = facts.getenv("XDG_SESSION_TYPE");
    const bool wayland = IsSet(facts.getenv("WAYLAND_DISPLAY")) ||
                         (sessionType != nullptr && std::string(sessionType) == "wayland");
    if (!wayland || IsSet(facts.getenv("QT_QPA_PLATFORM"))) {
        return false;
    }
    for (const std::string& arg : facts.args) {
        if (ChoosesPlatform(arg)) {
            return false;
        }
    }
    const char* displayName = facts.getenv("DISPLAY");
    if (!IsSet(displayName)) {
        return false;
    }
    // Only a display on this machine is asked; a remote one would make start-up wait on
    // the network.
    const auto display = ParseX11Display(displayName);
    return display && (display->host.empty() || display->host == "unix") &&
           facts.localXServerReachable(display->display);
}
