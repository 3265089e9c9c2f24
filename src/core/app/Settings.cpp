// SPDX-License-Identifier: MIT
#include "core/app/Settings.h"

#include "core/app/ProfileFile.h"
#include "core/common/Globals.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <system_error>

namespace {

// A missing threshold reads as this text; one that is present but holds no number leaves
// the parser's preset, so an empty PriceChange means 5, not 10.
constexpr const char* PRICE_CHANGE_DEFAULT = "10";
constexpr double PRICE_CHANGE_PRESET = 5.0;

// White space as the C locale's isspace sees it, whatever the user's locale.
bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr const char* WRITE_PROBLEM_LEAD = "Settings cannot be saved: ";

// The reason the last file write failed, until one succeeds again.
struct WriteProblem {
    std::mutex mutex;
    std::string reason;
};

// Never destroyed: a worker still writing while the process ends must not find it gone.
WriteProblem& Problem() {
    static auto* problem = new WriteProblem;
    return *problem;
}

void NoteWrite(bool written, const ProfileWriteReport& report) {
    if (written && report.unchanged) {
        return; // says nothing about whether the file can be written
    }
    if (!written && report.failure.empty()) {
        return; // a refused value, not a file that cannot be written
    }
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    if (written && !problem.reason.empty()) {
        std::fprintf(stderr, "orvantis: settings can be saved again (%s)\n", g_strIniFile.c_str());
        problem.reason.clear();
    } else if (!written && problem.reason.empty()) {
        std::fprintf(stderr, "orvantis: %s%s (%s)\n", WRITE_PROBLEM_LEAD, report.failure.c_str(),
                     g_strIniFile.c_str());
        problem.reason = report.failure;
    } else if (!written) {
        problem.reason = report.failure;
    }
}

const char* SkipCSpace(const char* p, const char* end) {
    while (p < end && IsCSpace(*p)) {
        ++p;
    }
    return p;
}

// "%d": white space, an optional sign, digits. The end of the number, or null when there
// is none or it does not fit an int.
const char* ScanInt(const char* p, const char* end, int& value) {
    p = SkipCSpace(p, end);
    // from_chars takes a '-' but no '+'; after a '+' no second sign may follow.
    if (p < end && *p == '+') {
        ++p;
        if (p < end && *p == '-') {
            return nullptr;
        }
    }
    const std::from_chars_result result = std::from_chars(p, end, value);
    return result.ec == std::errc() ? result.ptr : nullptr;
}

} // namespace

std::string ReadSetting(const char* key, const std::string& defaultText) {
    return GetProfileString(g_strIniFile, SETTINGS_SECTION, key, defaultText);
}

bool WriteSetting(const char* key, const std::string& value) {
    ProfileWriteReport report;
    const bool written = WriteProfileString(g_strIniFile, SETTINGS_SECTION, key, value, &report);
    NoteWrite(written, report);
    return written;
}

std::string SettingsWriteProblem() {
    WriteProblem& problem = Problem();
    const std::lock_guard lock(problem.mutex);
    return problem.reason;
}

std::string SettingsWriteProblemTip() {
    const std::string reason = SettingsWriteProblem();
    return reason.empty() ? std::string() : WRITE_PROBLEM_LEAD + reason;
}

// Infinities, NaN and numbers beyond the range of a double count as no number: a price
// or threshold of that kind would silently stop every notification.
double ParseDouble(const std::string& text, double preset) {
    const char* const end = text.data() + text.size();
    const char* p = SkipCSpace(text.data(), end);
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end || *p == '+' || *p == '-') {
        return preset;
    }
    double value = 0;
    std::from_chars_result result{p, std::errc::invalid_argument};
    // Hexadecimal floating point, as "%lf" takes it; from_chars wants it without "0x".
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
        (IsHexDigit(p[2]) || (p[2] == '.' && end - p > 3 && IsHexDigit(p[3])))) {
        result = std::from_chars(p + 2, end, value, std::chars_format::hex);
    }
    if (result.ec != std::errc()) {
        result = std::from_chars(p, end, value, std::chars_format::general);
    }
    if (result.ec != std::errc() || !std::isfinite(value)) {
        return preset;
    }
    return negative ? -value : value;
}

std::string FormatPrice(double value) {
    // Room for the 309 integer digits of the largest double, a sign, the point and two more.
    std::array<char, 320> buffer{};
    const std::to_chars_result result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                      value, std::chars_format::fixed, 2);
    if (result.ec != std::errc()) {
        return {};
    }
    return std::string(buffer.data(), result.ptr);
}

std::string FormatThreshold(double value) {
    std::string text = FormatPrice(value);
    // The point stops the zeros, so 100.00 becomes 100, not 1.
    text.erase(text.find_last_not_of('0') + 1);
    text.erase(text.find_last_not_of('.') + 1);
    return text;
}

std::optional<std::pair<int, int>> ParseFloatPos(const std::string& text) {
    const char* const end = text.data() + text.size();
    int left = 0;
    int top = 0;
    const char* p = ScanInt(text.data(), end, left);
    // The comma must follow the first number at once.
    if (p == nullptr || p == end || *p != ',') {
        return std::nullopt;
    }
    if (ScanInt(p + 1, end, top) == nullptr) {
        return std::nullopt;
    }
    return std::make_pair(left, top);
}

double ReadThreshold() {
    return ParseDouble(ReadSetting(KEY_PRICE_CHANGE, PRICE_CHANGE_DEFAULT), PRICE_CHANGE_PRESET);
}
