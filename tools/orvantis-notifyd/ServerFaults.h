// SPDX-License-Identifier: MIT
#pragma once

#include "Channel.h"
#include "Delivery.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

// How long the sender waits before trying again.
struct RetryTimes {
    std::chrono::milliseconds first{1000};     // after the first failure; doubles each time
    std::chrono::milliseconds longest{300000}; // the doubling stops here
    std::chrono::milliseconds rescan{2000};    // looks for alerts other copies spooled
};

// The wait after that many failures in a row.
std::chrono::steady_clock::duration Backoff(const RetryTimes& times, int failures);

// Whether alerts go out, as the service's state shows it.
struct SenderState {
    bool delivering = true; // false while a server takes no alert at all
    std::string fault;      // then which, since when and what each answered last
};

// The channels whose server takes no alert at the moment (down, or refusing every alert):
// each is tried again after a back-off that doubles per failure, and the alerts waiting
// for it stay meanwhile. They are counted by channel (its whole URL), not by host: one
// failing topic on a push server says nothing of the other topics there. The log says so
// once per outage, and once when it is over.
class ServerFaults final {
public:
    using Clock = std::chrono::steady_clock;

    explicit ServerFaults(RetryTimes times) : m_times(times) {}

    // After an attempt through the channel: its server works, or is noted as faulty.
    void Note(const Channel& channel, const Delivery& delivery, std::size_t waiting);
    // Until when the channel's server is not tried; nullopt when it may be.
    std::optional<Clock::time_point> Blocked(const Channel& channel, Clock::time_point now) const;
    // Until when the channel of that Channel::Text() is not tried, perhaps past; nullopt
    // when its server is not faulty.
    std::optional<Clock::time_point> FaultyUntil(const std::string& channel) const;
    // How the channel's last attempt ended, as a receipt shows it, while it is faulty.
    std::string Summary(const Channel& channel) const;
    // From any thread.
    SenderState State() const;

private:
    struct Fault {
        int failures = 0;
        Clock::time_point notBefore;
        std::chrono::system_clock::time_point since;
        std::string label; // Channel::Label(), for the log
        std::string detail;
        std::string summary;
    };

    const RetryTimes m_times;
    mutable std::mutex m_mutex;
    std::map<std::string, Fault> m_faults; // by Channel::Text()
};
