// SPDX-License-Identifier: MIT
#include "ServiceLog.h"

#include "platform/common/WallClock.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

constexpr std::size_t MAX_PRINTED = 100;

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

bool IsControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
}

} // namespace

std::string UtcTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

void LogLine(std::string_view text) {
    std::string line = UtcTime(WallClock::Now()) + " ";
    // Whatever slipped through unescaped still cannot start a line of its own.
    for (const char ch : text) {
        if (IsControl(static_cast<unsigned char>(ch))) {
            AppendEscaped(line, static_cast<unsigned char>(ch));
        } else {
            line += ch;
        }
    }
    line += '\n';
    std::lock_guard lock(LogMutex());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string Printable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < MAX_PRINTED; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsControl(byte) || byte > 0x7F || byte == '\\') {
            AppendEscaped(out, byte);
        } else {
            out += text[i];
        }
    }
    if (text.size() > MAX_PRINTED) {
        out += "...";
    }
    return out;
}
