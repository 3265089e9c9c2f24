// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One "key = value" line of a service's settings file.
struct SettingLine {
    int number = 0; // counted from 1
    std::string key;
    std::string value;
};

// A settings file's lines: "key = value", blanks around key and value ignored, '#'
// starts a comment line, CR LF line ends accepted. False with a message naming the line
// when one has no '='.
bool SplitSettingLines(std::string_view text, std::vector<SettingLine>& lines, std::string& error);
// The text of a file of at most maxBytes (a settings file: 1 MiB); false with a message
// naming the file when it cannot be read or is larger.
bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& text,
                   std::string& error);

// host:port, with an IPv6 host in brackets; port 0 to 65535.
bool ParseHostPort(std::string_view value, std::string& host, int& port);
// A whole decimal number from low to high, nothing else around it.
bool ParseWholeNumber(std::string_view text, int low, int high, int& value);
// True when the text holds a control byte (below 0x20, or 0x7F).
bool HasControl(std::string_view text);
