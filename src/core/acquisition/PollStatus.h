// SPDX-License-Identifier: MIT
#pragma once

#include "core/acquisition/PollOutcome.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>

// How long the program may go without reading a price before it says the price shown is
// stale: five regular polls. ORVANTIS_STALE_SECONDS changes it for tests and demos.
inline constexpr const char* STALE_SECONDS_VARIABLE = "ORVANTIS_STALE_SECONDS";
constexpr int STALE_SECONDS_DEFAULT = 600;

// ORVANTIS_STALE_SECONDS when it is a whole number of seconds from 1 to 2147483647 (digits
// only), else the default. Like a server variable, a value that is set but not such a
// number is refused at start-up (StaleSecondsError), not quietly replaced.
std::chrono::seconds StaleLimit();
// For people: why ORVANTIS_STALE_SECONDS is not a number of seconds; empty when it is
// unset or good.
std::string StaleSecondsError();

// What the user is shown of the polls.
struct PollStatusSnapshot {
    bool stale = false;           // no price read for too long, or none at all yet
    bool everRead = false;        // a price was read in this run
    std::time_t lastReadTime = 0; // when the last price was read (wall clock)
    PollOutcome last;             // the latest poll's outcome
    bool closed = false;          // the market is closed: never stale meanwhile
    std::time_t reopens = 0;      // while closed, when it reopens (wall clock); 0: unknown
};

// The market as the polling thread saw it at one poll: closed, and how long until it
// reopens on the polling thread's clock (0 when unknown).
struct MarketMoment {
    bool closed = false;
    std::time_t reopens = 0;
    std::int64_t msToReopen = 0;
};

// "No price read since HH:MM: " (local time) or "No price read yet: ", then the latest
// reason, while stale; empty otherwise.
std::string StaleTipLine(const PollStatusSnapshot& status);
// "Market closed, reopens Sun 23:00" (local time) while closed; empty otherwise.
std::string ClosedTipLine(const PollStatusSnapshot& status);

// The outcome of every poll, kept by the polling thread for the user-interface thread,
// and the stale state decided from it on the polling thread's clock. Stale: no price
// read for the limit, or none at all once the quick polls of the start are over (or the
// limit passed first). The first price read ends it. Thread-safe.
class CPollStatus final {
public:
    explicit CPollStatus(std::chrono::milliseconds staleLimit);
    CPollStatus(const CPollStatus&) = delete;
    CPollStatus& operator=(const CPollStatus&) = delete;

    // What one poll changed of what the user is shown.
    enum class Change {
        None,
        Reason, // still stale, for another reason
        Began,
        Ended,
        Market, // the market closed or reopened
    };

    // The polling starts at nowMs (the polling thread's clock).
    void Start(std::int64_t nowMs);
    // One poll's outcome at nowMs; quickPollsOver once the last quick wait is done.
    // While the market is closed the price is never stale, and the limit counts again
    // from the reopening.
    Change Record(const PollOutcome& outcome, std::int64_t nowMs, bool quickPollsOver,
                  const MarketMoment& market = {});
    // While a poll is still under way at nowMs: past the limit the stale state begins all
    // the same, for the last poll's failure, or for a server that did not answer in time.
    Change Overdue(std::int64_t nowMs, bool quickPollsOver, const MarketMoment& market = {});
    PollStatusSnapshot Snapshot() const;

    // The wait between regular polls: two minutes, but at most a fifth of the stale limit
    // (and at least a second), so that the limit always spans five polls and one bad
    // answer between good ones never makes the price stale.
    int RegularIntervalMs() const;

private:
    bool PastTheLimit(std::int64_t nowMs, bool quickPollsOver) const;
    // Notes the market; true when it closed or reopened.
    bool NoteMarket(const MarketMoment& market, std::int64_t nowMs);

    mutable std::mutex m_mutex;
    const std::int64_t m_limitMs;
    std::int64_t m_startMs = 0;
    std::int64_t m_lastReadMs = 0;
    std::int64_t m_resumeMs = 0; // the last reopening the limit counts from
    PollStatusSnapshot m_status;
};
