// SPDX-License-Identifier: MIT
#include "support/SimulatedHistory.h"

#include "core/history/HistoryStore.h"

#include <random>
#include <vector>

namespace {
constexpr std::int64_t DAY = 24 * 3600;
constexpr std::int64_t POLL_SECONDS = 120;
constexpr std::int64_t NOTIFY_CENTS = 2000;

// 1970-01-01 was a Thursday: days 2 and 3 of the week are Saturday and Sunday.
bool IsWeekend(std::int64_t t) {
    const std::int64_t weekday = (t / DAY) % 7;
    return weekday == 2 || weekday == 3;
}
} // namespace

std::size_t WriteSimulatedYear(const std::string& path, std::int64_t nowUtc) {
    std::mt19937 random(27);
    std::normal_distribution<double> step(0.0, 40.0);
    std::int64_t cents = 200000;
    std::int64_t reference = cents;
    const std::int64_t fullFrom = nowUtc - HISTORY_FULL_SECONDS;
    std::vector<HistoryReading> rows;
    for (std::int64_t t = nowUtc - 365 * DAY; t < nowUtc;) {
        const std::int64_t interval = t < fullFrom ? 3600 : POLL_SECONDS;
        HistoryReading row{t, cents, HistoryState::Live, {}, false};
        if (IsWeekend(t)) {
            row.state = HistoryState::Closed;
        } else if ((t / DAY) % 30 == 7 && (t % DAY) < 4 * 3600) {
            row = {t, std::nullopt, HistoryState::Stale, "the chart server could not be reached",
                   false};
        } else {
            cents += static_cast<std::int64_t>(step(random) * (interval == 3600 ? 5.0 : 1.0));
            row.cents = cents;
            row.notified = cents - reference >= NOTIFY_CENTS || reference - cents >= NOTIFY_CENTS;
            if (row.notified) {
                reference = cents;
            }
        }
        rows.push_back(row);
        t += interval;
    }
    CHistoryStore store;
    return store.Open(path) && store.InsertAll(rows) ? rows.size() : 0;
}
