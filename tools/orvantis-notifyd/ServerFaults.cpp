// SPDX-License-Identifier: MIT
#include "ServerFaults.h"

#include "httpd/ServiceLog.h"

#include <algorithm>

namespace {

long long Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::seconds>(duration).count();
}

// The mail relay keeps the words its operators know from before.
std::string TakesNothing(const std::string& label) {
    return label == "mail" ? "the relay takes no mail" : label + " takes no alerts";
}

std::string TakesAgain(const std::string& label) {
    return label == "mail" ? "the relay takes mails again" : label + " takes alerts again";
}

} // namespace

std::chrono::steady_clock::duration Backoff(const RetryTimes& times, int failures) {
    std::chrono::steady_clock::duration delay = times.first;
    for (int i = 1; i < failures && delay < times.longest; ++i) {
        delay *= 2;
    }
    return std::min<std::chrono::steady_clock::duration>(delay, times.longest);
}

void ServerFaults::Note(const Channel& channel, const Delivery& delivery, std::size_t waiting) {
    const std::string label = channel.Label();
    std::lock_guard lock(m_mutex);
    const auto known = m_faults.find(channel.Text());
    if (delivery.outcome != Delivery::Outcome::ServerFault) {
        if (known != m_faults.end()) {
            LogLine(TakesAgain(label) + ", after " + std::to_string(known->second.failures) +
                    " failed attempts");
            m_faults.erase(known);
        }
        return;
    }
    Fault& fault = m_faults[channel.Text()];
    if (++fault.failures == 1) {
        fault.label = label;
        fault.since = std::chrono::system_clock::now();
        LogLine("ALERT: " + TakesNothing(label) + ": " + delivery.detail + "; alerts waiting: " +
                std::to_string(waiting) + ", all kept in the spool and tried again, first in " +
                std::to_string(Seconds(Backoff(m_times, 1))) + " s");
    }
    fault.notBefore = Clock::now() + Backoff(m_times, fault.failures);
    fault.detail = delivery.detail;
    fault.summary = delivery.summary;
}

std::optional<ServerFaults::Clock::time_point> ServerFaults::Blocked(const Channel& channel,
                                                                     Clock::time_point now) const {
    std::lock_guard lock(m_mutex);
    const auto fault = m_faults.find(channel.Text());
    if (fault == m_faults.end() || fault->second.notBefore <= now) {
        return std::nullopt;
    }
    return fault->second.notBefore;
}

std::optional<ServerFaults::Clock::time_point>
ServerFaults::FaultyUntil(const std::string& channel) const {
    std::lock_guard lock(m_mutex);
    const auto fault = m_faults.find(channel);
    return fault == m_faults.end() ? std::nullopt : std::optional(fault->second.notBefore);
}

std::string ServerFaults::Summary(const Channel& channel) const {
    std::lock_guard lock(m_mutex);
    const auto fault = m_faults.find(channel.Text());
    return fault == m_faults.end() ? std::string() : fault->second.summary;
}

SenderState ServerFaults::State() const {
    std::lock_guard lock(m_mutex);
    SenderState state;
    for (const auto& [text, fault] : m_faults) {
        state.delivering = false;
        state.fault += (state.fault.empty() ? "" : "; ") + TakesNothing(fault.label) + " since " +
                       UtcTime(fault.since) + ": " + fault.detail;
    }
    return state;
}
