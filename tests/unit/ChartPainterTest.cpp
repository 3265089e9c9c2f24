// SPDX-License-Identifier: MIT
#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"
#include "support/PngTestDecoder.h"
#include "support/PriceBandCheck.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

namespace {

struct Size {
    int width;
    int height;
};

class ChartBand : public ::testing::TestWithParam<std::tuple<std::string, Size>> {};

TEST_P(ChartBand, CarriesTheAnchorAndThePriceGlyphsEndedByAColouredColumn) {
    const auto& [price, size] = GetParam();
    ChartSpec drawn;
    drawn.priceText = price;
    drawn.width = size.width;
    drawn.height = size.height;
    const RgbaImage chart = DrawChart(drawn);
    ASSERT_EQ(chart.width, size.width);
    ASSERT_EQ(chart.height, size.height);
    EXPECT_TRUE(HasPriceBand(chart, price));

    // The same after the trip through a PNG file, as a client receives it.
    DecodedPng decoded;
    ASSERT_TRUE(DecodePngForTest(EncodePng(chart), decoded));
    EXPECT_TRUE(HasPriceBand(decoded.ToRgba8(), price));
}

INSTANTIATE_TEST_SUITE_P(PricesAndSizes, ChartBand,
                         ::testing::Combine(::testing::Values("1662.50", "0.01", "12345678.90", "",
                                                              "1.2.3", "4444"),
                                            ::testing::Values(Size{500, 300}, Size{1000, 600},
                                                              Size{120, 40}, Size{90, 15})));

// Only the anchor and the price may be drawn in pure black: everything else is in colour
// so that nothing else on the chart can ever be read as a glyph.
TEST(ChartPainter, DrawsNoInkOutsideTheAnchorAndThePrice) {
    ChartSpec drawn;
    drawn.priceText = "1812.40";
    const RgbaImage chart = DrawChart(drawn);
    int anchorY = -1;
    int right = 0;
    for (int y = 0; y < chart.height; ++y) {
        for (int x = 0; x < chart.width; ++x) {
            if (chart.At(x, y) == INK_COLOR) {
                anchorY = anchorY < 0 ? y : anchorY;
                right = std::max(right, x);
                ASSERT_LT(y, anchorY + GLYPH_HEIGHT) << "ink at " << x << "," << y;
            }
        }
    }
    ASSERT_GE(anchorY, 0);
    EXPECT_LT(anchorY, 7);
    // The anchor (7), a gap, seven glyphs with their blank columns: well inside the band.
    EXPECT_LT(right, 60);
}

TEST(ChartPainter, IsTheSameForTheSameInputAndFollowsTheSeedAndTheSeries) {
    ChartSpec drawn;
    drawn.seed = 7;
    const RgbaImage first = DrawChart(drawn);
    EXPECT_EQ(DrawChart(drawn).pixels, first.pixels);

    drawn.seed = 8;
    EXPECT_NE(DrawChart(drawn).pixels, first.pixels);

    drawn.daySeries = {1650.0, 1655.5, 1649.0, 1662.5};
    const RgbaImage withSeries = DrawChart(drawn);
    drawn.seed = 9; // a given series leaves nothing to the seed
    EXPECT_EQ(DrawChart(drawn).pixels, withSeries.pixels);
    drawn.daySeries = {1662.5, 1649.0, 1655.5, 1650.0};
    EXPECT_NE(DrawChart(drawn).pixels, withSeries.pixels);
}

TEST(ChartPainter, SurvivesHostileSeriesAndPrices) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<std::vector<double>> seriesList = {
        {std::nan(""), inf, -inf}, {1e300, -1e300}, {5.0, 5.0, 5.0}, {-3.0, 0.0},
        {std::nan(""), 1650.0},
    };
    for (const auto& series : seriesList) {
        for (const std::string price : {"1e308", "99999999999999999999", "0", "nan", "x"}) {
            ChartSpec drawn;
            drawn.priceText = price;
            drawn.daySeries = series;
            const RgbaImage chart = DrawChart(drawn);
            ASSERT_EQ(chart.pixels.size(), 500u * 300u);
        }
    }
}

TEST(ChartPainter, RefusesSizesOutsideTheLimits) {
    for (const Size size : {Size{0, 300}, Size{500, 0}, Size{-1, -1}, Size{CHART_MAX_SIDE + 1, 10},
                            Size{10, CHART_MAX_SIDE + 1}}) {
        ChartSpec drawn;
        drawn.width = size.width;
        drawn.height = size.height;
        EXPECT_TRUE(DrawChart(drawn).pixels.empty()) << size.width << "x" << size.height;
    }
    ChartSpec tiny;
    tiny.width = 1;
    tiny.height = 1;
    EXPECT_EQ(DrawChart(tiny).pixels.size(), 1u);
}

TEST(ChartPainter, GlyphTextSkipsUnknownCharactersAndClipsAtTheEdges) {
    RgbaImage image(40, 12, 0xFF808080u);
    // "1" (5 columns), "." (1), each with its blank column; the comma and the letter have
    // no glyph.
    EXPECT_EQ(DrawGlyphText(image, 2, 1, "1,x."), 2 + 6 + 2);
    EXPECT_EQ(image.At(2 + 5, 1), PAPER_COLOR);
    EXPECT_EQ(image.At(2 + 6, 1 + 7), INK_COLOR); // the point's bottom row
    EXPECT_EQ(image.At(2 + 7, 1), PAPER_COLOR);
    EXPECT_EQ(image.At(2 + 8, 1), 0xFF808080u);

    EXPECT_EQ(DrawGlyphText(image, 37, 8, "D0"), 37 + 8 + 6);
    EXPECT_EQ(DrawGlyphText(image, -3, -4, "8"), 3);
    EXPECT_EQ(image.At(0, 0), PAPER_COLOR); // column 3 of the 8 (0x89), row 4
    EXPECT_EQ(image.At(0, 3), INK_COLOR);   // and its row 7
}

} // namespace
