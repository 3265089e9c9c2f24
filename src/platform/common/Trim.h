// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>
#include <type_traits>

// The text without the blanks at its two ends; empty when it holds nothing else. One rule
// for every reader of names and values, in bytes or in UTF-16 units.
template <typename Char>
constexpr std::basic_string_view<Char> Trim(std::type_identity_t<std::basic_string_view<Char>> text,
                                            std::basic_string_view<Char> blanks) {
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::basic_string_view<Char>::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Without its leading and trailing spaces and tabs.
constexpr std::string_view TrimBlanks(std::string_view text) {
    return Trim(text, std::string_view(" \t"));
}
