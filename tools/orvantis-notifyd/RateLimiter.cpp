// SPDX-License-Identifier: MIT
#include "RateLimiter.h"

namespace {

constexpr std::chrono::hours RECIPIENT_WINDOW{1};
constexpr std::chrono::minutes MINUTE_WINDOW{1};

// The stamps of the window that ends now, the older ones dropped.
std::size_t CountSince(std::deque<RateLimiter::Clock::time_point>& stamps,
                       RateLimiter::Clock::time_point since) {
    while (!stamps.empty() && stamps.front() <= since) {
        stamps.pop_front();
    }
    return stamps.size();
}

} // namespace

RateLimiter::RateLimiter(int perRecipientPerHour, int perClientPerMinute, int perMinute)
    : m_perRecipientPerHour(static_cast<std::size_t>(perRecipientPerHour)),
      m_perClientPerMinute(static_cast<std::size_t>(perClientPerMinute)),
      m_perMinute(static_cast<std::size_t>(perMinute)) {}

RateLimiter::Verdict RateLimiter::Admit(const std::string& client, const std::string& recipient,
                                        Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    ForgetIdle(now);
    if (CountSince(m_service, now - MINUTE_WINDOW) >= m_perMinute) {
        return Verdict::ServiceLimited;
    }
    // Looked up without adding: a refused request leaves no entry behind.
    const auto clientStamps = m_clients.find(client);
    if (clientStamps != m_clients.end() &&
        CountSince(clientStamps->second, now - MINUTE_WINDOW) >= m_perClientPerMinute) {
        return Verdict::ClientLimited;
    }
    const auto recipientStamps = m_recipients.find(recipient);
    if (recipientStamps != m_recipients.end() &&
        CountSince(recipientStamps->second, now - RECIPIENT_WINDOW) >= m_perRecipientPerHour) {
        return Verdict::RecipientLimited;
    }
    m_clients[client].push_back(now);
    m_recipients[recipient].push_back(now);
    m_service.push_back(now);
    return Verdict::Allowed;
}

// Without this, every address ever seen would keep an entry.
void RateLimiter::ForgetIdle(Clock::time_point now) {
    if (now - m_lastSweep < MINUTE_WINDOW) {
        return;
    }
    m_lastSweep = now;
    const auto forget = [](Windows& windows, Clock::time_point since) {
        std::erase_if(windows, [since](const auto& entry) {
            return entry.second.empty() || entry.second.back() <= since;
        });
    };
    forget(m_recipients, now - RECIPIENT_WINDOW);
    forget(m_clients, now - MINUTE_WINDOW);
}
