// SPDX-License-Identifier: MIT
#include "support/TestCharts.h"

#include "chartgen/ChartPainter.h"
#include "core/acquisition/ChartReader.h"

#include <gtest/gtest.h>

RgbaImage PaperImage(int width, int height) {
    return RgbaImage(width, height, PAPER_COLOR);
}

BandPen& BandPen::Anchor() {
    m_x += DrawGlyph(m_image, m_x, m_y, ANCHOR_GLYPH);
    return *this;
}

BandPen& BandPen::Text(std::string_view text) {
    m_x = DrawGlyphText(m_image, m_x, m_y, text);
    return *this;
}

BandPen& BandPen::Columns(std::initializer_list<int> masks) {
    for (const int mask : masks) {
        if (mask == 0) {
            Blank();
        } else {
            m_x += DrawGlyph(m_image, m_x, m_y, GlyphEntry{'?', static_cast<std::uint8_t>(mask)});
        }
    }
    return *this;
}

BandPen& BandPen::Blank(int count) {
    for (int i = 0; i < count; ++i) {
        Foreign(PAPER_COLOR);
    }
    return *this;
}

BandPen& BandPen::Foreign(std::uint32_t color) {
    for (int r = 0; r < GLYPH_HEIGHT; ++r) {
        if (m_x >= 0 && m_x < m_image.width && m_y + r >= 0 && m_y + r < m_image.height) {
            m_image.At(m_x, m_y + r) = color;
        }
    }
    ++m_x;
    return *this;
}

std::vector<std::uint8_t> EncodeForTest(const RgbaImage& image, const PngOptions& options) {
    std::vector<std::uint8_t> bytes = EncodePng(image, options);
    EXPECT_FALSE(bytes.empty()) << "the PNG writer refused the image";
    return bytes;
}

std::optional<std::string> ReadDrawnChart(const RgbaImage& image, const PngOptions& options) {
    const std::vector<std::uint8_t> bytes = EncodeForTest(image, options);
    return ReadChartPrice(bytes.data(), static_cast<int>(bytes.size()));
}
