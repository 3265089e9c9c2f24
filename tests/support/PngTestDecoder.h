// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/RgbaImage.h"

#include <array>
#include <cstdint>
#include <vector>

// A PNG file decoded by libpng's own reader, for checking what the tools write.
struct DecodedPng {
    int width = 0;
    int height = 0;
    int bitDepth = 0;  // as stored in the header
    int colorType = 0; // PNG_COLOR_TYPE_* as stored in the header
    bool interlaced = false;
    bool hasTransparencyChunk = false;
    int paletteSize = 0;
    // Every pixel widened to 16-bit red, green, blue, alpha (8-bit values * 257).
    std::vector<std::array<std::uint16_t, 4>> pixels;

    // The pixels as 0xAARRGGBB, each channel taken from the high byte.
    RgbaImage ToRgba8() const;
};

// False when libpng rejects the bytes.
bool DecodePngForTest(const std::vector<std::uint8_t>& bytes, DecodedPng& decoded);
