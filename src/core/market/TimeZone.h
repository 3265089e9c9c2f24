// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One zone of the system's time-zone database (/usr/share/zoneinfo, or $TZDIR): its offset
// from UTC at any instant, from the zone file's transitions. Past the file's last transition
// (2037 in the database's full files) the last offset holds.
class TimeZone final {
public:
    // The zone of that name ("America/New_York"), or nothing when the name is not a plain
    // relative path or its file is missing or not a zone file.
    static std::optional<TimeZone> Load(std::string_view name);
    // A zone file's bytes (version 2 or later, or 1).
    static std::optional<TimeZone> Parse(std::string_view bytes);

    // Seconds east of UTC at that instant.
    std::chrono::seconds OffsetAt(std::chrono::sys_seconds instant) const;
    // The instant a local time names. A local time skipped by a change of clocks is taken
    // with the offset before it; one that occurs twice, the first time.
    std::chrono::sys_seconds ToUtc(std::chrono::local_seconds local) const;
    std::chrono::local_seconds ToLocal(std::chrono::sys_seconds instant) const;

private:
    TimeZone() = default;

    std::vector<std::int64_t> m_transitions; // ascending, UTC seconds
    std::vector<std::int32_t> m_offsets;     // m_offsets[i] from m_transitions[i] on
    std::int32_t m_initialOffset = 0;
};
