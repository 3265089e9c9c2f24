// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

// How many mails one recipient may get per hour, and how many requests one client and the
// whole service may place per minute, over sliding windows. Safe to call from every
// request thread. The counts live in memory: each copy of the service keeps its own, and
// a restart starts them afresh.
class RateLimiter final {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { Allowed, RecipientLimited, ClientLimited, ServiceLimited };

    RateLimiter(int perRecipientPerHour, int perClientPerMinute, int perMinute);
    RateLimiter(const RateLimiter&) = delete;
    RateLimiter& operator=(const RateLimiter&) = delete;

    // Counts the request in every window when it is allowed; a refused request counts in
    // none. Recipients and clients are compared as given (pass CanonicalMailbox() and
    // the client's address).
    Verdict Admit(const std::string& client, const std::string& recipient, Clock::time_point now);

private:
    using Stamps = std::deque<Clock::time_point>;
    using Windows = std::unordered_map<std::string, Stamps>;

    void ForgetIdle(Clock::time_point now);

    const std::size_t m_perRecipientPerHour;
    const std::size_t m_perClientPerMinute;
    const std::size_t m_perMinute;
    std::mutex m_mutex;
    Windows m_recipients;
    Windows m_clients;
    Stamps m_service;
    Clock::time_point m_lastSweep;
};
