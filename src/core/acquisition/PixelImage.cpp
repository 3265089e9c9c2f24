// SPDX-License-Identifier: MIT
#include "core/acquisition/PixelImage.h"

#include "core/acquisition/GlyphTable.h"

#include <algorithm>
#include <new>
#include <utility>

CPixelImage::CPixelImage(CPixelImage&& other) noexcept
    : m_pixels(std::move(other.m_pixels)), m_width(std::exchange(other.m_width, 0)),
      m_height(std::exchange(other.m_height, 0)) {}

CPixelImage& CPixelImage::operator=(CPixelImage&& other) noexcept {
    if (this != &other) {
        m_pixels = std::move(other.m_pixels);
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
    }
    return *this;
}

bool CPixelImage::CreateUninitialized(int width, int height) {
    Release();
    if (width <= 0 || height <= 0) {
        return false;
    }
    const std::int64_t count = std::int64_t{width} * height;
    if (count >= MAX_PIXELS) {
        return false;
    }
    // Default-initialised on purpose: no pass over the array before the writer's own.
    m_pixels.reset(new (std::nothrow) std::uint32_t[static_cast<std::size_t>(count)]);
    if (!m_pixels) {
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

bool CPixelImage::Create(int width, int height) {
    if (!CreateUninitialized(width, height)) {
        return false;
    }
    std::fill_n(m_pixels.get(), Offset(0, height), INK_COLOR);
    return true;
}

void CPixelImage::Release() {
    m_pixels.reset();
    m_width = 0;
    m_height = 0;
}
