// SPDX-License-Identifier: MIT
#include "support/PriceBandCheck.h"

#include "core/acquisition/GlyphTable.h"

#include <algorithm>

namespace {

bool IsInk(std::uint32_t pixel) {
    return pixel == INK_COLOR;
}
bool IsPaper(std::uint32_t pixel) {
    return pixel == PAPER_COLOR;
}

// True when the 8 pixels from (x, y) down are ink and paper exactly as the mask says.
bool ColumnIs(const RgbaImage& image, int x, int y, unsigned mask) {
    for (int r = 0; r < GLYPH_HEIGHT; ++r) {
        const std::uint32_t pixel = image.At(x, y + r);
        if (((mask >> r) & 1u) != 0 ? !IsInk(pixel) : !IsPaper(pixel)) {
            return false;
        }
    }
    return true;
}

bool AnchorAt(const RgbaImage& image, int x, int y) {
    const int width = GlyphWidth(ANCHOR_GLYPH);
    for (int c = 0; c < width; ++c) {
        if (!ColumnIs(image, x + c, y, ANCHOR_GLYPH[static_cast<std::size_t>(1 + c)])) {
            return false;
        }
    }
    return true;
}

const GlyphEntry* EntryFor(char ch) {
    const auto it = std::find_if(GLYPH_TABLE.begin(), GLYPH_TABLE.end(),
                                 [ch](const GlyphEntry& e) { return e[0] == ch; });
    return it == GLYPH_TABLE.end() ? nullptr : &*it;
}

} // namespace

::testing::AssertionResult HasPriceBand(const RgbaImage& image, std::string_view text) {
    if (image.width <= 0 || image.height < GLYPH_HEIGHT) {
        return ::testing::AssertionFailure() << "image too small";
    }
    const int anchorWidth = GlyphWidth(ANCHOR_GLYPH);
    // Upper limits exclusive, as the reader searches.
    const int lastX = image.width - anchorWidth;
    const int lastY = std::min(ANCHOR_BAND_BOTTOM - GLYPH_HEIGHT, image.height - GLYPH_HEIGHT);
    int ax = -1;
    int ay = -1;
    for (int x = 0; x < lastX && ax < 0; ++x) {
        for (int y = 0; y < lastY; ++y) {
            if (AnchorAt(image, x, y)) {
                ax = x;
                ay = y;
                break;
            }
        }
    }
    if (ax < 0) {
        return ::testing::AssertionFailure() << "no anchor in the top band";
    }
    int x = ax + anchorWidth;
    while (x < image.width && ColumnIs(image, x, ay, 0)) {
        ++x;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const GlyphEntry* entry = EntryFor(text[i]);
        if (entry == nullptr) {
            return ::testing::AssertionFailure() << "no glyph for '" << text[i] << "'";
        }
        const int width = GlyphWidth(*entry);
        for (int c = 0; c <= width; ++c) { // the last one is the blank column
            const unsigned mask = c < width ? (*entry)[static_cast<std::size_t>(1 + c)] : 0u;
            if (x + c >= image.width || !ColumnIs(image, x + c, ay, mask)) {
                return ::testing::AssertionFailure()
                       << "character " << i << " ('" << text[i] << "') column " << c
                       << " differs at x=" << x + c << ", y=" << ay;
            }
        }
        x += width + 1;
    }
    if (x >= image.width) {
        return ::testing::AssertionFailure() << "the text runs to the right edge";
    }
    for (int r = 0; r < GLYPH_HEIGHT; ++r) {
        const std::uint32_t pixel = image.At(x, ay + r);
        if (!IsInk(pixel) && !IsPaper(pixel)) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "no coloured column after the text at x=" << x;
}
