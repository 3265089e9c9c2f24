// SPDX-License-Identifier: MIT
#include "core/history/HistoryReading.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace {
// Far above any price, far below an overflow of the cents.
constexpr std::int64_t MAX_WHOLE_DOLLARS = 1'000'000'000'000;

// Reads exactly count digits at text[pos]; none when one is not a digit.
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}
} // namespace

std::optional<std::int64_t> PriceTextToCents(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 13 || fraction.size() > 2 ||
        (dot != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    std::int64_t dollars = 0;
    for (const char c : whole) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        dollars = dollars * 10 + (c - '0');
    }
    std::int64_t cents = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        const char c = i < fraction.size() ? fraction[i] : '0';
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        cents = cents * 10 + (c - '0');
    }
    if (dollars >= MAX_WHOLE_DOLLARS) {
        return std::nullopt;
    }
    return dollars * 100 + cents;
}

std::string CentsToPriceText(std::int64_t cents) {
    const bool negative = cents < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(cents) : static_cast<std::uint64_t>(cents);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%s%llu.%02llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100),
                  static_cast<unsigned long long>(magnitude % 100));
    return text.data();
}

const char* HistoryStateName(HistoryState state) {
    switch (state) {
    case HistoryState::Live:
        return "live";
    case HistoryState::Stale:
        return "stale";
    case HistoryState::Closed:
        return "closed";
    }
    return "live";
}

std::optional<HistoryState> HistoryStateFromName(std::string_view name) {
    for (const HistoryState state :
         {HistoryState::Live, HistoryState::Stale, HistoryState::Closed}) {
        if (name == HistoryStateName(state)) {
            return state;
        }
    }
    return std::nullopt;
}

std::string FormatUtcIso(std::int64_t timeUtc) {
    const auto seconds = static_cast<std::time_t>(timeUtc);
    std::tm parts{};
    if (gmtime_r(&seconds, &parts) == nullptr) {
        return {};
    }
    std::array<char, 40> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text.data();
}

std::optional<std::int64_t> ParseUtcIso(std::string_view text) {
    const bool dateOnly = text.size() == 10;
    if (!dateOnly && (text.size() != 20 || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
                      text[19] != 'Z')) {
        return std::nullopt;
    }
    if (text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    const auto year = Digits(text, 0, 4);
    const auto month = Digits(text, 5, 2);
    const auto day = Digits(text, 8, 2);
    const auto hour = dateOnly ? std::optional<int>(0) : Digits(text, 11, 2);
    const auto minute = dateOnly ? std::optional<int>(0) : Digits(text, 14, 2);
    const auto second = dateOnly ? std::optional<int>(0) : Digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *year < 1970 || *hour > 23 ||
        *minute > 59 || *second > 59) {
        return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = *year - 1900;
    parts.tm_mon = *month - 1;
    parts.tm_mday = *day;
    parts.tm_hour = *hour;
    parts.tm_min = *minute;
    parts.tm_sec = *second;
    const std::time_t seconds = timegm(&parts);
    // timegm carries 31 February into March: such a date is refused.
    if (seconds == static_cast<std::time_t>(-1) || parts.tm_mon != *month - 1 ||
        parts.tm_mday != *day) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(seconds);
}
