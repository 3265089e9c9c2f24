// SPDX-License-Identifier: MIT
#include "SettingsFile.h"

#include "ServiceFiles.h"
#include "TextRules.h"
#include "platform/common/ErrnoText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr std::size_t MAX_SETTINGS_BYTES = 1024 * 1024;

bool ReadTrusted(const std::string& path, std::string& text, mode_t& mode, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        error = ErrnoText(path + ": cannot be read", errno);
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    // The service may run as a user of its own, with the file root's.
    const std::string distrust = WhyNotTrusted(info, true);
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
    } else if (!distrust.empty()) {
        error = path + ": not used, since " + distrust;
    } else if (!ReadWhole(fd, MAX_SETTINGS_BYTES, text)) {
        error = path + ": unreadable or larger than 1 MiB";
    } else {
        error.clear();
    }
    close(fd);
    mode = info.st_mode;
    return error.empty();
}

} // namespace

std::string QuotedValue(std::string_view value) {
    return " '" + std::string(value) + "'";
}

std::string HiddenValue(std::string_view) {
    return {};
}

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

bool LoadSettingsFile(const std::string& path,
                      const std::function<bool(std::string_view text, std::string& error)>& parse,
                      const std::function<std::string()>& heldSecret, std::string& error) {
    std::string text;
    mode_t mode = 0;
    if (!ReadTrusted(path, text, mode, error)) {
        return false;
    }
    if (!parse(text, error)) {
        error = path + ": " + error;
        return false;
    }
    const std::string secret = heldSecret();
    if (secret.empty() || (mode & S_IROTH) == 0) {
        return true;
    }
    error = path + ": not used, since it holds " + secret + " and others can read it (mode " +
            ModeText(mode) + "; chmod o-r)";
    return false;
}
