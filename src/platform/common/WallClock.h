// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The wall clock every program shows and compares times of day and dates with. Normally the
// system's clock; ORVANTIS_NOW (UTC, "2026-03-08T06:59:00Z") makes it start at that instant
// and run on from there, for tests and demos. Time-outs and intervals stay on the steady clock.
class WallClock final {
public:
    using TimePoint = std::chrono::system_clock::time_point;

    static constexpr const char* VARIABLE = "ORVANTIS_NOW";

    WallClock() = delete;

    // Reads ORVANTIS_NOW, once, before any thread runs: empty when it is unset or well-formed
    // (and then the clock is set), else the message for people; the program exits with it.
    static std::string StartFromEnvironment();

    // "YYYY-MM-DDTHH:MM[:SS[.fraction]]Z", UTC, or nothing.
    static std::optional<std::chrono::sys_seconds> ParseInstant(std::string_view text);
    // "YYYY-MM-DDTHH:MM:SSZ".
    static std::string FormatInstant(std::chrono::sys_seconds instant);

    static TimePoint Now();
    static std::int64_t NowSeconds();
    static bool Shifted();

    // Tests: shift the clock to start at the instant, or back to the system's (nullopt).
    static void Start(std::optional<std::chrono::sys_seconds> instant);
};
