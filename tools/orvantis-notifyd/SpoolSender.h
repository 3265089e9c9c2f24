// SPDX-License-Identifier: MIT
#pragma once

#include "AlertProgress.h"
#include "ChannelTurns.h"
#include "Delivery.h"
#include "MailSpool.h"
#include "ServerFaults.h"
#include "SpoolBacklog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

// What the sender asks of the service's settings.
struct SendPolicy {
    // Why a spooled alert must not go out any more (empty: it may); asked before each
    // attempt, since a spooled file may be older than today's settings.
    std::function<std::string(const SpooledMail& mail)> recheck;
    // The route of a recipient; mail alone when unset.
    std::function<Route(const std::string& recipient)> route;
    // Failures of a channel for this long let the next one of the route take over.
    std::chrono::seconds fallbackAfter{300};
    // An alert not delivered within this time is given up; receipts and given-up alerts
    // are removed this long after their last change.
    std::chrono::hours keep{7 * 24};
};

// The threads that empty the spool, oldest alert first. Each alert goes through the
// channels of its route in order: a channel that delivered ends it; one that refused it
// for good hands it to the next at once; one that fails for now is tried again after a
// back-off that doubles per failure, until fallback_after has passed and the next takes
// over (the last one is tried on). An alert every channel failed is set aside in failed/.
// The receipt is written before the sender moves on, so a crash repeats no channel that
// delivered and none that failed. While a server takes no alert at all, the alerts
// waiting for it stay (see ServerFaults). One thread looks at the spool and hands the due
// alerts to a few delivery threads; a channel takes one alert at a time (ChannelTurns),
// so a server that does not answer delays no other channel's alerts. The waiting alerts are
// known in memory (SpoolBacklog); the folder is listed at start and every rescan, for the
// alerts that other copies sharing it stored.
class SpoolSender final {
public:
    // Deliveries through different channels under way at once, at most.
    static constexpr int DELIVERY_THREADS = 4;

    // deliver is called from several threads at once, never twice at once for one channel.
    SpoolSender(MailSpool& spool, Deliverer deliver, RetryTimes times = {}, SendPolicy policy = {});
    ~SpoolSender();
    SpoolSender(const SpoolSender&) = delete;
    SpoolSender& operator=(const SpoolSender&) = delete;

    void Start();
    // Looks at once rather than at the next rescan; an alert this copy stored is tried
    // without it.
    void Wake();
    // Ends the threads, waiting at most grace. False when one is still waiting for a
    // server's answer to a whole alert; the caller then ends the process without it.
    bool Stop(std::chrono::milliseconds grace);
    // From any thread.
    SenderState State() const;

private:
    using Clock = std::chrono::steady_clock;
    using Later = SpoolBacklog::Later;
    // After one step with an alert: on to its next channel, done with it, or wait.
    struct Next {
        enum { Onward, Done, Wait } what;
        Later later{};
    };

    // One spool file for a delivery thread, perhaps handed the turn of a channel.
    struct Job {
        std::string file;
        std::string turnOf; // Channel::Text()
    };

    void Run();
    // Lists the folder for alerts other copies stored, unless it did not change since.
    void ListWhenChanged();
    // A file stored by this copy, or found in the folder.
    void Add(const std::vector<std::string>& files);
    // Hands the due files to the delivery threads; when to look again at the latest.
    Clock::time_point Dispatch();
    void Work();
    // Gives the channel's turn to the next file in line, ahead of the queue.
    void HandTurn(const std::string& channel, const std::optional<std::string>& next);
    void PruneWhenDue();
    // One look at one file; what it waits for, if it waits.
    std::optional<Later> Attempt(const std::string& file, std::size_t waiting);
    std::optional<Later> Proceed(MailSpool::Claim& claim, const Route& route,
                                 AlertProgress& progress, std::size_t waiting);
    // The wait of an alert for a channel whose server takes no alert.
    Later WaitFor(const Channel& channel, const Route& route, std::size_t index,
                  const AlertProgress& progress) const;
    Next Settle(MailSpool::Claim& claim, const Route& route, AlertProgress& progress,
                std::size_t index, const Delivery& delivery);
    // The channel failed for fallback_after: the next one takes over.
    void FallBack(const MailSpool::Claim& claim, const Route& route, AlertProgress& progress,
                  std::size_t index, const std::string& summary);
    void GiveUp(MailSpool::Claim& claim, AlertProgress& progress, const std::string& why);
    void Keep(const SpooledMail& mail, const AlertProgress& progress);
    void Sleep(Clock::duration duration);

    MailSpool& m_spool;
    Deliverer m_deliver;
    RetryTimes m_times;
    SendPolicy m_policy;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;     // guards what follows up to m_thread
    std::condition_variable m_wake; // the looking thread: new alerts, ended jobs, the stop
    std::condition_variable m_work; // the delivery threads: new jobs, the stop
    bool m_woken = false;
    bool m_finished = false;
    std::deque<Job> m_jobs;
    std::set<std::string> m_inFlight;               // files queued or in delivery
    std::map<std::string, std::string> m_lateTurns; // file in flight: the turn it was handed
    SpoolBacklog m_backlog;
    std::thread m_thread;
    std::vector<std::thread> m_workers;
    ServerFaults m_faults;
    ChannelTurns m_turns;
    // Only the looking thread touches these.
    Clock::time_point m_nextPrune{};
    Clock::time_point m_lastScan{};
    Clock::time_point m_nextList{};
    std::chrono::nanoseconds m_listedChange{-1}; // the folder's time of change then
};
