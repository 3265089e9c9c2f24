// SPDX-License-Identifier: MIT
#include "core/alerts/AlertClock.h"

#include "platform/common/WallClock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {
std::tm LocalParts(std::int64_t utc) {
    const std::time_t time = static_cast<std::time_t>(utc);
    std::tm parts{};
    localtime_r(&time, &parts);
    return parts;
}
} // namespace

std::int64_t AlertClockNow() {
    return WallClock::NowSeconds();
}

AlertMoment AlertMomentAt(std::int64_t utc) {
    const std::tm parts = LocalParts(utc);
    return {utc, parts.tm_hour * 60 + parts.tm_min};
}

std::string FormatLocalClock(std::int64_t utc) {
    const std::tm parts = LocalParts(utc);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", parts.tm_hour, parts.tm_min);
    return text;
}
