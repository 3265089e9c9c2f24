// SPDX-License-Identifier: MIT
#include "core/settings/AlertSettings.h"

#include "core/settings/Settings.h"
#include "platform/common/Trim.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr int MINUTES_PER_DAY = 24 * 60;

std::optional<int> ParseDigits(std::string_view text, std::size_t count) {
    if (text.size() != count) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int DAYS[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : DAYS[month - 1];
}

bool ArmedOf(const std::string& text) {
    return text != "0";
}

} // namespace

bool QuietHours::Contains(int minuteOfDay) const {
    if (fromMinute <= toMinute) {
        return minuteOfDay >= fromMinute && minuteOfDay < toMinute;
    }
    return minuteOfDay >= fromMinute || minuteOfDay < toMinute;
}

std::optional<double> ParseAlertNumber(const std::string& text) {
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    double value = 0.0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [next, error] =
        std::from_chars(trimmed.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || next != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ParseClockTime(const std::string& text) {
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.size() != 5 || trimmed[2] != ':') {
        return std::nullopt;
    }
    const std::optional<int> hours = ParseDigits(trimmed.substr(0, 2), 2);
    const std::optional<int> minutes = ParseDigits(trimmed.substr(3, 2), 2);
    if (!hours || !minutes || *hours > 23 || *minutes > 59) {
        return std::nullopt;
    }
    return *hours * 60 + *minutes;
}

std::optional<QuietHours> ParseQuietHours(const std::string& text) {
    const std::string_view trimmed = TrimBlanks(text);
    const std::size_t dash = trimmed.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<int> from = ParseClockTime(std::string(trimmed.substr(0, dash)));
    const std::optional<int> to = ParseClockTime(std::string(trimmed.substr(dash + 1)));
    if (!from || !to || *from == *to) {
        return std::nullopt;
    }
    return QuietHours{*from, *to};
}

std::string FormatQuietHours(const QuietHours& hours) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d-%02d:%02d", hours.fromMinute / 60,
                  hours.fromMinute % 60, hours.toMinute / 60, hours.toMinute % 60);
    return text;
}

std::optional<std::int64_t> ParseUtcInstant(const std::string& text) {
    const std::string_view s = TrimBlanks(text);
    // YYYY-MM-DDTHH:MM[:SS]Z
    if ((s.size() != 17 && s.size() != 20) || s.back() != 'Z' || s[4] != '-' || s[7] != '-' ||
        (s[10] != 'T' && s[10] != 't') || s[13] != ':' || (s.size() == 20 && s[16] != ':')) {
        return std::nullopt;
    }
    const std::optional<int> year = ParseDigits(s.substr(0, 4), 4);
    const std::optional<int> month = ParseDigits(s.substr(5, 2), 2);
    const std::optional<int> day = ParseDigits(s.substr(8, 2), 2);
    const std::optional<int> hour = ParseDigits(s.substr(11, 2), 2);
    const std::optional<int> minute = ParseDigits(s.substr(14, 2), 2);
    const std::optional<int> second = s.size() == 20 ? ParseDigits(s.substr(17, 2), 2) : 0;
    if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 ||
        *day < 1 || *day > DaysInMonth(*year, *month) || *hour > 23 || *minute > 59 ||
        *second > 59) {
        return std::nullopt;
    }
    return DaysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second;
}

std::string FormatUtcInstant(std::int64_t secondsSinceEpoch) {
    const std::time_t time = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string ReadAlertSetting(const char* key, const std::string& defaultText) {
    return ReadSectionSetting(ALERTS_SECTION, key, defaultText);
}

bool WriteAlertSetting(const char* key, const std::string& value) {
    return WriteSectionSetting(ALERTS_SECTION, key, value);
}

AlertSettings ReadAlertSettings() {
    AlertSettings settings;
    if (TrimBlanks(ReadAlertSetting(KEY_ALERT_STYLE, "")) == "notification") {
        settings.style = AlertStyle::Notification;
    }
    settings.percentChange = ParseAlertNumber(ReadAlertSetting(KEY_PERCENT_CHANGE, "")).value_or(0);
    settings.alertAbove = ParseAlertNumber(ReadAlertSetting(KEY_ALERT_ABOVE, ""));
    settings.alertBelow = ParseAlertNumber(ReadAlertSetting(KEY_ALERT_BELOW, ""));
    const std::optional<double> band = ParseAlertNumber(ReadAlertSetting(KEY_LEVEL_BAND, ""));
    settings.levelBand = band && *band >= 0.0 ? *band : LEVEL_BAND_PRESET;
    settings.quietHours = ParseQuietHours(ReadAlertSetting(KEY_QUIET_HOURS, ""));
    settings.snoozeUntil = ParseUtcInstant(ReadAlertSetting(KEY_SNOOZE_UNTIL, ""));
    settings.aboveArmed = ArmedOf(ReadAlertSetting(KEY_ABOVE_ARMED, ""));
    settings.belowArmed = ArmedOf(ReadAlertSetting(KEY_BELOW_ARMED, ""));
    return settings;
}
