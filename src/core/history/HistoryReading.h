// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the market and the source were doing at one poll.
enum class HistoryState : int {
    Live = 0,   // a price was read
    Stale = 1,  // no price could be read while the market was open (the reason says why)
    Closed = 2, // the market was closed
};

// One poll as the history keeps it. The price is whole cents: the text read from the
// chart has two decimals, and cents give it back exactly, never through a double.
struct HistoryReading {
    std::int64_t timeUtc = 0;          // seconds since 1970-01-01 00:00:00 UTC
    std::optional<std::int64_t> cents; // the price read, none when nothing was read
    HistoryState state = HistoryState::Live;
    std::string reason;    // why stale
    bool notified = false; // the user was told of a move at this reading

    friend bool operator==(const HistoryReading&, const HistoryReading&) = default;
};

// "2345.60" -> 234560; none for anything but digits with at most two decimals, or a
// price too large to be one.
std::optional<std::int64_t> PriceTextToCents(std::string_view text);
// 234560 -> "2345.60"
std::string CentsToPriceText(std::int64_t cents);

// "live", "stale", "closed"; and back (none for another word).
const char* HistoryStateName(HistoryState state);
std::optional<HistoryState> HistoryStateFromName(std::string_view name);

// 1700000000 -> "2023-11-14T22:13:20Z"; and back, none for any other form or a date
// that does not exist. A bare date "2026-12-08" reads as its midnight.
std::string FormatUtcIso(std::int64_t timeUtc);
std::optional<std::int64_t> ParseUtcIso(std::string_view text);
