// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// The wall clock of the alert rules, in one place so that all of them read the same one.
// Seconds since the epoch, UTC.
std::int64_t AlertClockNow();

// An instant as the rules see it: UTC, and the local minute of the day for quiet hours.
struct AlertMoment {
    std::int64_t utc = 0;
    int localMinute = 0; // 0 to 1439
};
AlertMoment AlertMomentAt(std::int64_t utc);

// "14:30", the instant in local time.
std::string FormatLocalClock(std::int64_t utc);
