// SPDX-License-Identifier: MIT
#pragma once

#include "core/acquisition/ChartDownload.h"
#include "core/acquisition/ChartReader.h"
#include "core/acquisition/PollStatus.h"
#include "core/common/ByteBuffer.h"
#include "core/market/MarketHours.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// The waits of the schedule: quick waits of 3000, 4000 ... 12000 ms while no price has been
// accepted (at most ten of them), every other wait two minutes.
constexpr int POLL_QUICK_DELAY_START_MS = 2000; // raised by the step before each quick wait
constexpr int POLL_QUICK_DELAY_STEP_MS = 1000;
constexpr int POLL_QUICK_WAITS_MAX = 10;
constexpr int POLL_INTERVAL_MS = 120000;

// How the polling loop waits between polls, and its clock.
class ISleeper {
public:
    virtual ~ISleeper() = default;
    // Waits ms milliseconds; false when a stop was requested (before or during the wait).
    virtual bool SleepMs(int ms) = 0;
    // The loop's clock in milliseconds, from any fixed start: the stale state is measured
    // on it.
    virtual std::int64_t NowMs();
};

// What one poll does, replaceable for tests.
struct ChartPollHooks {
    // Fetches the chart into the (empty) buffer and tells why no body came, if none did;
    // should give up soon once stop is true, and call tick at least once a second while
    // it runs.
    std::function<DownloadReport(CByteBuffer& buffer, const std::atomic<bool>& stop,
                                 const std::function<void()>& tick)>
        download;
    // Reads the price text out of the chart bytes, or tells which step failed.
    std::function<ChartReadResult(const std::uint8_t* bytes, int size)> read;
    // Judges a price text; true, with waitingFlag set to 0, when it accepts the price.
    std::function<bool(const std::string& priceText, int& waitingFlag)> track;
    // Optional: keeps a chart that arrived whole but held no price; the path it is kept
    // at, empty when it was not kept.
    std::function<std::string(const CByteBuffer& chart)> keepUnreadable;
    // Optional: handed what the user is shown of the polls, on the polling thread, when
    // it changed (see CPollStatus::Change); must not block.
    std::function<void(const PollStatusSnapshot& status)> statusChanged;
    // Optional: handed every poll once it is judged, on the polling thread: whether the
    // tracker took the price text and the status after it (the price history keeps it).
    std::function<void(bool accepted, const std::string& priceText,
                       const PollStatusSnapshot& status)>
        polled;
    // Optional: the market at a wall-clock instant; without it the market is always open.
    std::function<MarketState(std::chrono::sys_seconds now)> market;
};

// The download, the reading and the keeping of the program's own chart: DownloadToBuffer
// of ChartUrl() with these limits, ReadChartPriceWithStatus and KeepUnreadableChart. The
// caller adds what judges the price.
ChartPollHooks ChartSourceHooks(const HttpOptions& limits = {});

// The thread procedure: polls on the schedule while g_pMainDlg is set, until stop is true
// or the sleeper reports a stop. The first poll is at once. With a status, the outcome of
// every poll goes there, and the regular wait is the status's.
void ChartPollThread(const ChartPollHooks& hooks, ISleeper& sleeper, const std::atomic<bool>& stop,
                     CPollStatus* status = nullptr);

// The worker that downloads the chart on its schedule, reads the price and hands it to
// the tracker. Started once by the main window; Stop() ends it within about a second,
// also in the middle of a download from a server that never answers.
class CChartPollThread final {
public:
    explicit CChartPollThread(
        ChartPollHooks hooks,
        std::chrono::seconds staleLimit = std::chrono::seconds(STALE_SECONDS_DEFAULT));
    ~CChartPollThread(); // stops and joins
    CChartPollThread(const CChartPollThread&) = delete;
    CChartPollThread& operator=(const CChartPollThread&) = delete;

    // Starts the thread unless it runs already. Start and Stop belong to one thread.
    void Start();
    // Asks the thread to stop, cutting short its wait and its download.
    void RequestStop();
    // Asks the thread to stop and joins it.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
