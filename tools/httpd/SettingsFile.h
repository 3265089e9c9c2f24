// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// A service's settings file: "key = value" lines, each key a row of the service's own
// table that reads its value into the service's settings.

// One "key = value" line.
struct SettingLine {
    int number = 0; // counted from 1
    std::string key;
    std::string value;
};

// What a message about a bad value shows of it: the value quoted, or nothing of a value
// that may be a secret.
std::string QuotedValue(std::string_view value);
std::string HiddenValue(std::string_view value);

template <typename Settings> struct SettingKey {
    const char* name;
    const char* expected; // what a good value looks like, for the message on a bad one
    std::function<bool(std::string_view, Settings&)> parse;
    bool repeatable = false;
    std::string (*shown)(std::string_view value) = QuotedValue;
};

// The lines of a settings file: blanks around key and value ignored, '#' starts a comment
// line, CR LF line ends accepted. False with a message naming the line when one has no '='.
bool SplitSettingLines(std::string_view text, std::vector<SettingLine>& lines, std::string& error);

// Sets what the line says through the key of its name, and notes the key in seen. False
// with a message naming the line for an unknown key, a key set again that is not
// repeatable, or a bad value.
template <typename Settings, std::size_t N>
bool ApplySetting(const SettingLine& line, const std::array<SettingKey<Settings>, N>& keys,
                  Settings& settings, std::set<std::string>& seen, std::string& error) {
    const std::string where = "line " + std::to_string(line.number) + ": ";
    const auto key = std::find_if(keys.begin(), keys.end(), [&line](const SettingKey<Settings>& k) {
        return line.key == k.name;
    });
    if (key == keys.end()) {
        error = where + "unknown key '" + line.key + "'";
    } else if (!seen.insert(line.key).second && !key->repeatable) {
        error = where + "'" + line.key + "' is set twice";
    } else if (!key->parse(line.value, settings)) {
        error = where + "bad value for '" + line.key + "':" + key->shown(line.value) +
                " (expected " + key->expected + ")";
    } else {
        return true;
    }
    return false;
}

// Reads a service's settings file and hands its text to parse, whose message then names
// the file too. The file is used only when nobody else could have written it: a regular
// file (a FIFO there would hold the start until someone writes into it) of at most 1 MiB
// that this user or root owns and that neither its group nor others can write. When
// heldSecret() then names a secret that the settings hold, others must not be able to
// read the file either. False with a message naming the file.
bool LoadSettingsFile(const std::string& path,
                      const std::function<bool(std::string_view text, std::string& error)>& parse,
                      const std::function<std::string()>& heldSecret, std::string& error);
