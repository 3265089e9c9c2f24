// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

constexpr double MAX_FEED_PRICE = 100000000.0; // keeps the drawn price inside the chart

// The price of each chart: a scripted list, one entry per chart, that stays on its last
// entry; or without a list a random walk from a start price in steps of at most `step`
// dollars. Thread-safe.
class PriceFeed final {
public:
    struct Frame {
        double price = 0.0;
        std::vector<double> day; // the day so far, ending with `price`
    };

    PriceFeed(double start, double step, std::uint32_t seed, std::vector<double> script);

    // The price for the next chart, which then moves on.
    Frame Next();
    // The price the next chart would show, without moving on.
    Frame Peek();

    // A plain decimal number from 0 to MAX_FEED_PRICE (no sign, no exponent).
    static bool ParsePrice(std::string_view text, double& value);
    // Prices separated by commas or white space: each a plain decimal number from 0 to
    // MAX_FEED_PRICE. False (with the offending text in `error`) on anything else.
    static bool ParseList(std::string_view text, std::vector<double>& prices, std::string& error);

private:
    double Following();

    std::mutex m_mutex;
    std::mt19937 m_engine;
    double m_step;
    std::vector<double> m_script;
    std::size_t m_scriptIndex = 0;
    double m_pending; // what the next chart shows
    std::vector<double> m_day;
};
