// SPDX-License-Identifier: MIT
#include "RateLimiter.h"

namespace {

constexpr std::chrono::hours RECIPIENT_WINDOW{1};
constexpr std::chrono::minutes SERVICE_WINDOW{1};

void DropOlderThan(std::deque<RateLimiter::Clock::time_point>& stamps,
                   RateLimiter::Clock::time_point since) {
    while (!stamps.empty() && stamps.front() <= since) {
        stamps.pop_front();
    }
}

} // namespace

RateLimiter::RateLimiter(int perRecipientPerHour, int perMinute)
    : m_perRecipientPerHour(static_cast<std::size_t>(perRecipientPerHour)),
      m_perMinute(static_cast<std::size_t>(perMinute)) {}

RateLimiter::Verdict RateLimiter::Admit(const std::string& recipient, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    ForgetIdleRecipients(now);
    DropOlderThan(m_service, now - SERVICE_WINDOW);
    if (m_service.size() >= m_perMinute) {
        return Verdict::ServiceLimited;
    }
    std::deque<Clock::time_point>& stamps = m_recipients[recipient];
    DropOlderThan(stamps, now - RECIPIENT_WINDOW);
    if (stamps.size() >= m_perRecipientPerHour) {
        return Verdict::RecipientLimited;
    }
    stamps.push_back(now);
    m_service.push_back(now);
    return Verdict::Allowed;
}

// Without this, every address ever seen under an allowed domain would keep an entry.
void RateLimiter::ForgetIdleRecipients(Clock::time_point now) {
    if (now - m_lastSweep < SERVICE_WINDOW) {
        return;
    }
    m_lastSweep = now;
    std::erase_if(m_recipients, [now](const auto& entry) {
        return entry.second.empty() || entry.second.back() <= now - RECIPIENT_WINDOW;
    });
}
