// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/PngWriter.h"
#include "chartgen/RgbaImage.h"
#include "core/acquisition/GlyphTable.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Neither ink nor paper: ends a text between glyphs, spoils a glyph inside one.
constexpr std::uint32_t FOREIGN_COLOR = 0xFFD02020u;
constexpr std::uint32_t GREY_COLOR = 0xFF808080u;

// An all-paper image.
RgbaImage PaperImage(int width, int height);

// Draws a band of 8 rows from left to right, one piece after another; pixels outside the
// image are skipped.
class BandPen final {
public:
    BandPen(RgbaImage& image, int x, int y) : m_image(image), m_x(x), m_y(y) {}

    BandPen& Anchor();                                  // the capital D, no blank after it
    BandPen& Text(std::string_view text);               // each glyph and one blank column
    BandPen& Columns(std::initializer_list<int> masks); // raw columns, 0 = blank
    BandPen& Blank(int count = 1);
    BandPen& Foreign(std::uint32_t color = FOREIGN_COLOR); // a whole column of that colour
    int X() const { return m_x; }

private:
    RgbaImage& m_image;
    int m_x;
    int m_y;
};

// The PNG file of an image (RGBA, 8 bits, unless told otherwise); fails the test when the
// writer refuses it.
std::vector<std::uint8_t> EncodeForTest(const RgbaImage& image,
                                        const PngOptions& options = {PngEncoding::Rgba8});

// ReadChartPrice on the image stored as a PNG (RGBA, 8 bits, unless told otherwise).
std::optional<std::string> ReadDrawnChart(const RgbaImage& image,
                                          const PngOptions& options = {PngEncoding::Rgba8});
