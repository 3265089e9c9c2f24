// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The alert rules beyond the dollar threshold, in their own section of gold.ini. Every key
// is off while missing, empty or holding text that is not its form; such text is left in
// the file as it stands. The section is written only when the user sets a rule, so a file
// without it reads and behaves as before.
inline constexpr const char* ALERTS_SECTION = "Alerts";

inline constexpr const char* KEY_ALERT_STYLE = "Style";            // "dialog" or "notification"
inline constexpr const char* KEY_PERCENT_CHANGE = "PercentChange"; // percent of LastPrice, 0 = off
inline constexpr const char* KEY_ALERT_ABOVE = "AlertAbove";       // dollars, empty = off
inline constexpr const char* KEY_ALERT_BELOW = "AlertBelow";       // dollars, empty = off
inline constexpr const char* KEY_LEVEL_BAND = "LevelBand";         // dollars, 1.00 when missing
inline constexpr const char* KEY_QUIET_HOURS = "QuietHours";       // "22:00-07:00", local time
inline constexpr const char* KEY_SNOOZE_UNTIL = "SnoozeUntil";     // "2026-12-08T14:30:00Z"
// Whether a level may notify again: "0" after it notified, until the price has left it by
// the band; anything else is armed.
inline constexpr const char* KEY_ABOVE_ARMED = "AboveArmed";
inline constexpr const char* KEY_BELOW_ARMED = "BelowArmed";

inline constexpr double LEVEL_BAND_PRESET = 1.0;

enum class AlertStyle { Dialog, Notification };

// A span of the local day in minutes since midnight; it wraps midnight when from > to.
// The end is exclusive.
struct QuietHours {
    int fromMinute = 0;
    int toMinute = 0;

    bool Contains(int minuteOfDay) const;
    bool operator==(const QuietHours&) const = default;
};

struct AlertSettings {
    AlertStyle style = AlertStyle::Dialog;
    double percentChange = 0.0; // off at 0 or below
    std::optional<double> alertAbove;
    std::optional<double> alertBelow;
    double levelBand = LEVEL_BAND_PRESET;
    std::optional<QuietHours> quietHours;
    std::optional<std::int64_t> snoozeUntil; // seconds since the epoch, UTC
    bool aboveArmed = true;
    bool belowArmed = true;
};

// Reads every key of the section afresh from g_strIniFile.
AlertSettings ReadAlertSettings();
// Reads one key of the section; the default when it is missing.
std::string ReadAlertSetting(const char* key, const std::string& defaultText);
// Writes one key of the section (an empty value keeps the key, empty); false when it
// failed. A failure to reach the file is kept as the settings write problem.
bool WriteAlertSetting(const char* key, const std::string& value);

// The forms of the values, shared by the reader, the dialog and the command line.
// A finite decimal number and nothing else around its blanks ("2400", "0.5", "-3").
std::optional<double> ParseAlertNumber(const std::string& text);
// "HH:MM", 00:00 to 23:59, as minutes since midnight.
std::optional<int> ParseClockTime(const std::string& text);
// "HH:MM-HH:MM"; nothing when either time is malformed or both are the same.
std::optional<QuietHours> ParseQuietHours(const std::string& text);
std::string FormatQuietHours(const QuietHours& hours);
// "YYYY-MM-DDTHH:MM[:SS]Z", UTC, as the wall clock reads and writes it.
std::optional<std::int64_t> ParseUtcInstant(const std::string& text);
std::string FormatUtcInstant(std::int64_t secondsSinceEpoch);
