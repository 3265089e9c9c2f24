// SPDX-License-Identifier: MIT
#include "WallClock.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

using std::chrono::steady_clock;
using std::chrono::system_clock;

// Written before any thread starts and only read afterwards; atomics keep a test that shifts
// the clock again free of a data race all the same.
std::atomic<bool> s_bShifted{false};
std::atomic<std::int64_t> s_startNs{0};
std::atomic<std::int64_t> s_steadyStartNs{0};

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               steady_clock::now().time_since_epoch())
        .count();
}

// Exactly count digits at text[pos...]; advances pos.
std::optional<int> Digits(std::string_view text, std::size_t& pos, std::size_t count) {
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    return value;
}

bool Expect(std::string_view text, std::size_t& pos, char wanted) {
    if (pos < text.size() && text[pos] == wanted) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::optional<std::chrono::sys_seconds> WallClock::ParseInstant(std::string_view text) {
    std::size_t pos = 0;
    const auto year = Digits(text, pos, 4);
    if (!year || !Expect(text, pos, '-')) {
        return std::nullopt;
    }
    const auto month = Digits(text, pos, 2);
    if (!month || !Expect(text, pos, '-')) {
        return std::nullopt;
    }
    const auto day = Digits(text, pos, 2);
    if (!day || !Expect(text, pos, 'T')) {
        return std::nullopt;
    }
    const auto hour = Digits(text, pos, 2);
    if (!hour || !Expect(text, pos, ':')) {
        return std::nullopt;
    }
    const auto minute = Digits(text, pos, 2);
    std::optional<int> second = 0;
    if (minute && Expect(text, pos, ':')) {
        second = Digits(text, pos, 2);
        // A fraction is accepted and dropped: the clock shows whole seconds.
        if (second && Expect(text, pos, '.')) {
            const std::size_t first = pos;
            while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                ++pos;
            }
            if (pos == first) {
                return std::nullopt;
            }
        }
    }
    if (!minute || !second || !Expect(text, pos, 'Z') || pos != text.size()) {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year{*year},
                                           std::chrono::month{static_cast<unsigned>(*month)},
                                           std::chrono::day{static_cast<unsigned>(*day)}};
    // No leap second: a clock that starts at 23:59:60 would run on from a time that is not.
    if (!date.ok() || *year < 1970 || *hour > 23 || *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    return std::chrono::sys_days{date} + std::chrono::hours{*hour} + std::chrono::minutes{*minute} +
           std::chrono::seconds{*second};
}

std::string WallClock::FormatInstant(std::chrono::sys_seconds instant) {
    const auto day = std::chrono::floor<std::chrono::days>(instant);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss time{instant - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

void WallClock::Start(std::optional<std::chrono::sys_seconds> instant) {
    if (!instant) {
        s_bShifted = false;
        return;
    }
    s_startNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(instant->time_since_epoch()).count();
    s_steadyStartNs = SteadyNs();
    s_bShifted = true;
}

std::string WallClock::StartFromEnvironment() {
    const char* value = std::getenv(VARIABLE);
    if (value == nullptr) {
        Start(std::nullopt);
        return {};
    }
    const auto instant = ParseInstant(value);
    if (!instant) {
        return std::string(VARIABLE) + "=\"" + std::string(value).substr(0, 64) +
               "\" is not a UTC time like 2026-03-08T06:59:00Z";
    }
    Start(instant);
    return {};
}

WallClock::TimePoint WallClock::Now() {
    if (!s_bShifted) {
        return system_clock::now();
    }
    const std::chrono::nanoseconds since{SteadyNs() - s_steadyStartNs};
    return TimePoint{std::chrono::duration_cast<system_clock::duration>(
        std::chrono::nanoseconds{s_startNs} + since)};
}

std::int64_t WallClock::NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(Now().time_since_epoch()).count();
}

bool WallClock::Shifted() {
    return s_bShifted;
}
