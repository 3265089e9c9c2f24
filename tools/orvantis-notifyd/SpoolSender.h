// SPDX-License-Identifier: MIT
#pragma once

#include "Delivery.h"
#include "MailSpool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// How long the sender waits before trying again.
struct RetryTimes {
    std::chrono::milliseconds first{1000};     // after the first failure; doubles each time
    std::chrono::milliseconds longest{300000}; // the doubling stops here
    std::chrono::milliseconds rescan{2000};    // looks for mails other copies spooled
};

// The thread that empties the spool: oldest mail first, one at a time at the relay's
// pace. A mail the relay accepted is deleted; one it could not take now is tried again
// after a back-off that doubles per failure (for that mail, and for the relay as a whole
// so that a relay that is down is not hammered); one it refused for good is set aside.
class SpoolSender final {
public:
    SpoolSender(MailSpool& spool, Deliverer deliver, RetryTimes times = {});
    ~SpoolSender();
    SpoolSender(const SpoolSender&) = delete;
    SpoolSender& operator=(const SpoolSender&) = delete;

    void Start();
    // A mail was stored: look at once rather than at the next rescan.
    void Wake();
    // Ends the thread, waiting at most grace. False when it is still waiting for the
    // relay's answer to a whole message; the caller then ends the process without it.
    bool Stop(std::chrono::milliseconds grace);

private:
    using Clock = std::chrono::steady_clock;
    struct Retry {
        int failures = 0;
        Clock::time_point notBefore;
    };

    void Run();
    // One attempt; false when the relay could not take the mail now.
    bool Send(const std::string& file);
    void Sleep(Clock::duration duration);
    Clock::duration Backoff(int failures) const;

    MailSpool& m_spool;
    Deliverer m_deliver;
    RetryTimes m_times;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_finished = false;
    std::thread m_thread;
    // Only the sender thread touches these.
    std::map<std::string, Retry> m_retries;
    int m_relayFailures = 0;
    Clock::time_point m_relayNotBefore;
};
