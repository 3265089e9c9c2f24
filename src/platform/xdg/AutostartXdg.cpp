// SPDX-License-Identifier: MIT
// Start at login on freedesktop.org desktops: an autostart desktop entry.
#include "platform/AtomicFile.h"
#include "platform/Platform.h"
#include "platform/common/Trim.h"
#include "platform/common/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char* ENTRY_NAME = "Orvantis.desktop";
// The icon name the package installs.
constexpr const char* ICON_NAME = "com.tamberlo.Orvantis";
// An entry is a few lines; of a larger file only this much is looked at.
constexpr std::size_t ENTRY_READ_MAX = 64 * 1024;
// An argument of an Exec line that holds one of these must be quoted.
constexpr std::string_view EXEC_RESERVED = " \t\n\"'\\><~|&;$*?#`=()";

std::string AutostartFolder() {
    return UserConfigDir() + "/autostart";
}

bool IsPrintableUtf8(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Step step = DecodeUtf8At(text, pos);
        if (step.status != Utf8Status::Ok || step.codePoint < 0x20 || step.codePoint == 0x7F ||
            (step.codePoint >= 0x80 && step.codePoint < 0xA0)) {
            return false;
        }
        pos += step.length;
    }
    return true;
}

// The path as the program of an Exec line. Three layers, undone in the opposite order by
// a launcher: a literal '%' is doubled (field codes); an argument with a reserved
// character is quoted, with '"', '`', '$' and '\' escaped by a backslash inside the
// quotes; and the value escape of every desktop entry string doubles each backslash.
std::optional<std::string> ExecProgram(std::string_view path) {
    if (path.empty() || !IsPrintableUtf8(path)) {
        return std::nullopt;
    }
    const bool quote = path.find_first_of(EXEC_RESERVED) != std::string_view::npos;
    std::string exec = quote ? "\"" : "";
    for (const char c : path) {
        if (c == '%') {
            exec += "%%";
        } else if (c == '\\') {
            exec += "\\\\\\\\";
        } else if (quote && (c == '"' || c == '`' || c == '$')) {
            exec.append("\\\\").push_back(c);
        } else {
            exec.push_back(c);
        }
    }
    return quote ? exec + "\"" : exec;
}

// A launcher starts the program for an entry with a "Desktop Entry" group that the
// desktop has not switched off.
bool IsEntryOn(std::string_view text) {
    bool seenMainGroup = false;
    bool inMainGroup = false;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.starts_with('[')) {
            inMainGroup = line == "[Desktop Entry]";
            seenMainGroup = seenMainGroup || inMainGroup;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        const std::string_view value = TrimBlanks(line.substr(equals + 1));
        if ((key == "Hidden" && (value == "true" || value == "1")) ||
            (key == "X-GNOME-Autostart-enabled" && (value == "false" || value == "0"))) {
            return false;
        }
    }
    return seenMainGroup;
}

} // namespace

std::string AutostartEntryPath() {
    return AutostartFolder() + "/" + ENTRY_NAME;
}

bool IsAutostartEnabled() {
    // A link is followed: launchers read an entry through it too. Non-blocking, so that a
    // pipe at that place cannot hold the caller.
    const int fd = open(AutostartEntryPath().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    std::string text;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        char chunk[4096];
        ssize_t n = 0;
        while (text.size() < ENTRY_READ_MAX && (n = read(fd, chunk, sizeof(chunk))) > 0) {
            text.append(chunk, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return IsEntryOn(text);
}

bool EnableAutostart(const std::string& programPath) {
    const std::optional<std::string> program = ExecProgram(programPath);
    if (!program) {
        return false;
    }
    const std::string entry = std::string("[Desktop Entry]\nType=Application\nName=Orvantis\n") +
                              "Exec=" + *program + " -s\nIcon=" + ICON_NAME + "\n";
    CreateFolderChain(AutostartFolder());
    // A replacement puts a new file at the name: a link at the entry's place is never
    // followed.
    return ReplaceFile(AutostartEntryPath(), entry, 0644);
}

bool DisableAutostart() {
    if (!IsAutostartEnabled()) {
        return true;
    }
    return unlink(AutostartEntryPath().c_str()) == 0 || errno == ENOENT;
}

} // namespace platform
