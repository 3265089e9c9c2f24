// SPDX-License-Identifier: MIT
#include "chartgen/PngWriter.h"
#include "core/acquisition/GlyphTable.h"
#include "support/PngTestDecoder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <tuple>

namespace {

struct EncodingCase {
    PngEncoding encoding;
    const char* name;
    int colorType;
    int bitDepth;
};

constexpr EncodingCase ENCODINGS[] = {
    {PngEncoding::Rgb8, "Rgb8", PNG_COLOR_TYPE_RGB, 8},
    {PngEncoding::Rgba8, "Rgba8", PNG_COLOR_TYPE_RGB_ALPHA, 8},
    {PngEncoding::Rgb16, "Rgb16", PNG_COLOR_TYPE_RGB, 16},
    {PngEncoding::Rgba16, "Rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16},
    {PngEncoding::Gray1, "Gray1", PNG_COLOR_TYPE_GRAY, 1},
    {PngEncoding::Gray2, "Gray2", PNG_COLOR_TYPE_GRAY, 2},
    {PngEncoding::Gray4, "Gray4", PNG_COLOR_TYPE_GRAY, 4},
    {PngEncoding::Gray8, "Gray8", PNG_COLOR_TYPE_GRAY, 8},
    {PngEncoding::Gray16, "Gray16", PNG_COLOR_TYPE_GRAY, 16},
    {PngEncoding::GrayAlpha8, "GrayAlpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
    {PngEncoding::GrayAlpha16, "GrayAlpha16", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
    {PngEncoding::Palette1, "Palette1", PNG_COLOR_TYPE_PALETTE, 1},
    {PngEncoding::Palette2, "Palette2", PNG_COLOR_TYPE_PALETTE, 2},
    {PngEncoding::Palette4, "Palette4", PNG_COLOR_TYPE_PALETTE, 4},
    {PngEncoding::Palette8, "Palette8", PNG_COLOR_TYPE_PALETTE, 8},
};

constexpr std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Odd sizes so that packed rows end inside a byte and every Adam7 pass has pixels.
constexpr int WIDTH = 13;
constexpr int HEIGHT = 7;

// An image that the encoding can store exactly, with the channels it ignores set to noise.
RgbaImage ImageFor(const EncodingCase& c) {
    RgbaImage image(WIDTH, HEIGHT, 0);
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            const unsigned n = static_cast<unsigned>(y * WIDTH + x);
            const unsigned noise = (n * 37u + 11u) & 0xFFu;
            unsigned a = (n * 53u + 7u) & 0xFFu;
            unsigned r = (n * 19u + 3u) & 0xFFu;
            unsigned g = (n * 71u + 5u) & 0xFFu;
            unsigned b = (n * 13u + 200u) & 0xFFu;
            switch (c.colorType) {
            case PNG_COLOR_TYPE_GRAY:
            case PNG_COLOR_TYPE_GRAY_ALPHA:
                if (c.bitDepth < 8) {
                    const unsigned maxLevel = (1u << c.bitDepth) - 1u;
                    r = (n % (maxLevel + 1u)) * 255u / maxLevel;
                }
                g = noise;
                b = 255u - noise;
                break;
            case PNG_COLOR_TYPE_PALETTE: {
                const unsigned colors = 1u << c.bitDepth;
                const unsigned k = n % colors;
                r = k;
                g = 255u - k;
                b = (k * 7u) & 0xFFu;
                a = 0xFFu;
                break;
            }
            default:
                break;
            }
            image.At(x, y) = Argb(a, r, g, b);
        }
    }
    return image;
}

// What the decoder must give back for one source pixel.
std::array<std::uint16_t, 4> Expected(const EncodingCase& c, std::uint32_t pixel) {
    const auto wide = [](unsigned v) { return static_cast<std::uint16_t>(v * 257u); };
    const unsigned a = pixel >> 24;
    const unsigned r = (pixel >> 16) & 0xFFu;
    const unsigned g = (pixel >> 8) & 0xFFu;
    const unsigned b = pixel & 0xFFu;
    switch (c.colorType) {
    case PNG_COLOR_TYPE_RGB:
        return {wide(r), wide(g), wide(b), 0xFFFF};
    case PNG_COLOR_TYPE_GRAY:
        return {wide(r), wide(r), wide(r), 0xFFFF};
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return {wide(r), wide(r), wide(r), wide(a)};
    default:
        return {wide(r), wide(g), wide(b), wide(a)};
    }
}

class EncodingRoundTrip : public ::testing::TestWithParam<std::tuple<EncodingCase, bool>> {};

TEST_P(EncodingRoundTrip, DecodesToTheSameValuesWithTheRequestedHeader) {
    const auto& [c, interlaced] = GetParam();
    const RgbaImage image = ImageFor(c);
    const std::vector<std::uint8_t> png = EncodePng(image, {c.encoding, interlaced, 6});
    ASSERT_FALSE(png.empty());

    DecodedPng decoded;
    ASSERT_TRUE(DecodePngForTest(png, decoded));
    EXPECT_EQ(decoded.width, WIDTH);
    EXPECT_EQ(decoded.height, HEIGHT);
    EXPECT_EQ(decoded.colorType, c.colorType);
    EXPECT_EQ(decoded.bitDepth, c.bitDepth);
    EXPECT_EQ(decoded.interlaced, interlaced);
    EXPECT_FALSE(decoded.hasTransparencyChunk);
    ASSERT_EQ(decoded.pixels.size(), image.pixels.size());
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        ASSERT_EQ(decoded.pixels[i], Expected(c, image.pixels[i])) << "pixel " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(AllEncodings, EncodingRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(ENCODINGS), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<EncodingRoundTrip::ParamType>& param) {
                             return std::string(std::get<0>(param.param).name) +
                                    (std::get<1>(param.param) ? "Interlaced" : "Plain");
                         });

class PaletteOverflow : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(PaletteOverflow, OneColourMoreThanTheDepthHoldsGivesNothing) {
    const EncodingCase& c = GetParam();
    const unsigned colors = (1u << c.bitDepth) + 1u;
    RgbaImage image(static_cast<int>(colors), 1, 0);
    for (unsigned i = 0; i < colors; ++i) {
        image.At(static_cast<int>(i), 0) = Argb(0xFF, i & 0xFFu, i >> 8, 0);
    }
    EXPECT_TRUE(EncodePng(image, {c.encoding, false, 6}).empty());

    image.At(static_cast<int>(colors) - 1, 0) = image.At(0, 0); // now exactly full
    EXPECT_FALSE(EncodePng(image, {c.encoding, false, 6}).empty());
}

INSTANTIATE_TEST_SUITE_P(Palettes, PaletteOverflow,
                         ::testing::Values(ENCODINGS[11], ENCODINGS[12], ENCODINGS[13],
                                           ENCODINGS[14]),
                         [](const ::testing::TestParamInfo<EncodingCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(PngWriter, PaletteCarriesTransparencyOnlyWhenAPixelIsNotOpaque) {
    RgbaImage image(3, 2, PAPER_COLOR);
    image.At(1, 0) = INK_COLOR;
    image.At(2, 1) = Argb(0x00, 0xFF, 0xFF, 0xFF); // transparent white
    image.At(0, 1) = Argb(0x80, 0x10, 0x20, 0x30);

    DecodedPng decoded;
    ASSERT_TRUE(DecodePngForTest(EncodePng(image, {PngEncoding::Palette2, true, 9}), decoded));
    EXPECT_TRUE(decoded.hasTransparencyChunk);
    EXPECT_EQ(decoded.paletteSize, 4);
    EXPECT_EQ(decoded.ToRgba8().pixels, image.pixels);

    image.At(2, 1) = PAPER_COLOR;
    image.At(0, 1) = PAPER_COLOR;
    ASSERT_TRUE(DecodePngForTest(EncodePng(image, {PngEncoding::Palette8, false, 6}), decoded));
    EXPECT_FALSE(decoded.hasTransparencyChunk);
    EXPECT_EQ(decoded.ToRgba8().pixels, image.pixels);
}

TEST(PngWriter, LowGreyDepthsRoundToTheNearestLevel) {
    RgbaImage image(4, 1, 0);
    image.At(0, 0) = Argb(0xFF, 0x7F, 0, 0);
    image.At(1, 0) = Argb(0xFF, 0x80, 0, 0);
    image.At(2, 0) = Argb(0xFF, 0x2A, 0xFF, 0xFF); // just below a third: level 0 of 3
    image.At(3, 0) = Argb(0xFF, 0x2B, 0xFF, 0xFF); // just above: level 1 of 3
    DecodedPng oneBit;
    ASSERT_TRUE(DecodePngForTest(EncodePng(image, {PngEncoding::Gray1, false, 6}), oneBit));
    EXPECT_EQ(oneBit.pixels[0][0], 0);
    EXPECT_EQ(oneBit.pixels[1][0], 0xFFFF);
    DecodedPng twoBit;
    ASSERT_TRUE(DecodePngForTest(EncodePng(image, {PngEncoding::Gray2, false, 6}), twoBit));
    EXPECT_EQ(twoBit.pixels[2][0], 0);
    EXPECT_EQ(twoBit.pixels[3][0], 85 * 257);
}

TEST(PngWriter, RejectsImagesWithoutAConsistentPixelArray) {
    EXPECT_TRUE(EncodePng(RgbaImage{}).empty());
    RgbaImage image(4, 4, PAPER_COLOR);
    image.pixels.pop_back();
    EXPECT_TRUE(EncodePng(image).empty());
    image.width = -4;
    image.height = -4;
    image.pixels.push_back(PAPER_COLOR);
    EXPECT_TRUE(EncodePng(image).empty());
}

} // namespace
