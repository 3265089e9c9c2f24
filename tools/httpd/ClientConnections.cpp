// SPDX-License-Identifier: MIT
#include "ClientConnections.h"

ClientConnections::ClientConnections(std::size_t perClient, std::set<std::string> uncapped)
    : m_perClient(perClient), m_uncapped(std::move(uncapped)) {}

ClientConnections::Admission ClientConnections::Admit(const std::string& address) {
    if (m_perClient == 0 || m_uncapped.contains(address)) {
        return Admission::Admitted;
    }
    std::lock_guard lock(m_mutex);
    Count& count = m_counts[address];
    if (count.open < m_perClient) {
        ++count.open;
        return Admission::Admitted;
    }
    const bool first = !count.refused;
    count.refused = true;
    return first ? Admission::FirstRefused : Admission::Refused;
}

void ClientConnections::Release(const std::string& address) {
    if (m_perClient == 0 || m_uncapped.contains(address)) {
        return;
    }
    std::lock_guard lock(m_mutex);
    const auto count = m_counts.find(address);
    if (count != m_counts.end() && --count->second.open == 0) {
        m_counts.erase(count);
    }
}
