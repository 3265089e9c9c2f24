// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

// How many mails one recipient may get per hour and the whole service may take per
// minute, over sliding windows. Safe to call from every request thread. The counts live
// in memory: each copy of the service keeps its own, and a restart starts them afresh.
class RateLimiter final {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { Allowed, RecipientLimited, ServiceLimited };

    RateLimiter(int perRecipientPerHour, int perMinute);
    RateLimiter(const RateLimiter&) = delete;
    RateLimiter& operator=(const RateLimiter&) = delete;

    // Counts the request in both windows when it is allowed; a refused request counts in
    // neither. recipient is compared as given (pass NormalMailAddress()).
    Verdict Admit(const std::string& recipient, Clock::time_point now);

private:
    void ForgetIdleRecipients(Clock::time_point now);

    const std::size_t m_perRecipientPerHour;
    const std::size_t m_perMinute;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::deque<Clock::time_point>> m_recipients;
    std::deque<Clock::time_point> m_service;
    Clock::time_point m_lastSweep;
};
