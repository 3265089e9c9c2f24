// SPDX-License-Identifier: MIT
#include "SettingsFile.h"

#include "httpd/TextRules.h"

#include <algorithm>
#include <charconv>
#include <fstream>

namespace {} // namespace

bool SplitSettingLines(std::string_view text, std::vector<SettingLine>& lines, std::string& error) {
    int number = 0;
    for (std::size_t pos = 0; pos <= text.size();) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        line = TrimBlanks(line);
        pos = end + 1;
        ++number;
        if (line.empty() || line.starts_with('#')) {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = "line " + std::to_string(number) + ": expected 'key = value'";
            return false;
        }
        lines.push_back({number, std::string(TrimBlanks(line.substr(0, equals))),
                         std::string(TrimBlanks(line.substr(equals + 1)))});
    }
    return true;
}

bool ReadSmallFile(const std::string& path, std::size_t maxBytes, std::string& text,
                   std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    text.assign(maxBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(maxBytes + 1));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad() || text.size() > maxBytes) {
        error = path + ": unreadable or larger than " + std::to_string(maxBytes / 1024) + " KiB";
        return false;
    }
    return true;
}

bool ParseHostPort(std::string_view value, std::string& host, int& port) {
    const std::size_t colon = value.rfind(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    std::string_view name = value.substr(0, colon);
    if (name.starts_with('[')) {
        if (!name.ends_with(']')) {
            return false;
        }
        name = name.substr(1, name.size() - 2);
    } else if (name.find(':') != std::string_view::npos) {
        return false; // an IPv6 address without brackets
    }
    if (name.empty() || HasControl(name) || name.find(' ') != std::string_view::npos) {
        return false;
    }
    host = std::string(name);
    return ParseWholeNumber(value.substr(colon + 1), 0, 65535, port);
}

bool ParseWholeNumber(std::string_view text, int low, int high, int& value) {
    int parsed = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || parsed < low ||
        parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; });
}
