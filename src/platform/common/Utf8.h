// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
enum class Utf8Status { Ok, Invalid, Incomplete };

struct Utf8Step {
    Utf8Status status;
    // Ok: the character's bytes. Invalid: the longest start of a character found there
    // (one replacement character's worth, at least 1 byte). Incomplete: the bytes left,
    // a well-formed start of a character cut by the end of the text.
    std::size_t length;
    char32_t codePoint; // 0 unless Ok
};

// The character that starts at pos (pos < text.size()).
Utf8Step DecodeUtf8At(std::string_view text, std::size_t pos);
