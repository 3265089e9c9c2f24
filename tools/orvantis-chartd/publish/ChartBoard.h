// SPDX-License-Identifier: MIT
#pragma once

#include "core/market/MarketHours.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// One drawn chart, as it is served and published.
struct ChartImage {
    std::string png;
    std::string etag;          // a strong validator of these bytes, quotes included
    std::int64_t modified = 0; // when these bytes were first drawn, seconds since 1970
    double price = 0.0;        // the price at its top
    std::int64_t quotedAt = 0; // when that price was accepted, seconds since 1970
};

// The chart of the moment, shared by the sampling thread that draws it and the threads
// that serve it. It is live while its price is younger than stale_after, or the market is
// closed (then the last close is the price); after that it is kept only to be told about,
// never to be served. At a reopening stale_after counts again from the opening.
class ChartBoard final {
public:
    struct View {
        std::shared_ptr<const ChartImage> chart; // null until the first chart is drawn
        bool live = false;
        std::int64_t age = -1; // seconds since its price was accepted; -1 without a chart
        bool closed = false;
        std::int64_t reopens = 0; // while closed, seconds since 1970; 0 when unknown
        std::int64_t staleIn = 0; // while live and open, seconds until it turns stale
    };

    // Without market hours the market is always open.
    explicit ChartBoard(int staleAfterSeconds, std::shared_ptr<const MarketHours> market = nullptr)
        : m_staleAfter(staleAfterSeconds), m_market(std::move(market)) {}

    void Show(std::shared_ptr<const ChartImage> chart);
    View Look(std::int64_t now) const;
    int StaleAfter() const { return m_staleAfter; }

private:
    const int m_staleAfter;
    const std::shared_ptr<const MarketHours> m_market;
    mutable std::mutex m_mutex;
    std::shared_ptr<const ChartImage> m_chart;
};
