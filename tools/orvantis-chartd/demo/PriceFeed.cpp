// SPDX-License-Identifier: MIT
#include "demo/PriceFeed.h"

#include "chartgen/ChartPainter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

PriceFeed::PriceFeed(double start, double step, std::uint32_t seed, std::vector<double> script)
    : m_engine(seed), m_step(step), m_script(std::move(script)),
      m_pending(m_script.empty() ? start : m_script.front()) {
    m_scriptIndex = m_script.empty() ? 0 : 1;
    m_day = MakeDaySeries(m_pending, seed);
}

PriceFeed::Frame PriceFeed::Peek() {
    std::lock_guard lock(m_mutex);
    return {m_pending, m_day};
}

PriceFeed::Frame PriceFeed::Next() {
    std::lock_guard lock(m_mutex);
    Frame frame{m_pending, m_day};
    m_pending = Following();
    m_day.erase(m_day.begin());
    m_day.push_back(m_pending);
    return frame;
}

double PriceFeed::Following() {
    if (!m_script.empty()) {
        const double price = m_script[std::min(m_scriptIndex, m_script.size() - 1)];
        m_scriptIndex = std::min(m_scriptIndex + 1, m_script.size());
        return price;
    }
    // The engine's raw output is the same on every platform; the standard distributions
    // are not, and a seed must give the same walk everywhere.
    const double unit = static_cast<double>(m_engine()) / static_cast<double>(m_engine.max());
    const double moved = m_pending + (unit * 2.0 - 1.0) * m_step;
    return std::clamp(std::round(moved * 100.0) / 100.0, 0.01, MAX_FEED_PRICE);
}

bool PriceFeed::ParsePrice(std::string_view text, double& value) {
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() &&
           std::isfinite(value) && !std::signbit(value) && value <= MAX_FEED_PRICE;
}

bool PriceFeed::ParseList(std::string_view text, std::vector<double>& prices, std::string& error) {
    constexpr std::string_view separators = ", \t\r\n";
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t begin = text.find_first_not_of(separators, pos);
        if (begin == std::string_view::npos) {
            break;
        }
        std::size_t end = text.find_first_of(separators, begin);
        end = end == std::string_view::npos ? text.size() : end;
        const std::string_view token = text.substr(begin, end - begin);
        double value = 0.0;
        if (!ParsePrice(token, value)) {
            error = std::string(token.substr(0, 40));
            return false;
        }
        prices.push_back(value);
        pos = end;
    }
    return true;
}
