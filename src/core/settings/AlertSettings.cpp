// SPDX-License-Identifier: MIT
#include "core/settings/AlertSettings.h"

#include "core/settings/Settings.h"
#include "platform/common/Digits.h"
#include "platform/common/Trim.h"
#include "platform/common/WallClock.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

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
    const std::optional<int> hours = ParseDigits(trimmed.substr(0, 2), 2, 2);
    const std::optional<int> minutes = ParseDigits(trimmed.substr(3, 2), 2, 2);
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
    const std::optional<std::chrono::sys_seconds> instant =
        WallClock::ParseInstant(TrimBlanks(text));
    if (!instant) {
        return std::nullopt;
    }
    return instant->time_since_epoch().count();
}

std::string FormatUtcInstant(std::int64_t secondsSinceEpoch) {
    return WallClock::FormatInstant(
        std::chrono::sys_seconds{std::chrono::seconds{secondsSinceEpoch}});
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
