// SPDX-License-Identifier: MIT
#include "chartgen/ChartPainter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

// Colours of everything that is not a price glyph; none of them is pure black or white,
// so no part of the picture outside the price can be read as a glyph.
constexpr std::uint32_t MARGIN_COLOR = 0xFFF3F3F0u;
constexpr std::uint32_t PLOT_COLOR = 0xFFFEFEFCu;
constexpr std::uint32_t GRID_COLOR = 0xFFE2E2DEu;
constexpr std::uint32_t FRAME_COLOR = 0xFF9A9A96u;
constexpr std::uint32_t AREA_COLOR = 0xFFEAF0FAu;
constexpr std::uint32_t LINE_COLOR = 0xFF1F5FBFu;
constexpr std::uint32_t LAST_POINT_COLOR = 0xFFC0282Du;
constexpr std::uint32_t AXIS_LABEL_COLOR = 0xFF767676u;
constexpr std::uint32_t TITLE_COLOR = 0xFF8B6914u;
constexpr std::uint32_t SEPARATOR_COLOR = 0xFFC8A040u;
constexpr std::uint32_t RISE_COLOR = 0xFF1A8F2Au;
constexpr std::uint32_t FALL_COLOR = 0xFFC0282Du;

constexpr int ANCHOR_X = 6;
constexpr int ANCHOR_Y = 3;     // the anchor's top row; the reader looks in rows 0 to 6
constexpr int ANCHOR_GAP = 3;   // blank columns between the anchor and the price
constexpr int BAND_HEIGHT = 16; // the white band the price is drawn in
constexpr int TITLE_Y = BAND_HEIGHT + 3;
constexpr int LABEL_HEIGHT = 7;
constexpr int LABEL_ADVANCE = 6; // five columns and a space
constexpr int PLOT_LEFT = 8;
constexpr int PLOT_TOP = 34;
constexpr int RIGHT_MARGIN = 52;    // the price axis labels
constexpr int BOTTOM_MARGIN = 18;   // the hour labels
constexpr double PRICE_LIMIT = 1e9; // keeps the axis arithmetic finite

// A small 5 x 7 font for the title and the axis labels, columns left to right, bit 0 the
// top row. Its digits differ from the price glyphs and it is only drawn in colour.
struct LabelGlyph {
    char ch;
    std::array<std::uint8_t, 5> columns;
};

constexpr std::array<LabelGlyph, 51> LABEL_FONT = {{
    {'A', {0x7E, 0x11, 0x11, 0x11, 0x7E}}, {'B', {0x7F, 0x49, 0x49, 0x49, 0x36}},
    {'C', {0x3E, 0x41, 0x41, 0x41, 0x22}}, {'D', {0x7F, 0x41, 0x41, 0x22, 0x1C}},
    {'E', {0x7F, 0x49, 0x49, 0x49, 0x41}}, {'F', {0x7F, 0x09, 0x09, 0x09, 0x01}},
    {'G', {0x3E, 0x41, 0x49, 0x49, 0x7A}}, {'H', {0x7F, 0x08, 0x08, 0x08, 0x7F}},
    {'I', {0x00, 0x41, 0x7F, 0x41, 0x00}}, {'J', {0x20, 0x40, 0x41, 0x3F, 0x01}},
    {'K', {0x7F, 0x08, 0x14, 0x22, 0x41}}, {'L', {0x7F, 0x40, 0x40, 0x40, 0x40}},
    {'M', {0x7F, 0x02, 0x0C, 0x02, 0x7F}}, {'N', {0x7F, 0x04, 0x08, 0x10, 0x7F}},
    {'O', {0x3E, 0x41, 0x41, 0x41, 0x3E}}, {'P', {0x7F, 0x09, 0x09, 0x09, 0x06}},
    {'Q', {0x3E, 0x41, 0x51, 0x21, 0x5E}}, {'R', {0x7F, 0x09, 0x19, 0x29, 0x46}},
    {'S', {0x46, 0x49, 0x49, 0x49, 0x31}}, {'T', {0x01, 0x01, 0x7F, 0x01, 0x01}},
    {'U', {0x3F, 0x40, 0x40, 0x40, 0x3F}}, {'V', {0x1F, 0x20, 0x40, 0x20, 0x1F}},
    {'W', {0x3F, 0x40, 0x38, 0x40, 0x3F}}, {'X', {0x63, 0x14, 0x08, 0x14, 0x63}},
    {'Y', {0x07, 0x08, 0x70, 0x08, 0x07}}, {'Z', {0x61, 0x51, 0x49, 0x45, 0x43}},
    {'0', {0x3E, 0x51, 0x49, 0x45, 0x3E}}, {'1', {0x00, 0x42, 0x7F, 0x40, 0x00}},
    {'2', {0x42, 0x61, 0x51, 0x49, 0x46}}, {'3', {0x21, 0x41, 0x45, 0x4B, 0x31}},
    {'4', {0x18, 0x14, 0x12, 0x7F, 0x10}}, {'5', {0x27, 0x45, 0x45, 0x45, 0x39}},
    {'6', {0x3C, 0x4A, 0x49, 0x49, 0x30}}, {'7', {0x01, 0x71, 0x09, 0x05, 0x03}},
    {'8', {0x36, 0x49, 0x49, 0x49, 0x36}}, {'9', {0x06, 0x49, 0x49, 0x29, 0x1E}},
    {'.', {0x00, 0x60, 0x60, 0x00, 0x00}}, {',', {0x00, 0x50, 0x30, 0x00, 0x00}},
    {':', {0x00, 0x36, 0x36, 0x00, 0x00}}, {'-', {0x08, 0x08, 0x08, 0x08, 0x08}},
    {'+', {0x08, 0x08, 0x3E, 0x08, 0x08}}, {'%', {0x23, 0x13, 0x08, 0x64, 0x62}},
    {'/', {0x20, 0x10, 0x08, 0x04, 0x02}}, {'$', {0x24, 0x2A, 0x7F, 0x2A, 0x12}},
    {'(', {0x00, 0x1C, 0x22, 0x41, 0x00}}, {')', {0x00, 0x41, 0x22, 0x1C, 0x00}},
    {'=', {0x14, 0x14, 0x14, 0x14, 0x14}}, {'<', {0x08, 0x14, 0x22, 0x41, 0x00}},
    {'>', {0x00, 0x41, 0x22, 0x14, 0x08}}, {'?', {0x02, 0x01, 0x51, 0x09, 0x06}},
    {' ', {0x00, 0x00, 0x00, 0x00, 0x00}},
}};

void SetPixel(RgbaImage& image, int x, int y, std::uint32_t color) {
    if (x >= 0 && y >= 0 && x < image.width && y < image.height) {
        image.At(x, y) = color;
    }
}

// Fills [x0, x1) x [y0, y1), clipped to the image.
void FillRect(RgbaImage& image, int x0, int y0, int x1, int y1, std::uint32_t color) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width);
    y1 = std::min(y1, image.height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            image.At(x, y) = color;
        }
    }
}

void DrawLine(RgbaImage& image, int x0, int y0, int x1, int y1, std::uint32_t color) {
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int error = dx + dy;
    for (;;) {
        SetPixel(image, x0, y0, color);
        if (x0 == x1 && y0 == y1) {
            return;
        }
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

int LabelWidth(std::string_view text) {
    return text.empty() ? 0 : static_cast<int>(text.size()) * LABEL_ADVANCE - 1;
}

// Draws the label's set pixels only, so it sits on whatever is below it.
void DrawLabel(RgbaImage& image, int x, int y, std::string_view text, std::uint32_t color) {
    for (const char raw : text) {
        const char ch = (raw >= 'a' && raw <= 'z') ? static_cast<char>(raw - 'a' + 'A') : raw;
        const auto glyph = std::find_if(LABEL_FONT.begin(), LABEL_FONT.end(),
                                        [ch](const LabelGlyph& g) { return g.ch == ch; });
        if (glyph != LABEL_FONT.end()) {
            for (int c = 0; c < 5; ++c) {
                for (int r = 0; r < LABEL_HEIGHT; ++r) {
                    if ((glyph->columns[static_cast<std::size_t>(c)] >> r) & 1u) {
                        SetPixel(image, x + c, y + r, color);
                    }
                }
            }
        }
        x += LABEL_ADVANCE;
    }
}

std::string FormatFixed(double value, int decimals, bool withSign) {
    char text[64];
    const int n = withSign ? std::snprintf(text, sizeof text, "%+.*f", decimals, value)
                           : std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return n > 0 ? std::string(text,
                               std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1))
                 : std::string();
}

bool ParsePrice(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// A uniform value in [-1, 1] from the engine's own output, which is the same everywhere
// (the standard distributions are not).
double Jitter(std::mt19937& engine) {
    return static_cast<double>(engine()) / static_cast<double>(std::mt19937::max()) * 2.0 - 1.0;
}

// The day's line: the given values, or a walk from the seed that ends at the price.
std::vector<double> DaySeries(const ChartSpec& drawn, double price, bool hasPrice) {
    std::vector<double> series;
    for (const double value : drawn.daySeries) {
        if (std::isfinite(value)) {
            series.push_back(std::clamp(value, -PRICE_LIMIT, PRICE_LIMIT));
        }
    }
    if (series.size() >= 2) {
        return series;
    }
    const double last = hasPrice ? price : (series.empty() ? 1650.0 : series.back());
    return MakeDaySeries(last, drawn.seed);
}

// A round step that splits the range into about five parts.
double GridStep(double range) {
    const double raw = range / 5.0;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double factor = norm < 1.5 ? 1.0 : norm < 3.0 ? 2.0 : norm < 7.0 ? 5.0 : 10.0;
    return factor * magnitude;
}

void DrawTopBand(RgbaImage& image, const ChartSpec& drawn, double price, bool hasPrice,
                 double opening) {
    FillRect(image, 0, 0, image.width, BAND_HEIGHT, PAPER_COLOR);
    const int textX = DrawGlyph(image, ANCHOR_X, ANCHOR_Y, ANCHOR_GLYPH) + ANCHOR_X + ANCHOR_GAP;
    if (!drawn.anchor) {
        FillRect(image, ANCHOR_X, ANCHOR_Y, textX - ANCHOR_GAP, ANCHOR_Y + GLYPH_HEIGHT,
                 PAPER_COLOR);
    }
    const int end = DrawGlyphText(image, textX, ANCHOR_Y, drawn.priceText);
    // The coloured column right after the last blank column is where reading stops.
    FillRect(image, end, ANCHOR_Y - 2, end + 1, ANCHOR_Y + GLYPH_HEIGHT + 2, SEPARATOR_COLOR);
    int used = end + 1;
    if (hasPrice) {
        const double change = price - opening;
        const double percent = opening != 0.0 ? change / std::abs(opening) * 100.0 : 0.0;
        const std::string text =
            FormatFixed(change, 2, true) + " (" + FormatFixed(percent, 2, true) + "%)";
        DrawLabel(image, end + 5, ANCHOR_Y, text, change < 0.0 ? FALL_COLOR : RISE_COLOR);
        used = end + 5 + LabelWidth(text);
    }
    // The unit goes only where it cannot touch the price.
    const std::string unit = "USD/OZ";
    const int unitX = image.width - LabelWidth(unit) - 6;
    if (unitX > used + 6) {
        DrawLabel(image, unitX, ANCHOR_Y, unit, AXIS_LABEL_COLOR);
    }
}

void DrawPlot(RgbaImage& image, const std::vector<double>& series) {
    const int left = PLOT_LEFT;
    const int top = PLOT_TOP;
    const int right = image.width - RIGHT_MARGIN;
    const int bottom = image.height - BOTTOM_MARGIN;
    if (right - left < 16 || bottom - top < 16) {
        return; // too small for a plot: the band and the title are the chart
    }
    FillRect(image, left, top, right, bottom, PLOT_COLOR);

    const auto [minIt, maxIt] = std::minmax_element(series.begin(), series.end());
    double low = *minIt;
    double high = *maxIt;
    const double pad = std::max((high - low) * 0.1, 0.5);
    low -= pad;
    high += pad;
    const double step = GridStep(high - low);
    const auto toY = [&](double value) {
        const double t = (value - low) / (high - low);
        return bottom - 1 - static_cast<int>(std::lround(t * (bottom - top - 1)));
    };
    const auto toX = [&](std::size_t i) {
        const double t = static_cast<double>(i) / static_cast<double>(series.size() - 1);
        return left + static_cast<int>(std::lround(t * (right - left - 1)));
    };

    // The area under the line first, so that the grid and the line stay on top.
    for (std::size_t i = 1; i < series.size(); ++i) {
        const int x0 = toX(i - 1);
        const int x1 = toX(i);
        for (int x = x0; x <= x1; ++x) {
            const double t = x1 == x0 ? 1.0 : static_cast<double>(x - x0) / (x1 - x0);
            const int y = toY(series[i - 1] + (series[i] - series[i - 1]) * t);
            FillRect(image, x, y + 1, x + 1, bottom, AREA_COLOR);
        }
    }

    const int decimals = step >= 1.0 ? 0 : step >= 0.1 ? 1 : 2;
    const double first = std::ceil(low / step) * step;
    for (int k = 0; k < 50 && first + k * step <= high; ++k) {
        const double value = first + k * step;
        const int y = toY(value);
        FillRect(image, left, y, right, y + 1, GRID_COLOR);
        DrawLabel(image, right + 4, y - LABEL_HEIGHT / 2, FormatFixed(value, decimals, false),
                  AXIS_LABEL_COLOR);
    }
    for (int hour = 0; hour <= 24; hour += 3) {
        const int x = left + (right - left - 1) * hour / 24;
        FillRect(image, x, top, x + 1, bottom, GRID_COLOR);
        char text[8];
        std::snprintf(text, sizeof text, "%02d:00", hour % 24);
        const int width = LabelWidth(text);
        const int labelX = std::clamp(x - width / 2, 0, image.width - width);
        DrawLabel(image, labelX, bottom + 5, text, AXIS_LABEL_COLOR);
    }

    for (std::size_t i = 1; i < series.size(); ++i) {
        const int x0 = toX(i - 1);
        const int x1 = toX(i);
        const int y0 = toY(series[i - 1]);
        const int y1 = toY(series[i]);
        DrawLine(image, x0, y0, x1, y1, LINE_COLOR);
        DrawLine(image, x0, y0 - 1, x1, y1 - 1, LINE_COLOR); // two pixels thick
    }
    const int lastX = toX(series.size() - 1);
    const int lastY = toY(series.back());
    FillRect(image, lastX - 2, lastY - 2, lastX + 2, lastY + 2, LAST_POINT_COLOR);

    FillRect(image, left, top, right, top + 1, FRAME_COLOR);
    FillRect(image, left, bottom - 1, right, bottom, FRAME_COLOR);
    FillRect(image, left, top, left + 1, bottom, FRAME_COLOR);
    FillRect(image, right - 1, top, right, bottom, FRAME_COLOR);
}

} // namespace

const GlyphEntry* FindGlyph(char ch) {
    if (ch == static_cast<char>(ANCHOR_GLYPH[0])) {
        return &ANCHOR_GLYPH;
    }
    for (const GlyphEntry& entry : GLYPH_TABLE) {
        if (ch == static_cast<char>(entry[0])) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<double> MakeDaySeries(double lastPrice, std::uint32_t seed, int points) {
    if (points < 1) {
        return {};
    }
    const double last =
        std::isfinite(lastPrice) ? std::clamp(lastPrice, -PRICE_LIMIT, PRICE_LIMIT) : 0.0;
    const double volatility = std::max(std::abs(last) * 0.0012, 0.05);
    std::mt19937 engine(seed);
    std::vector<double> series(static_cast<std::size_t>(points), last);
    for (std::size_t i = series.size() - 1; i > 0; --i) {
        series[i - 1] =
            std::clamp(series[i] + Jitter(engine) * volatility, -PRICE_LIMIT, PRICE_LIMIT);
    }
    return series;
}

int DrawGlyph(RgbaImage& image, int x, int y, const GlyphEntry& entry) {
    const int width = GlyphWidth(entry);
    for (int c = 0; c < width; ++c) {
        const unsigned mask = entry[static_cast<std::size_t>(1 + c)];
        for (int r = 0; r < GLYPH_HEIGHT; ++r) {
            SetPixel(image, x + c, y + r, ((mask >> r) & 1u) != 0 ? INK_COLOR : PAPER_COLOR);
        }
    }
    return width;
}

int DrawGlyphText(RgbaImage& image, int x, int y, std::string_view text) {
    for (const char ch : text) {
        const GlyphEntry* entry = FindGlyph(ch);
        if (entry == nullptr) {
            continue;
        }
        x += DrawGlyph(image, x, y, *entry);
        FillRect(image, x, y, x + 1, y + GLYPH_HEIGHT, PAPER_COLOR);
        ++x;
    }
    return x;
}

RgbaImage DrawChart(const ChartSpec& drawn) {
    if (drawn.width < 1 || drawn.height < 1 || drawn.width > CHART_MAX_SIDE ||
        drawn.height > CHART_MAX_SIDE) {
        return {};
    }
    RgbaImage image(drawn.width, drawn.height, MARGIN_COLOR);
    double price = 0.0;
    const bool hasPrice = ParsePrice(drawn.priceText, price);
    price = std::clamp(price, -PRICE_LIMIT, PRICE_LIMIT);
    const std::vector<double> series = DaySeries(drawn, price, hasPrice);

    DrawTopBand(image, drawn, price, hasPrice, series.front());
    DrawLabel(image, PLOT_LEFT, TITLE_Y, "GOLD SPOT 1 DAY (USD)", TITLE_COLOR);
    DrawPlot(image, series);
    return image;
}
