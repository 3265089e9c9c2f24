// SPDX-License-Identifier: MIT
#include "core/acquisition/PollStatus.h"

#include "core/acquisition/ChartPollThread.h"
#include "platform/common/WallClock.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace {

constexpr std::int64_t MIN_REGULAR_INTERVAL_MS = 1000;

std::optional<int> ParseSeconds(std::string_view text) {
    int seconds = 0;
    const char* end = text.data() + text.size();
    // Digits only: from_chars would take a '-', and a '+' or blanks are not a number here.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const auto [next, error] = std::from_chars(text.data(), end, seconds);
    if (error != std::errc() || next != end || seconds < 1) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace

std::chrono::seconds StaleLimit() {
    const char* value = std::getenv(STALE_SECONDS_VARIABLE);
    return std::chrono::seconds(value != nullptr
                                    ? ParseSeconds(value).value_or(STALE_SECONDS_DEFAULT)
                                    : STALE_SECONDS_DEFAULT);
}

std::string StaleSecondsError() {
    const char* value = std::getenv(STALE_SECONDS_VARIABLE);
    if (value == nullptr || ParseSeconds(value)) {
        return {};
    }
    return std::string(STALE_SECONDS_VARIABLE) + "=\"" + value +
           "\" is not a whole number of seconds from 1 to " + std::to_string(INT_MAX) +
           " (unset it for " + std::to_string(STALE_SECONDS_DEFAULT) + ")";
}

std::string StaleTipLine(const PollStatusSnapshot& status) {
    if (!status.stale) {
        return {};
    }
    std::string lead = "No price read yet: ";
    if (status.everRead) {
        std::tm local{};
        char clock[8] = "--:--";
        if (localtime_r(&status.lastReadTime, &local) != nullptr) {
            std::strftime(clock, sizeof clock, "%H:%M", &local);
        }
        lead = std::string("No price read since ") + clock + ": ";
    }
    return lead + DescribeOutcome(status.last);
}

CPollStatus::CPollStatus(std::chrono::milliseconds staleLimit)
    : m_limitMs(std::max<std::int64_t>(staleLimit.count(), 1)) {}

void CPollStatus::Start(std::int64_t nowMs) {
    const std::lock_guard lock(m_mutex);
    m_startMs = nowMs;
}

std::string ClosedTipLine(const PollStatusSnapshot& status) {
    if (!status.closed) {
        return {};
    }
    // The day in English like the rest of the line, whatever the locale.
    static constexpr const char* DAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    std::tm local{};
    char when[32] = "";
    if (status.reopens != 0 && localtime_r(&status.reopens, &local) != nullptr &&
        local.tm_wday >= 0 && local.tm_wday < 7) {
        std::snprintf(when, sizeof when, ", reopens %s %02d:%02d", DAYS[local.tm_wday],
                      local.tm_hour, local.tm_min);
    }
    return std::string("Market closed") + when;
}

bool CPollStatus::NoteMarket(const MarketMoment& market, std::int64_t nowMs) {
    const bool changed = market.closed != m_status.closed;
    m_status.closed = market.closed;
    m_status.reopens = market.closed ? market.reopens : 0;
    if (market.closed) {
        m_resumeMs = nowMs + std::max<std::int64_t>(market.msToReopen, 0);
        m_status.stale = false;
    }
    return changed;
}

CPollStatus::Change CPollStatus::Record(const PollOutcome& outcome, std::int64_t nowMs,
                                        bool quickPollsOver, const MarketMoment& market) {
    const std::lock_guard lock(m_mutex);
    const bool wasStale = m_status.stale;
    const bool marketChanged = NoteMarket(market, nowMs);
    const PollOutcome previous = m_status.last;
    m_status.last = outcome;
    if (outcome.result == PollResult::PriceRead) {
        m_status.everRead = true;
        m_status.lastReadTime = static_cast<std::time_t>(WallClock::NowSeconds());
        m_lastReadMs = nowMs;
        m_status.stale = false;
    } else {
        m_status.stale = !market.closed && PastTheLimit(nowMs, quickPollsOver);
    }
    if (m_status.stale != wasStale) {
        return m_status.stale ? Change::Began : Change::Ended;
    }
    if (marketChanged) {
        return Change::Market;
    }
    return m_status.stale && outcome != previous ? Change::Reason : Change::None;
}

CPollStatus::Change CPollStatus::Overdue(std::int64_t nowMs, bool quickPollsOver,
                                         const MarketMoment& market) {
    const std::lock_guard lock(m_mutex);
    const bool wasStale = m_status.stale;
    if (NoteMarket(market, nowMs)) {
        return wasStale ? Change::Ended : Change::Market;
    }
    if (m_status.stale || market.closed || !PastTheLimit(nowMs, quickPollsOver)) {
        return Change::None;
    }
    m_status.stale = true;
    // The reason is the last poll's failure; with none, this one's.
    if (m_status.last.result == PollResult::PriceRead) {
        m_status.last = {PollResult::TimedOut, 0, {}};
    }
    return Change::Began;
}

bool CPollStatus::PastTheLimit(std::int64_t nowMs, bool quickPollsOver) const {
    // After a closed market the limit counts from the reopening, and a program that read no
    // price yet gets the whole limit from there too.
    if (m_status.everRead) {
        return nowMs - std::max(m_lastReadMs, m_resumeMs) >= m_limitMs;
    }
    return (quickPollsOver && m_resumeMs <= m_startMs) ||
           nowMs - std::max(m_startMs, m_resumeMs) >= m_limitMs;
}

PollStatusSnapshot CPollStatus::Snapshot() const {
    const std::lock_guard lock(m_mutex);
    return m_status;
}

int CPollStatus::RegularIntervalMs() const {
    return static_cast<int>(
        std::clamp<std::int64_t>(m_limitMs / 5, MIN_REGULAR_INTERVAL_MS, POLL_INTERVAL_MS));
}
