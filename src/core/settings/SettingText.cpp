// SPDX-License-Identifier: MIT
#include "core/settings/SettingText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace {

// White space as the C locale's isspace sees it, whatever the user's locale.
bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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
