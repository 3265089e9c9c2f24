// SPDX-License-Identifier: MIT
#pragma once

#include "Delivery.h"
#include "MailSpool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// How long the sender waits before trying again.
struct RetryTimes {
    std::chrono::milliseconds first{1000};     // after the first failure; doubles each time
    std::chrono::milliseconds longest{300000}; // the doubling stops here
    std::chrono::milliseconds rescan{2000};    // looks for mails other copies spooled
};

// Whether mails go out, as the service's state shows it.
struct SenderState {
    bool delivering = true;                      // false while the relay takes no mail at all
    std::string fault;                           // then what it answered last
    std::chrono::system_clock::time_point since; // and since when it takes none
};

// The thread that empties the spool: oldest mail first, one at a time at the relay's
// pace. A mail the relay accepted is deleted; one it could not take now is tried again
// after a back-off that doubles per failure; one it refused for good is set aside. While
// the relay takes no mail at all (down, or refusing the session) every mail stays and the
// relay as a whole is tried again after the same back-off; the log says so once.
class SpoolSender final {
public:
    // Why a spooled mail must not go out any more (empty: it may); asked before each
    // attempt, since a spooled file may be older than today's settings.
    using Recheck = std::function<std::string(const SpooledMail& mail)>;

    SpoolSender(MailSpool& spool, Deliverer deliver, RetryTimes times = {},
                Recheck recheck = nullptr);
    ~SpoolSender();
    SpoolSender(const SpoolSender&) = delete;
    SpoolSender& operator=(const SpoolSender&) = delete;

    void Start();
    // A mail was stored: look at once rather than at the next rescan.
    void Wake();
    // Ends the thread, waiting at most grace. False when it is still waiting for the
    // relay's answer to a whole message; the caller then ends the process without it.
    bool Stop(std::chrono::milliseconds grace);
    // From any thread.
    SenderState State() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Retry {
        int failures = 0;
        Clock::time_point notBefore;
    };

    void Run();
    // One attempt at one file; nullopt when it never reached the relay (another copy
    // has the file, it is no mail, or it may no longer go out).
    std::optional<Delivery> Send(const std::string& file);
    // Tells the log and the state how the relay answered.
    void NoteRelay(const Delivery& delivery, std::size_t waiting);
    void Sleep(Clock::duration duration);
    Clock::duration Backoff(int failures) const;

    MailSpool& m_spool;
    Deliverer m_deliver;
    RetryTimes m_times;
    Recheck m_recheck;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_woken = false;
    bool m_finished = false;
    SenderState m_state; // under m_mutex
    std::thread m_thread;
    // Only the sender thread touches these.
    std::map<std::string, Retry> m_retries;
    int m_relayFailures = 0;
    Clock::time_point m_relayNotBefore;
};
