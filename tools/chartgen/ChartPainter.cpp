// SPDX-License-Identifier: MIT
#include "chartgen/ChartPainter.h"

#include "chartgen/LabelFont.h"

#include <algorithm>
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
constexpr int PLOT_LEFT = 8;
constexpr int PLOT_TOP = 34;
constexpr int RIGHT_MARGIN = 52;    // the price axis labels
constexpr int BOTTOM_MARGIN = 18;   // the hour labels
constexpr double PRICE_LIMIT = 1e9; // keeps the axis arithmetic finite
constexpr double MAX_GAP_SECONDS = 2 * 60 * 60;

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

// The day's line: its prices and when they were taken, in seconds since 1970.
struct Day {
    std::vector<double> prices;
    std::vector<double> times;
    double start = 0.0; // the left end of the time axis
    double end = 0.0;   // its right end
};

// The given prices at their times, or spread evenly over the day; without times and
// with fewer than two prices, a walk from the seed that ends at the price.
Day MakeDay(const ChartSpec& drawn, double price, bool hasPrice) {
    Day day;
    day.end = static_cast<double>(drawn.dayEnd);
    day.start = day.end - static_cast<double>(CHART_DAY_SECONDS);
    const bool timed = !drawn.dayTimes.empty() && drawn.dayTimes.size() == drawn.daySeries.size();
    for (std::size_t i = 0; i < drawn.daySeries.size(); ++i) {
        const double value = drawn.daySeries[i];
        const double time = timed ? static_cast<double>(drawn.dayTimes[i]) : 0.0;
        if (std::isfinite(value) && (!timed || (time >= day.start && time <= day.end))) {
            day.prices.push_back(std::clamp(value, -PRICE_LIMIT, PRICE_LIMIT));
            day.times.push_back(time);
        }
    }
    if (timed) {
        return day;
    }
    if (day.prices.size() < 2) {
        const double last = hasPrice ? price : (day.prices.empty() ? 1650.0 : day.prices.back());
        day.prices = MakeDaySeries(last, drawn.seed);
    }
    day.times.resize(day.prices.size());
    for (std::size_t i = 0; i < day.times.size(); ++i) {
        day.times[i] = day.start + static_cast<double>(CHART_DAY_SECONDS) * static_cast<double>(i) /
                                       static_cast<double>(day.times.size() - 1);
    }
    return day;
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

// The plot's rectangle and its scales.
struct Plot {
    int left = PLOT_LEFT;
    int top = PLOT_TOP;
    int right = 0;
    int bottom = 0;
    double low = 0.0;
    double high = 0.0;
    const Day* day = nullptr;

    int Y(double value) const {
        const double t = (value - low) / (high - low);
        return bottom - 1 - static_cast<int>(std::lround(t * (bottom - top - 1)));
    }
    int X(double time) const {
        const double t = (time - day->start) / (day->end - day->start);
        return left + static_cast<int>(std::lround(t * (right - left - 1)));
    }
    // Prices further apart than this are not joined: the feed was silent in between.
    bool Joined(std::size_t i) const {
        return day->times[i] - day->times[i - 1] <= MAX_GAP_SECONDS;
    }
};

// The area under the line; drawn first, so that the grid and the line stay on top.
void DrawArea(RgbaImage& image, const Plot& plot) {
    const std::vector<double>& prices = plot.day->prices;
    for (std::size_t i = 1; i < prices.size(); ++i) {
        const int x0 = plot.X(plot.day->times[i - 1]);
        const int x1 = plot.X(plot.day->times[i]);
        for (int x = x0; plot.Joined(i) && x <= x1; ++x) {
            const double t = x1 == x0 ? 1.0 : static_cast<double>(x - x0) / (x1 - x0);
            const int y = plot.Y(prices[i - 1] + (prices[i] - prices[i - 1]) * t);
            FillRect(image, x, y + 1, x + 1, plot.bottom, AREA_COLOR);
        }
    }
}

void DrawGrid(RgbaImage& image, const Plot& plot) {
    const double step = GridStep(plot.high - plot.low);
    const int decimals = step >= 1.0 ? 0 : step >= 0.1 ? 1 : 2;
    const double first = std::ceil(plot.low / step) * step;
    for (int k = 0; k < 50 && first + k * step <= plot.high; ++k) {
        const double value = first + k * step;
        const int y = plot.Y(value);
        FillRect(image, plot.left, y, plot.right, y + 1, GRID_COLOR);
        DrawLabel(image, plot.right + 4, y - LABEL_HEIGHT / 2, FormatFixed(value, decimals, false),
                  AXIS_LABEL_COLOR);
    }
    // Every third full hour of the day shown, in UTC.
    constexpr double hours3 = 3 * 60 * 60;
    for (double time = std::ceil(plot.day->start / hours3) * hours3; time <= plot.day->end;
         time += hours3) {
        const int x = plot.X(time);
        FillRect(image, x, plot.top, x + 1, plot.bottom, GRID_COLOR);
        const auto seconds = static_cast<std::int64_t>(time) % CHART_DAY_SECONDS;
        char text[8];
        std::snprintf(text, sizeof text, "%02d:00", static_cast<int>(seconds / 3600));
        const int width = LabelWidth(text);
        const int labelX = std::clamp(x - width / 2, 0, image.width - width);
        DrawLabel(image, labelX, plot.bottom + 5, text, AXIS_LABEL_COLOR);
    }
}

void DrawLineAndFrame(RgbaImage& image, const Plot& plot) {
    const std::vector<double>& prices = plot.day->prices;
    for (std::size_t i = 1; i < prices.size(); ++i) {
        if (plot.Joined(i)) {
            const int x0 = plot.X(plot.day->times[i - 1]);
            const int x1 = plot.X(plot.day->times[i]);
            const int y0 = plot.Y(prices[i - 1]);
            const int y1 = plot.Y(prices[i]);
            DrawLine(image, x0, y0, x1, y1, LINE_COLOR);
            DrawLine(image, x0, y0 - 1, x1, y1 - 1, LINE_COLOR); // two pixels thick
        }
    }
    if (!prices.empty()) {
        const int lastX = plot.X(plot.day->times.back());
        const int lastY = plot.Y(prices.back());
        FillRect(image, lastX - 2, lastY - 2, lastX + 2, lastY + 2, LAST_POINT_COLOR);
    }
    FillRect(image, plot.left, plot.top, plot.right, plot.top + 1, FRAME_COLOR);
    FillRect(image, plot.left, plot.bottom - 1, plot.right, plot.bottom, FRAME_COLOR);
    FillRect(image, plot.left, plot.top, plot.left + 1, plot.bottom, FRAME_COLOR);
    FillRect(image, plot.right - 1, plot.top, plot.right, plot.bottom, FRAME_COLOR);
}

void DrawPlot(RgbaImage& image, const Day& day, double price) {
    Plot plot;
    plot.right = image.width - RIGHT_MARGIN;
    plot.bottom = image.height - BOTTOM_MARGIN;
    plot.day = &day;
    if (plot.right - plot.left < 16 || plot.bottom - plot.top < 16) {
        return; // too small for a plot: the band and the title are the chart
    }
    FillRect(image, plot.left, plot.top, plot.right, plot.bottom, PLOT_COLOR);
    plot.low = day.prices.empty() ? price : *std::min_element(day.prices.begin(), day.prices.end());
    plot.high =
        day.prices.empty() ? price : *std::max_element(day.prices.begin(), day.prices.end());
    const double pad = std::max((plot.high - plot.low) * 0.1, 0.5);
    plot.low -= pad;
    plot.high += pad;
    DrawArea(image, plot);
    DrawGrid(image, plot);
    DrawLineAndFrame(image, plot);
}

} // namespace

std::string ChartPriceText(double price) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%.2f", price);
    return n > 0 && static_cast<std::size_t>(n) < sizeof text ? std::string(text) : "0.00";
}

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
    const Day day = MakeDay(drawn, price, hasPrice);

    DrawTopBand(image, drawn, price, hasPrice, day.prices.empty() ? price : day.prices.front());
    const std::string title = "GOLD SPOT 1 DAY (USD)";
    DrawLabel(image, PLOT_LEFT, TITLE_Y, title, TITLE_COLOR);
    // Real times are UTC hours; say so where it cannot touch the title.
    const std::string zone = "TIMES IN UTC";
    const int zoneX = image.width - LabelWidth(zone) - 6;
    if (!drawn.dayTimes.empty() && zoneX > PLOT_LEFT + LabelWidth(title) + 12) {
        DrawLabel(image, zoneX, TITLE_Y, zone, AXIS_LABEL_COLOR);
    }
    DrawPlot(image, day, price);
    return image;
}
