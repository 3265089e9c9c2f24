// SPDX-License-Identifier: MIT
#pragma once

#include "ChartdConfig.h"
#include "StopSignal.h"
#include "feed/QuoteFeed.h"
#include "feed/QuoteGate.h"
#include "publish/ChartBoard.h"
#include "publish/ChartPublisher.h"
#include "publish/DayHistory.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// The publisher's sampling side: asks the feed once every feed interval, lets the quote
// gate judge each quote, and for an accepted one records it in the day, saves the day in
// the state folder, and draws, shows and publishes the chart. It also notices when the
// price turns stale and live again, and says so in the log.
class QuoteLoop final {
public:
    using Clock = std::function<std::int64_t()>; // seconds since 1970
    static constexpr const char* STATE_FILE = "day.state";

    QuoteLoop(const ChartdConfig& config, QuoteFeed& feed, ChartBoard& board, Clock clock);
    ~QuoteLoop();
    QuoteLoop(const QuoteLoop&) = delete;
    QuoteLoop& operator=(const QuoteLoop&) = delete;

    // Takes the day back from the state folder and, while its last price is still
    // live, shows and publishes its chart at once. First removes the temporary files of
    // writes that a kill cut short, unless another copy writes the state folder.
    void Restore();
    // One sample of the feed.
    void Sample();
    // Logs the start and the end of the stale state, and withdraws the published file
    // when the price goes stale.
    void CheckStale();
    // Restore(), then a sample every feed interval until the stop, with the stale state
    // watched on a thread of its own meanwhile; the published file is withdrawn at the end.
    void Run(const StopSignal& stop);

private:
    void RemoveLeftovers();
    // CheckStale() with the lock held.
    void NoteStale();
    void WatchStale(const StopSignal& stop);
    void Accept(double quote, std::int64_t now);
    // A line for the log; the same line again is only counted until another one comes
    // (an empty line just ends the count).
    void Report(const std::string& line);
    std::string StatePath() const;

    const ChartdConfig& m_config;
    QuoteFeed& m_feed;
    ChartBoard& m_board;
    Clock m_clock;
    QuoteGate m_gate;
    DayHistory m_day;
    ChartPublisher m_publisher;
    bool m_live = false;
    std::string m_lastReport;
    int m_repeats = 0;
    std::mutex m_mutex; // between the sample and the stale watch: the log, the live state
    int m_lockFd = -1;  // the state folder's lock, held from the first Restore()
};
