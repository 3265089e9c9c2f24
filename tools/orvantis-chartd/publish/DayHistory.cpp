// SPDX-License-Identifier: MIT
#include "publish/DayHistory.h"

#include "feed/QuoteNumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr std::string_view STATE_HEADER = "orvantis-chartd day 1";
constexpr std::int64_t CLOCK_SLACK = 300; // a point this far ahead of the clock still counts

std::optional<PricePoint> ParsePoint(std::string_view line) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        return std::nullopt;
    }
    PricePoint point;
    const auto result = std::from_chars(line.data(), line.data() + blank, point.time);
    const std::optional<double> price = ParseQuoteNumber(line.substr(blank + 1));
    if (result.ec != std::errc() || result.ptr != line.data() + blank || !price) {
        return std::nullopt;
    }
    point.price = *price;
    return point;
}

} // namespace

void DayHistory::Add(std::int64_t time, double price) {
    if (!m_points.empty()) {
        time = std::max(time, m_points.back().time);
        if (time / 60 == m_points.back().time / 60) {
            m_points.pop_back();
        }
    }
    m_points.push_back({time, price});
    Prune(time);
}

void DayHistory::Prune(std::int64_t now) {
    const auto firstKept =
        std::find_if(m_points.begin(), m_points.end(),
                     [now](const PricePoint& p) { return p.time >= now - DAY_SECONDS; });
    m_points.erase(m_points.begin(), firstKept);
}

std::optional<PricePoint> DayHistory::Last() const {
    if (m_points.empty()) {
        return std::nullopt;
    }
    return m_points.back();
}

std::string DayHistory::Serialize() const {
    std::string text(STATE_HEADER);
    text += '\n';
    for (const PricePoint& point : m_points) {
        char price[64];
        // The shortest text that reads back as the same double.
        const auto result = std::to_chars(price, price + sizeof price, point.price);
        text += std::to_string(point.time) + ' ' + std::string(price, result.ptr) + '\n';
    }
    return text;
}

bool DayHistory::Parse(std::string_view text, const QuoteLimits& limits, std::int64_t now,
                       DayHistory& day, int& skipped) {
    day.m_points.clear();
    skipped = 0;
    std::size_t pos = text.find('\n');
    if (pos == std::string_view::npos || text.substr(0, pos) != STATE_HEADER) {
        return false;
    }
    for (++pos; pos < text.size();) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        // A last line without its line break was cut short: "1669.5" may have become "16".
        const std::optional<PricePoint> point =
            end < text.size() ? ParsePoint(text.substr(pos, end - pos)) : std::nullopt;
        pos = end + 1;
        if (point && point->time < now - DAY_SECONDS) {
            continue; // dropped out of the day, as it would have while running
        }
        const bool fits = point && std::isfinite(point->price) && point->price >= limits.minPrice &&
                          point->price <= limits.maxPrice && point->time <= now + CLOCK_SLACK &&
                          (day.m_points.empty() || point->time > day.m_points.back().time);
        if (fits) {
            day.m_points.push_back(*point);
        } else {
            ++skipped;
        }
    }
    return true;
}
