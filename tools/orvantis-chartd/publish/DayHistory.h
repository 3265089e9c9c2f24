// SPDX-License-Identifier: MIT
#pragma once

#include "feed/QuoteGate.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One accepted quote: when (seconds since 1970, UTC) and at what price.
struct PricePoint {
    std::int64_t time = 0;
    double price = 0.0;
};

// The accepted quotes of the last 24 hours, oldest first, at most one a minute (the
// minute's last quote), so a feed sampled every second still keeps a small day.
class DayHistory final {
public:
    static constexpr std::int64_t DAY_SECONDS = 24 * 60 * 60;

    // Adds a quote accepted at `time` and lets points more than a day older drop out. A
    // clock set back never reorders the day: the quote then counts at the last point's time.
    void Add(std::int64_t time, double price);
    // Lets points older than a day before `now` drop out.
    void Prune(std::int64_t now);

    const std::vector<PricePoint>& Points() const { return m_points; }
    std::optional<PricePoint> Last() const;

    // The state file: a first line naming the format, then "time price" lines.
    std::string Serialize() const;
    // Takes back what Serialize() wrote, without the points more than a day before `now`.
    // Lines that are not such points, or hold a price outside the limits, a time out of
    // order or in the future, are left out and counted in `skipped`. False when the text
    // is no state file.
    static bool Parse(std::string_view text, const QuoteLimits& limits, std::int64_t now,
                      DayHistory& day, int& skipped);

private:
    std::vector<PricePoint> m_points;
};
