// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

// The value of a run of decimal digits and nothing else, from minCount to maxCount of them
// (at most nine, so the value fits an int).
constexpr std::optional<int> ParseDigits(std::string_view text, std::size_t minCount,
                                         std::size_t maxCount) {
    if (text.size() < minCount || text.size() > maxCount || text.size() > 9 || text.empty()) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}
