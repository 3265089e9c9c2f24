// SPDX-License-Identifier: MIT
#include "core/market/TimeZone.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

constexpr std::size_t HEADER_SIZE = 44;
// The largest zone file of the database is a few kilobytes.
constexpr std::size_t ZONE_FILE_MAX = 256 * 1024;
// Offsets beyond a day are no zone's.
constexpr std::int32_t OFFSET_MAX = 26 * 3600;

std::uint32_t Be32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

std::int64_t Be64(std::string_view bytes, std::size_t at) {
    const std::uint64_t high = Be32(bytes, at);
    return static_cast<std::int64_t>((high << 32) | Be32(bytes, at + 4));
}

struct Counts {
    std::uint32_t isut, isstd, leap, time, type, chars;
};

std::optional<Counts> ReadHeader(std::string_view bytes, std::size_t at) {
    if (bytes.size() < at + HEADER_SIZE || bytes.substr(at, 4) != "TZif") {
        return std::nullopt;
    }
    Counts counts{Be32(bytes, at + 20), Be32(bytes, at + 24), Be32(bytes, at + 28),
                  Be32(bytes, at + 32), Be32(bytes, at + 36), Be32(bytes, at + 40)};
    if (counts.type == 0 || counts.type > 256 || counts.time > 100000 || counts.leap > 10000 ||
        counts.chars > 10000 || counts.isut > 256 || counts.isstd > 256) {
        return std::nullopt;
    }
    return counts;
}

std::size_t DataSize(const Counts& c, std::size_t timeSize) {
    return c.time * timeSize + c.time + c.type * 6 + c.chars + c.leap * (timeSize + 4) + c.isstd +
           c.isut;
}

bool PlainZoneName(std::string_view name) {
    if (name.empty() || name.size() > 64 || name.front() == '/' ||
        name.find("..") != std::string_view::npos) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '/' || c == '_' || c == '-' || c == '+';
    });
}

} // namespace

std::optional<TimeZone> TimeZone::Parse(std::string_view bytes) {
    auto counts = ReadHeader(bytes, 0);
    if (!counts) {
        return std::nullopt;
    }
    std::size_t at = HEADER_SIZE;
    std::size_t timeSize = 4;
    // A version 2 file repeats its data with 64-bit times after the first block.
    if (bytes[4] >= '2') {
        at += DataSize(*counts, 4);
        counts = ReadHeader(bytes, at);
        if (!counts) {
            return std::nullopt;
        }
        at += HEADER_SIZE;
        timeSize = 8;
    }
    if (bytes.size() < at + DataSize(*counts, timeSize)) {
        return std::nullopt;
    }
    const std::size_t indexAt = at + counts->time * timeSize;
    const std::size_t typesAt = indexAt + counts->time;
    auto offsetOf = [&](std::size_t type) -> std::optional<std::int32_t> {
        const auto offset = static_cast<std::int32_t>(Be32(bytes, typesAt + type * 6));
        if (offset < -OFFSET_MAX || offset > OFFSET_MAX) {
            return std::nullopt;
        }
        return offset;
    };
    TimeZone zone;
    const auto initial = offsetOf(0);
    if (!initial) {
        return std::nullopt;
    }
    zone.m_initialOffset = *initial;
    for (std::uint32_t i = 0; i < counts->time; ++i) {
        const std::int64_t when = timeSize == 8
                                      ? Be64(bytes, at + i * 8)
                                      : static_cast<std::int32_t>(Be32(bytes, at + i * 4));
        const auto type = static_cast<unsigned char>(bytes[indexAt + i]);
        const auto offset = type < counts->type ? offsetOf(type) : std::nullopt;
        if (!offset || (!zone.m_transitions.empty() && when <= zone.m_transitions.back())) {
            return std::nullopt;
        }
        zone.m_transitions.push_back(when);
        zone.m_offsets.push_back(*offset);
    }
    return zone;
}

std::optional<TimeZone> TimeZone::Load(std::string_view name) {
    if (!PlainZoneName(name)) {
        return std::nullopt;
    }
    const char* dir = std::getenv("TZDIR");
    const std::string folder = dir != nullptr && dir[0] == '/' ? dir : "/usr/share/zoneinfo";
    std::ifstream in(folder + "/" + std::string(name), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes(ZONE_FILE_MAX + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > ZONE_FILE_MAX) {
        return std::nullopt;
    }
    bytes.resize(got);
    return Parse(bytes);
}

std::chrono::seconds TimeZone::OffsetAt(std::chrono::sys_seconds instant) const {
    const std::int64_t t = instant.time_since_epoch().count();
    const auto after = std::upper_bound(m_transitions.begin(), m_transitions.end(), t);
    if (after == m_transitions.begin()) {
        return std::chrono::seconds{m_initialOffset};
    }
    return std::chrono::seconds{
        m_offsets[static_cast<std::size_t>(std::distance(m_transitions.begin(), after) - 1)]};
}

std::chrono::sys_seconds TimeZone::ToUtc(std::chrono::local_seconds local) const {
    const std::chrono::sys_seconds asUtc{local.time_since_epoch()};
    // Either of the offsets a day around may be the one in force; the earlier instant that
    // reads back as this local time wins, and a skipped time takes the earlier offset.
    const auto before = OffsetAt(asUtc - std::chrono::hours{26});
    const auto after = OffsetAt(asUtc + std::chrono::hours{26});
    const auto first = std::min(asUtc - before, asUtc - after);
    const auto second = std::max(asUtc - before, asUtc - after);
    for (const auto candidate : {first, second}) {
        if (ToLocal(candidate) == local) {
            return candidate;
        }
    }
    return asUtc - before;
}

std::chrono::local_seconds TimeZone::ToLocal(std::chrono::sys_seconds instant) const {
    return std::chrono::local_seconds{(instant + OffsetAt(instant)).time_since_epoch()};
}
