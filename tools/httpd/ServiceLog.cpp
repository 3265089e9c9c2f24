// SPDX-License-Identifier: MIT
#include "ServiceLog.h"

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

} // namespace

void LogLine(std::string_view text) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ ", &utc);
    std::string line = stamp;
    line += text;
    line += '\n';
    std::lock_guard lock(LogMutex());
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string Printable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < MAX_PRINTED; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += text[i];
        }
    }
    if (text.size() > MAX_PRINTED) {
        out += "...";
    }
    return out;
}
