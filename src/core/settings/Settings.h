// SPDX-License-Identifier: MIT
#pragma once

#include "core/settings/SettingText.h"

#include <string>

// The settings file, gold.ini (g_strIniFile): its section "Option" holds the user's
// settings and the prices the notification rule needs. Every read goes to the file afresh,
// since the file is also how the threads hand prices to one another.
inline constexpr const char* SETTINGS_SECTION = "Option";

// A switch is on when its text is "1" and off when it is "0". What a hand edit leaves there
// is neither, and each reader says which way that leans: e-mail is sent only when it is on,
// the notification dialog shows unless it is off.
enum class Switch { On, Off, Neither };

// A key, the text it reads as when it is missing, and what its text means. A key is also
// its name, for the calls that take one.
template <class Value> struct SettingKey {
    const char* name;
    const char* defaultText;
    Value (*read)(const std::string& text);

    constexpr operator const char*() const { return name; }
};

Switch SwitchOf(const std::string& text);
double ThresholdOf(const std::string& text);
std::string TextOf(const std::string& text);

// Every key of the file. Prices are written with FormatPrice and read as text, since a
// reader tells an empty one (no price yet) from a number; the threshold is written with
// FormatThreshold, and a missing one reads as 10 while one that holds no number reads as 5.
inline constexpr SettingKey<double> KEY_PRICE_CHANGE{"PriceChange", "10", ThresholdOf};
inline constexpr SettingKey<std::string> KEY_LAST_PRICE{"LastPrice", "", TextOf};
inline constexpr SettingKey<std::string> KEY_TIP_LAST_PRICE{"TipLastPrice", "", TextOf};
inline constexpr SettingKey<std::string> KEY_CURRENT_PRICE{"CurrentPrice", "", TextOf};
inline constexpr SettingKey<Switch> KEY_SEND_EMAIL{"SendEmail", "0", SwitchOf};
inline constexpr SettingKey<Switch> KEY_POPUP{"Popup", "1", SwitchOf};
inline constexpr SettingKey<std::string> KEY_EMAIL{"Email", "", TextOf};
// "%d,%d" of the floating window's left and top; see ParseFloatPos.
inline constexpr SettingKey<std::string> KEY_FLOAT_POS{"FloatPos", "", TextOf};

// Reads a key of section "Option" of g_strIniFile afresh; the default when missing.
std::string ReadSetting(const char* key, const std::string& defaultText);
// Reads a key and gives what its text means.
template <class Value> Value ReadSetting(const SettingKey<Value>& key) {
    return key.read(ReadSetting(key.name, key.defaultText));
}
// Writes a key of section "Option" of g_strIniFile; false when it failed. A failure to
// write the file (not a refused value) is kept as the settings write problem below.
bool WriteSetting(const char* key, const std::string& value);
// The same for a key of another section of g_strIniFile.
std::string ReadSectionSetting(const char* section, const char* key,
                               const std::string& defaultText);
bool WriteSectionSetting(const char* section, const char* key, const std::string& value);

// Why the settings file cannot be written at the moment (for example "the file is
// read-only"), empty while writes work: set by a write that failed, cleared by the next
// one that reached the file. Its start and its end are written once each to standard
// error. Thread-safe.
std::string SettingsWriteProblem();
// The same as a line for the user ("Settings cannot be saved: " and the reason), empty
// while writes work: for the tooltips of the windows that show the price.
std::string SettingsWriteProblemTip();
