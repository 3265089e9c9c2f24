// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/RgbaImage.h"
#include "core/acquisition/GlyphTable.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int CHART_DEFAULT_WIDTH = 500;
constexpr int CHART_DEFAULT_HEIGHT = 300;
constexpr int CHART_MAX_SIDE = 4096; // larger charts are refused (an empty image)
constexpr int CHART_DAY_POINTS = 97; // one price every 15 minutes, both ends of the day
constexpr std::int64_t CHART_DAY_SECONDS = 24 * 60 * 60;

// What one drawn chart shows.
struct ChartSpec {
    std::string priceText = "1662.50"; // drawn with the glyph table after the anchor
    // The day's prices from the first to the last. Without dayTimes they are spread
    // evenly over the day, and with fewer than two finite values a day is made up from
    // the seed, ending at the price.
    std::vector<double> daySeries;
    // When each price of daySeries was taken, in seconds since 1970 (UTC). With one time
    // for each price, the prices are drawn as they are (a single one as a point) on an
    // axis of real UTC hours: the 24 hours that end at dayEnd.
    std::vector<std::int64_t> dayTimes;
    std::int64_t dayEnd = CHART_DAY_SECONDS;
    int width = CHART_DEFAULT_WIDTH;
    int height = CHART_DEFAULT_HEIGHT;
    std::uint32_t seed = 1;
    bool anchor = true; // false: the price is drawn without the anchor before it
};

// A made-up day of `points` prices that wanders back from `lastPrice`, its last value;
// the same seed gives the same day.
std::vector<double> MakeDaySeries(double lastPrice, std::uint32_t seed,
                                  int points = CHART_DAY_POINTS);

// The price as the charts show it, with two decimals.
std::string ChartPriceText(double price);

// The glyph of a character: the digits and the point of GLYPH_TABLE and the anchor 'D';
// null for any other character.
const GlyphEntry* FindGlyph(char ch);

// Draws an entry's columns with their top-left pixel at (x, y): ink for a set bit, paper
// for a clear one. Pixels outside the image are skipped. Returns the entry's width.
int DrawGlyph(RgbaImage& image, int x, int y, const GlyphEntry& entry);

// Draws each character that has a glyph (others are skipped) followed by one blank paper
// column. Returns the column just past the last blank column.
int DrawGlyphText(RgbaImage& image, int x, int y, std::string_view text);

// A one-day gold chart: a white top band with the anchor and the price glyphs ended by a
// coloured column, then a title, a grid, the day's line and grey axis labels, none of them
// in pure black on white. Empty when a side is not in 1..CHART_MAX_SIDE.
RgbaImage DrawChart(const ChartSpec& drawn);
