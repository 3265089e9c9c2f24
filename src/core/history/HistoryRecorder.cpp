// SPDX-License-Identifier: MIT
#include "core/history/HistoryRecorder.h"

#include "core/acquisition/PollOutcome.h"
#include "core/settings/SettingText.h"
#include "platform/common/WallClock.h"

#include <ctime>

namespace {
constexpr std::int64_t REOPEN_SECONDS = 3600;
}

std::int64_t HistoryNow() {
    return WallClock::NowSeconds();
}

void CHistoryRecorder::Record(bool accepted, const std::string& priceText,
                              const PollStatusSnapshot& status, bool notified,
                              std::int64_t nowUtc) {
    if (!m_store.IsOpen()) {
        if (m_lastTry >= 0 && nowUtc - m_lastTry < REOPEN_SECONDS) {
            return;
        }
        m_lastTry = nowUtc;
        if (!m_store.Open(m_path)) {
            return;
        }
    }
    HistoryReading reading;
    reading.timeUtc = nowUtc;
    if (accepted) {
        // As the settings file keeps it: the tracker took the text as a number with two
        // decimals.
        reading.cents = PriceTextToCents(FormatPrice(ParseDouble(priceText, 0.0)));
    }
    if (status.closed) {
        reading.state = HistoryState::Closed;
    } else if (!reading.cents) {
        reading.state = HistoryState::Stale;
        reading.reason = DescribeOutcome(status.last);
    }
    reading.notified = notified && reading.cents.has_value();
    m_store.Insert(reading);
}
