// SPDX-License-Identifier: MIT
#include "feed/QuoteNumber.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

std::optional<double> ParseQuoteNumber(std::string_view text) {
    constexpr std::string_view blanks = " \t\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    // Out of range is still a number: 1e400 is a quote the gate refuses as too large, and
    // strtod() says which way it is out of range (the service never changes the C locale).
    if (result.ec == std::errc::result_out_of_range && result.ptr == text.data() + text.size()) {
        return std::strtod(std::string(text).c_str(), nullptr);
    }
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string QuoteText(double value) {
    char text[64];
    if (std::isfinite(value) && std::abs(value) < 1e12) {
        std::snprintf(text, sizeof text, "%.2f", value);
    } else {
        std::snprintf(text, sizeof text, "%.6g", value);
    }
    return text;
}
