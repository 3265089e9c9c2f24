// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

// A drawing surface: width x height pixels 0xAARRGGBB, row-major.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    RgbaImage() = default;
    RgbaImage(int w, int h, std::uint32_t fill)
        : width(w), height(h),
          pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}
    std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
