// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <memory>

// width x height pixels 0xAARRGGBB, row-major: pixel (x, y) is element y * width + x.
// An empty image has no array and a size of 0 x 0. Move-only: it owns its array.
class CPixelImage final {
public:
    // Images of this many pixels or more are never created.
    static constexpr std::int64_t MAX_PIXELS = std::int64_t{1} << 30;

    CPixelImage() = default;
    CPixelImage(CPixelImage&& other) noexcept;
    CPixelImage& operator=(CPixelImage&& other) noexcept;
    CPixelImage(const CPixelImage&) = delete;
    CPixelImage& operator=(const CPixelImage&) = delete;
    ~CPixelImage() = default;

    // Releases any old array, then makes a width x height image filled with INK_COLOR.
    // False (and the image empty) for no pixels at all, MAX_PIXELS or more, or no memory.
    bool Create(int width, int height);
    // As Create, but leaves the pixels unset: for a writer that fills every one of them
    // before anything reads them. The pages of a large array are only touched as it goes.
    bool CreateUninitialized(int width, int height);
    void Release();

    bool IsEmpty() const { return m_pixels == nullptr; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    std::uint32_t* Pixels() { return m_pixels.get(); }
    const std::uint32_t* Pixels() const { return m_pixels.get(); }
    std::uint32_t* Row(int y) { return m_pixels.get() + Offset(0, y); }
    std::uint32_t At(int x, int y) const { return m_pixels[Offset(x, y)]; }
    std::uint32_t& At(int x, int y) { return m_pixels[Offset(x, y)]; }

private:
    std::size_t Offset(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
               static_cast<std::size_t>(x);
    }

    std::unique_ptr<std::uint32_t[]> m_pixels;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
};
