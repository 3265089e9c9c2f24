// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>

// A glyph entry: byte 0 is the character, bytes 1..15 the column masks from left to
// right, zero-filled. Bit r of a mask is row r of the 8-row glyph from its top (set = ink).
using GlyphEntry = std::array<std::uint8_t, 16>;

constexpr std::uint32_t INK_COLOR = 0xFF000000u;   // opaque black: a set bit
constexpr std::uint32_t PAPER_COLOR = 0xFFFFFFFFu; // opaque white: a clear bit

constexpr int GLYPH_HEIGHT = 8;
constexpr int ANCHOR_BAND_BOTTOM = 15; // exclusive

// The capital D searched for in the top band; it is never read as text.
constexpr GlyphEntry ANCHOR_GLYPH = {'D', 0xFF, 0x81, 0x81, 0x81, 0x81, 0x42, 0x3C};

// Digits 0 to 9 and the point, in reading order of preference.
constexpr std::array<GlyphEntry, 11> GLYPH_TABLE = {{
    {'0', 0x7E, 0x81, 0x81, 0x81, 0x7E},
    {'1', 0x82, 0x82, 0xFF, 0x80, 0x80},
    {'2', 0xC2, 0xA1, 0x91, 0x89, 0x86},
    {'3', 0x42, 0x81, 0x89, 0x89, 0x76},
    {'4', 0x30, 0x28, 0x24, 0x22, 0xFF, 0x20},
    {'5', 0x4F, 0x89, 0x89, 0x89, 0x71},
    {'6', 0x7C, 0x8A, 0x89, 0x89, 0x70},
    {'7', 0x01, 0xC1, 0x31, 0x0D, 0x03},
    {'8', 0x76, 0x89, 0x89, 0x89, 0x76},
    {'9', 0x0E, 0x91, 0x91, 0x51, 0x3E},
    {'.', 0xC0},
}};

// Number of columns of an entry: the non-zero masks before the first zero.
constexpr int GlyphWidth(const GlyphEntry& entry) {
    int n = 0;
    while (1 + n < static_cast<int>(entry.size()) && entry[1 + n] != 0) {
        ++n;
    }
    return n;
}
