// SPDX-License-Identifier: MIT
#pragma once

#include "core/market/TimeZone.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* MARKET_HOURS_FILE = "market-hours.conf";

// The market at one instant: open, or closed until the reopening (nothing when no session
// opens within eight weeks).
struct MarketState {
    bool closed = false;
    std::optional<std::chrono::sys_seconds> reopens;
};

// When the gold market trades: weekly sessions in the exchange's time zone, less its
// holidays and early closes, from market-hours.conf. A session belongs to the trading day on
// which it ends: a holiday drops that day's session, an early close ends it sooner. Without
// the zone in the system's database the market counts as always open, so a silent source is
// stale as it always was. Immutable once made: any thread may ask.
class MarketHours final {
public:
    using Instant = std::chrono::sys_seconds;

    // Sunday 18:00 to Friday 17:00 New York time, a break 17:00-18:00 Monday to Thursday.
    static MarketHours BuiltIn();
    // The text of a market-hours.conf; on the first bad line error receives "line N: why"
    // and the built-in sessions come back.
    static MarketHours Parse(std::string_view text, std::string& error);
    // $XDG_CONFIG_HOME/Tamberlo/Orvantis/market-hours.conf, else the installed one in
    // ../share/orvantis (or the server package's ../share/orvantis-server) beside the
    // program, else the built-in sessions. A bad file costs one
    // line on standard error, after program's name.
    static MarketHours Load(std::string_view program);
    static MarketHours LoadFile(const std::string& path, std::string_view program);

    bool IsOpen(Instant t) const;
    // The opening of the session under way at t; nothing while closed.
    std::optional<Instant> OpenedAt(Instant t) const;
    // The first opening after t (the reopening while closed); nothing when no session opens
    // within eight weeks.
    std::optional<Instant> NextOpen(Instant t) const;
    MarketState StateAt(Instant t) const;

private:
    MarketHours();

    struct Session {
        int startMinute; // from Sunday 00:00, exchange time
        int endMinute;   // after startMinute, at most a week later
    };
    struct Span {
        Instant open;
        Instant close;
    };

    // The sessions that start in the week from that Sunday, as instants, in order.
    std::vector<Span> WeekSpans(std::chrono::local_days sunday) const;
    // The same, kept for the last few weeks asked on this thread.
    const std::vector<Span>& CachedWeekSpans(std::chrono::local_days sunday) const;
    std::chrono::local_days SundayOf(Instant t) const;
    bool ParseLine(std::string_view line, std::string& why);

    std::uint64_t m_id; // tells the cached weeks of one set of hours from another's
    std::optional<TimeZone> m_zone;
    std::vector<Session> m_sessions;
    std::set<std::chrono::local_days> m_holidays;
    std::map<std::chrono::local_days, int> m_earlyCloses; // minute of the day
};
