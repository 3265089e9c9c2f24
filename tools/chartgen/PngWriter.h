// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/RgbaImage.h"

#include <cstdint>
#include <vector>

// How an image is stored in the PNG file.
enum class PngEncoding {
    Rgb8,
    Rgba8,
    Rgb16,
    Rgba16,
    Gray1,
    Gray2,
    Gray4,
    Gray8,
    Gray16,
    GrayAlpha8,
    GrayAlpha16,
    Palette1,
    Palette2,
    Palette4,
    Palette8, // with a tRNS chunk when any pixel is not opaque
};

struct PngOptions {
    PngEncoding encoding = PngEncoding::Rgb8;
    bool interlaced = false; // Adam7
    int compressionLevel = 6;
};

// Encodes the image; grey encodings take the red channel, palette encodings need at
// most 2^depth distinct colours. Empty when the image cannot be stored that way.
std::vector<std::uint8_t> EncodePng(const RgbaImage& image, const PngOptions& options = {});
