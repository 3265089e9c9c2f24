// SPDX-License-Identifier: MIT
#pragma once

#include "core/acquisition/PixelImage.h"

#include <cstdint>
#include <optional>
#include <string>

// Decoded images above this many pixels are refused before anything is allocated for them:
// the chart is a few hundred pixels each way, and a small hostile file must not make the
// program reserve gigabytes.
constexpr std::int64_t MAX_CHART_PIXELS = std::int64_t{1} << 26;

// A column template never has more columns than this.
constexpr int MAX_TEMPLATE_COLUMNS = 12;

struct PixelPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// Right and bottom are exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Decodes a PNG file into opaque pixels: the raw 8-bit red, green and blue of each pixel
// (the high byte of 16-bit samples; no gamma, no premultiplication, no background), with
// the alpha forced to 0xFF. Nothing for undecodable bytes, a size of zero, more than
// MAX_CHART_PIXELS pixels, or no memory.
std::optional<CPixelImage> DecodeChartImage(const std::uint8_t* bytes, int size);

// The same decode, keeping only the top `rows` rows (all of them when the image has fewer).
// The rest of the file is still decoded, and fails the decode when it is broken.
std::optional<CPixelImage> DecodeChartBand(const std::uint8_t* bytes, int size, int rows);

// A template of 8 rows whose columns are the masks up to the first zero one, at most `count`
// and at most MAX_TEMPLATE_COLUMNS of them; bit r of a mask is row r (set = ink, clear =
// paper). Nothing when that leaves no column or there is no memory.
std::optional<CPixelImage> MakeColumnTemplate(const std::uint8_t* masks, int count);

// The top-left position of the first exact match of the template, trying columns from the
// left and within a column rows from the top. The template's top-left corner stays strictly
// left of min(right, width) - template width and strictly above min(bottom, height) -
// template height, so a template flush against the right or bottom limit is never found.
std::optional<PixelPoint> FindTemplate(const CPixelImage& image, const CPixelImage& pattern,
                                       const std::optional<PixelRect>& within = std::nullopt);

// Reads the glyphs of GLYPH_TABLE on the 8 rows from y down, starting at column x. Blank
// columns are skipped between glyphs; a column with a pixel that is neither ink nor paper
// ends the text there, and so does the right edge. Nothing when a glyph matches no entry,
// holds such a pixel, or runs into the right edge; also when the 8 rows do not fit.
std::optional<std::string> ReadGlyphText(const CPixelImage& image, int x, int y);

// Why a chart gave no price.
enum class ChartReadStatus {
    Ok,
    Undecodable, // not a PNG this reader takes, or too large
    NoAnchor,    // no anchor glyph in the top band
    ReadingFailed,
};

struct ChartReadResult {
    ChartReadStatus status = ChartReadStatus::Undecodable;
    std::string text; // the price text when status is Ok (possibly empty)
};

// The whole chain for one downloaded chart, telling which step failed.
ChartReadResult ReadChartPriceWithStatus(const std::uint8_t* bytes, int size);

// The price text of a chart (digits and points, possibly empty), or nothing.
std::optional<std::string> ReadChartPrice(const std::uint8_t* bytes, int size);
