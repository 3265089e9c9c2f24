// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartPollThread.h"

#include "core/acquisition/UnreadableChart.h"
#include "core/common/Globals.h"
#include "platform/common/WallClock.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// A wait on a condition variable that Stop() cuts short.
class CStoppableSleeper final : public ISleeper {
public:
    explicit CStoppableSleeper(std::atomic<bool>& stop) : m_stop(stop) {}

    bool SleepMs(int ms) override {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return m_stop.load(); });
    }

    void Wake() {
        // Taking the lock orders the stop flag before a waiter's check of it.
        { std::lock_guard lock(m_mutex); }
        m_wake.notify_all();
    }

private:
    std::atomic<bool>& m_stop;
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

// What one poll came to: a price taken by the tracker, else the download's failure, else
// what the reader made of the bytes.
PollOutcome OutcomeOf(bool accepted, const DownloadReport& report, const ChartReadResult& reading) {
    if (accepted) {
        return {};
    }
    if (report.failure != DownloadFailure::None) {
        return OutcomeOfDownload(report);
    }
    return OutcomeOfUnreadChart(reading.status);
}

// Tells the user of a change, and writes the start and the end of the stale state (not
// every poll of it) to standard error.
void TellChange(const ChartPollHooks& hooks, const CPollStatus& status, CPollStatus::Change change,
                const std::string& keptAt) {
    const PollStatusSnapshot snapshot = status.Snapshot();
    if (change == CPollStatus::Change::Began) {
        const std::string line = StaleTipLine(snapshot);
        std::fprintf(stderr, "orvantis: %s%s%s\n", line.c_str(),
                     keptAt.empty() ? "" : "; the chart is kept in ", keptAt.c_str());
    } else if (snapshot.closed && change != CPollStatus::Change::None &&
               change != CPollStatus::Change::Reason) {
        std::fprintf(stderr, "orvantis: %s\n", ClosedTipLine(snapshot).c_str());
    } else if (change == CPollStatus::Change::Ended) {
        std::fprintf(stderr, "orvantis: a price is read again\n");
    } else if (change == CPollStatus::Change::Market) {
        std::fprintf(stderr, "orvantis: the market is open\n");
    }
    if (change != CPollStatus::Change::None && hooks.statusChanged) {
        hooks.statusChanged(snapshot);
    }
}

// The market now, on the wall clock, and the wait for its reopening.
MarketMoment MarketNow(const ChartPollHooks& hooks) {
    if (!hooks.market) {
        return {};
    }
    const WallClock::TimePoint now = WallClock::Now();
    const MarketState state = hooks.market(std::chrono::floor<std::chrono::seconds>(now));
    MarketMoment moment{state.closed, 0, 0};
    if (state.closed && state.reopens) {
        moment.reopens = static_cast<std::time_t>(state.reopens->time_since_epoch().count());
        moment.msToReopen =
            std::chrono::duration_cast<std::chrono::milliseconds>(*state.reopens - now).count();
    }
    return moment;
}

// Keeps the outcome and tells the user of a change.
void NoteOutcome(const ChartPollHooks& hooks, CPollStatus& status, const PollOutcome& outcome,
                 const CByteBuffer& chart, std::int64_t nowMs, bool quickPollsOver) {
    std::string keptAt;
    if (IsUnreadableChart(outcome.result) && hooks.keepUnreadable) {
        keptAt = hooks.keepUnreadable(chart);
    }
    TellChange(hooks, status, status.Record(outcome, nowMs, quickPollsOver, MarketNow(hooks)),
               keptAt);
}

} // namespace

std::int64_t ISleeper::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ChartPollHooks ChartSourceHooks(const HttpOptions& limits) {
    ChartPollHooks hooks;
    hooks.download = [limits](CByteBuffer& buffer, const std::atomic<bool>& stop,
                              const std::function<void()>& tick) {
        HttpOptions options = limits;
        options.stop = &stop;
        options.tick = tick;
        DownloadReport report;
        DownloadToBuffer(buffer, ChartUrl(), options, &report);
        return report;
    };
    hooks.read = ReadChartPriceWithStatus;
    hooks.keepUnreadable = KeepUnreadableChart;
    return hooks;
}

void ChartPollThread(const ChartPollHooks& hooks, ISleeper& sleeper, const std::atomic<bool>& stop,
                     CPollStatus* status) {
    if (g_pMainDlg.load() == nullptr) {
        return;
    }
    int quickDelayMs = POLL_QUICK_DELAY_START_MS;
    int quickWaits = 0;
    int waitingFlag = 1;
    if (status != nullptr) {
        status->Start(sleeper.NowMs());
    }
    do {
        if (stop.load()) {
            return;
        }
        // A download that takes long does not hold the stale state off.
        const std::function<void()> tick = [&] {
            if (status != nullptr && !stop.load()) {
                TellChange(hooks, *status,
                           status->Overdue(sleeper.NowMs(), quickWaits >= POLL_QUICK_WAITS_MAX,
                                           MarketNow(hooks)),
                           {});
            }
        };
        CByteBuffer buffer;
        const DownloadReport report = hooks.download(buffer, stop, tick);
        // Whatever the download left is read (an empty buffer gives no text); a stop during
        // the download skips the tracker.
        const ChartReadResult reading = hooks.read(buffer.Data(), buffer.Size());
        bool accepted = false;
        if (reading.status == ChartReadStatus::Ok && !stop.load()) {
            accepted = hooks.track(reading.text, waitingFlag);
        }
        if (status != nullptr && !stop.load()) {
            NoteOutcome(hooks, *status, OutcomeOf(accepted, report, reading), buffer,
                        sleeper.NowMs(), quickWaits >= POLL_QUICK_WAITS_MAX);
            if (hooks.polled) {
                hooks.polled(accepted, reading.text, status->Snapshot());
            }
        }
        int waitMs = status != nullptr ? status->RegularIntervalMs() : POLL_INTERVAL_MS;
        // The count of quick waits is never reset: after ten of them the schedule stays slow.
        if (waitingFlag != 0 && quickWaits < POLL_QUICK_WAITS_MAX) {
            ++quickWaits;
            quickDelayMs += POLL_QUICK_DELAY_STEP_MS;
            waitMs = quickDelayMs;
        }
        if (!sleeper.SleepMs(waitMs)) {
            return;
        }
    } while (g_pMainDlg.load() != nullptr);
}

struct CChartPollThread::Impl {
    Impl(ChartPollHooks pollHooks, std::chrono::seconds staleLimit)
        : hooks(std::move(pollHooks)), status(staleLimit), sleeper(stop) {}

    ChartPollHooks hooks;
    CPollStatus status;
    std::atomic<bool> stop{false};
    CStoppableSleeper sleeper;
    std::thread thread;
};

CChartPollThread::CChartPollThread(ChartPollHooks hooks, std::chrono::seconds staleLimit)
    : m_impl(std::make_unique<Impl>(std::move(hooks), staleLimit)) {}

CChartPollThread::~CChartPollThread() {
    Stop();
}

void CChartPollThread::Start() {
    if (!m_impl || m_impl->thread.joinable()) {
        return;
    }
    m_impl->stop.store(false);
    Impl* impl = m_impl.get();
    m_impl->thread = std::thread(
        [impl] { ChartPollThread(impl->hooks, impl->sleeper, impl->stop, &impl->status); });
}

void CChartPollThread::RequestStop() {
    if (m_impl) {
        m_impl->stop.store(true);
        m_impl->sleeper.Wake();
    }
}

void CChartPollThread::Stop() {
    RequestStop();
    if (m_impl && m_impl->thread.joinable()) {
        m_impl->thread.join();
    }
}
