// SPDX-License-Identifier: MIT
#include "publish/ChartBoard.h"

#include <algorithm>

void ChartBoard::Show(std::shared_ptr<const ChartImage> chart) {
    std::lock_guard lock(m_mutex);
    m_chart = std::move(chart);
}

ChartBoard::View ChartBoard::Look(std::int64_t now) const {
    View view;
    {
        std::lock_guard lock(m_mutex);
        view.chart = m_chart;
    }
    const MarketHours::Instant instant{std::chrono::seconds{now}};
    std::int64_t since = 0;
    if (m_market) {
        const auto opened = m_market->OpenedAt(instant);
        view.closed = !opened;
        since = opened ? opened->time_since_epoch().count() : 0;
        if (const auto reopens = view.closed ? m_market->NextOpen(instant) : std::nullopt) {
            view.reopens = reopens->time_since_epoch().count();
        }
    }
    if (view.chart) {
        // A clock set back makes no quote younger than new.
        view.age = std::max<std::int64_t>(now - view.chart->quotedAt, 0);
        view.staleIn =
            m_staleAfter - std::max<std::int64_t>(now - std::max(view.chart->quotedAt, since), 0);
        view.live = view.closed || view.staleIn > 0;
    }
    return view;
}
