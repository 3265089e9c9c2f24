// SPDX-License-Identifier: MIT
#pragma once

#include "core/settings/SettingText.h"

#include <string>

// The keys of section "Option" of gold.ini (g_strIniFile), with their reading rules.
inline constexpr const char* SETTINGS_SECTION = "Option";
inline constexpr const char* KEY_PRICE_CHANGE = "PriceChange";
inline constexpr const char* KEY_LAST_PRICE = "LastPrice";
inline constexpr const char* KEY_TIP_LAST_PRICE = "TipLastPrice";
inline constexpr const char* KEY_CURRENT_PRICE = "CurrentPrice";
inline constexpr const char* KEY_SEND_EMAIL = "SendEmail";
inline constexpr const char* KEY_POPUP = "Popup";
inline constexpr const char* KEY_EMAIL = "Email";
inline constexpr const char* KEY_FLOAT_POS = "FloatPos";

// Reads a key of section "Option" of g_strIniFile afresh; the default when missing.
std::string ReadSetting(const char* key, const std::string& defaultText);
// Writes a key of section "Option" of g_strIniFile; false when it failed. A failure to
// write the file (not a refused value) is kept as the settings write problem below.
bool WriteSetting(const char* key, const std::string& value);

// Why the settings file cannot be written at the moment (for example "the file is
// read-only"), empty while writes work: set by a write that failed, cleared by the next
// one that reached the file. Its start and its end are written once each to standard
// error. Thread-safe.
std::string SettingsWriteProblem();
// The same as a line for the user ("Settings cannot be saved: " and the reason), empty
// while writes work: for the tooltips of the windows that show the price.
std::string SettingsWriteProblemTip();

// The threshold as the tracker and the label read it: default "10", preset 5.
double ReadThreshold();
