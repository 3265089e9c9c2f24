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
    if (view.chart) {
        // A clock set back makes no quote younger than new.
        view.age = std::max<std::int64_t>(now - view.chart->quotedAt, 0);
        view.live = view.age < m_staleAfter;
    }
    return view;
}
