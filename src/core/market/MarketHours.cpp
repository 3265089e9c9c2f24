// SPDX-License-Identifier: MIT
#include "core/market/MarketHours.h"

#include "platform/Platform.h"
#include "platform/common/Digits.h"
#include "platform/common/Trim.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

using namespace std::chrono;

constexpr int DAY_MINUTES = 24 * 60;
constexpr int WEEK_MINUTES = 7 * DAY_MINUTES;
// A hand-kept list of sessions and dates is small; anything larger is not one.
constexpr std::size_t FILE_MAX = 64 * 1024;
constexpr std::size_t SESSIONS_MAX = 64;
constexpr std::size_t DATES_MAX = 1000;
constexpr int WEEKS_AHEAD = 8;
constexpr const char* EXCHANGE_ZONE = "America/New_York";
constexpr std::array<const char*, 7> DAY_NAMES{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::optional<int> Number(std::string_view text) {
    return ParseDigits(text, 1, 4);
}

// "HH:MM", 00:00 to 24:00.
std::optional<int> ClockMinute(std::string_view text) {
    if (text.size() != 5 || text[2] != ':') {
        return std::nullopt;
    }
    const auto hour = Number(text.substr(0, 2));
    const auto minute = Number(text.substr(3, 2));
    if (!hour || !minute || *minute > 59 || *hour * 60 + *minute > DAY_MINUTES) {
        return std::nullopt;
    }
    return *hour * 60 + *minute;
}

std::optional<int> WeekMinute(std::string_view day, std::string_view clock) {
    const auto name = std::find(DAY_NAMES.begin(), DAY_NAMES.end(), day);
    const auto minute = ClockMinute(clock);
    if (name == DAY_NAMES.end() || !minute) {
        return std::nullopt;
    }
    return static_cast<int>(name - DAY_NAMES.begin()) * DAY_MINUTES + *minute;
}

// "YYYY-MM-DD".
std::optional<local_days> Date(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const auto y = Number(text.substr(0, 4));
    const auto m = Number(text.substr(5, 2));
    const auto d = Number(text.substr(8, 2));
    if (!y || !m || !d) {
        return std::nullopt;
    }
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*m)},
                              day{static_cast<unsigned>(*d)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    return local_days{date};
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() <= 5) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

std::atomic<std::uint64_t> s_nextId{1};

} // namespace

MarketHours::MarketHours() : m_id(s_nextId++) {}

MarketHours MarketHours::BuiltIn() {
    MarketHours hours;
    hours.m_zone = TimeZone::Load(EXCHANGE_ZONE);
    for (int day = 0; day < 5; ++day) {
        hours.m_sessions.push_back(
            {day * DAY_MINUTES + 18 * 60, (day + 1) * DAY_MINUTES + 17 * 60});
    }
    return hours;
}

bool MarketHours::ParseLine(std::string_view line, std::string& why) {
    const std::vector<std::string_view> words = Words(line);
    const std::string_view key = words.front();
    if (key == "zone" && words.size() == 2) {
        m_zone = TimeZone::Load(words[1]);
        why = m_zone ? "" : "no time zone " + std::string(words[1]) + " in the system's database";
    } else if (key == "session" && words.size() == 5) {
        const auto start = WeekMinute(words[1], words[2]);
        auto end = WeekMinute(words[3], words[4]);
        if (start && end && *end <= *start) {
            *end += WEEK_MINUTES; // runs over the weekend into the next week
        }
        why = !start || !end                      ? "a session is \"session Sun 18:00 Mon 17:00\""
              : m_sessions.size() >= SESSIONS_MAX ? "too many sessions"
                                                  : "";
        if (why.empty()) {
            m_sessions.push_back({*start, *end});
        }
    } else if (key == "holiday" && words.size() == 2) {
        const auto date = Date(words[1]);
        why = date ? "" : "a holiday is \"holiday 2026-12-25\"";
        if (date) {
            m_holidays.insert(*date);
        }
    } else if (key == "early-close" && words.size() == 3) {
        const auto date = Date(words[1]);
        const auto minute = ClockMinute(words[2]);
        why = date && minute ? "" : "an early close is \"early-close 2026-12-24 13:45\"";
        if (date && minute) {
            m_earlyCloses[*date] = *minute;
        }
    } else {
        why = "not \"zone\", \"session\", \"holiday\" or \"early-close\" with its values";
    }
    if (why.empty() && m_holidays.size() + m_earlyCloses.size() > DATES_MAX) {
        why = "too many dates";
    }
    return why.empty();
}

MarketHours MarketHours::Parse(std::string_view text, std::string& error) {
    error.clear();
    MarketHours hours;
    hours.m_zone = TimeZone::Load(EXCHANGE_ZONE);
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) {
            continue;
        }
        std::string why;
        if (!hours.ParseLine(Trim<char>(line, " \t\r"), why)) {
            error = "line " + std::to_string(number) + ": " + why;
            return BuiltIn();
        }
    }
    if (hours.m_sessions.empty()) {
        error = "line " + std::to_string(number) + ": no session";
        return BuiltIn();
    }
    std::sort(hours.m_sessions.begin(), hours.m_sessions.end(),
              [](const Session& a, const Session& b) { return a.startMinute < b.startMinute; });
    return hours;
}

MarketHours MarketHours::LoadFile(const std::string& path, std::string_view program) {
    std::ifstream in(path, std::ios::binary);
    std::string text(FILE_MAX + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    std::string error;
    MarketHours hours = text.size() > FILE_MAX ? BuiltIn() : Parse(text, error);
    if (text.size() > FILE_MAX) {
        error = "line 1: the file is over " + std::to_string(FILE_MAX / 1024) + " KiB";
    }
    if (!error.empty()) {
        std::fprintf(stderr, "%.*s: %s %s; using the built-in weekly sessions\n",
                     static_cast<int>(program.size()), program.data(), path.c_str(), error.c_str());
    }
    return hours;
}

MarketHours MarketHours::Load(std::string_view program) {
    std::vector<std::string> paths{platform::UserConfigDir() + "/Tamberlo/Orvantis/" +
                                   MARKET_HOURS_FILE};
    const std::string exe = platform::ExecutablePath();
    if (const std::size_t slash = exe.rfind('/'); slash != std::string::npos) {
        for (const char* folder : {"/../share/orvantis/", "/../share/orvantis-server/"}) {
            paths.push_back(exe.substr(0, slash) + folder + MARKET_HOURS_FILE);
        }
    }
    for (const std::string& path : paths) {
        if (std::ifstream(path).good()) {
            return LoadFile(path, program);
        }
    }
    return BuiltIn();
}

local_days MarketHours::SundayOf(Instant t) const {
    const local_days date = floor<days>(m_zone->ToLocal(t));
    return date - (weekday{date} - Sunday);
}

std::vector<MarketHours::Span> MarketHours::WeekSpans(local_days sunday) const {
    std::vector<Span> spans;
    for (const Session& session : m_sessions) {
        const local_seconds start = sunday + minutes{session.startMinute};
        local_seconds end = sunday + minutes{session.endMinute};
        const local_days tradeDay = floor<days>(end);
        if (m_holidays.contains(tradeDay)) {
            continue;
        }
        if (const auto early = m_earlyCloses.find(tradeDay); early != m_earlyCloses.end()) {
            end = std::min(end, local_seconds{tradeDay + minutes{early->second}});
        }
        if (end > start) {
            spans.push_back({m_zone->ToUtc(start), m_zone->ToUtc(end)});
        }
    }
    return spans;
}

const std::vector<MarketHours::Span>& MarketHours::CachedWeekSpans(local_days sunday) const {
    // Callers ask about one moment after another: a handful of weeks covers them, and each
    // thread keeps its own, so the hours stay free to share.
    struct Week {
        std::uint64_t owner = 0;
        local_days sunday{};
        std::vector<Span> spans;
    };
    thread_local std::array<Week, 4> s_weeks;
    thread_local std::size_t s_next = 0;
    for (const Week& week : s_weeks) {
        if (week.owner == m_id && week.sunday == sunday) {
            return week.spans;
        }
    }
    Week& week = s_weeks[s_next];
    s_next = (s_next + 1) % s_weeks.size();
    week = {m_id, sunday, WeekSpans(sunday)};
    return week.spans;
}

bool MarketHours::IsOpen(Instant t) const {
    return !m_zone || OpenedAt(t).has_value();
}

std::optional<MarketHours::Instant> MarketHours::OpenedAt(Instant t) const {
    if (!m_zone) {
        return Instant{};
    }
    const local_days sunday = SundayOf(t);
    for (const local_days week : {sunday - weeks{1}, sunday}) {
        for (const Span& span : CachedWeekSpans(week)) {
            if (span.open <= t && t < span.close) {
                return span.open;
            }
        }
    }
    return std::nullopt;
}

MarketState MarketHours::StateAt(Instant t) const {
    if (IsOpen(t)) {
        return {};
    }
    return {true, NextOpen(t)};
}

std::optional<MarketHours::Instant> MarketHours::NextOpen(Instant t) const {
    if (!m_zone) {
        return std::nullopt;
    }
    const local_days sunday = SundayOf(t);
    // Sessions start in week order, so the first week with a later opening has the first.
    for (int week = 0; week <= WEEKS_AHEAD; ++week) {
        for (const Span& span : CachedWeekSpans(sunday + weeks{week})) {
            if (span.open > t) {
                return span.open;
            }
        }
    }
    return std::nullopt;
}
