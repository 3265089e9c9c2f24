// SPDX-License-Identifier: MIT
#include "ChannelTurns.h"

bool ChannelTurns::Take(const std::string& channel, const std::string& file) {
    std::lock_guard lock(m_mutex);
    if (m_busy.insert(channel).second) {
        return true;
    }
    m_waiting[channel].insert(file);
    return false;
}

std::optional<std::string> ChannelTurns::Free(const std::string& channel) {
    std::lock_guard lock(m_mutex);
    m_busy.erase(channel);
    return Next(channel);
}

std::optional<std::string> ChannelTurns::PassOn(const std::string& channel) {
    std::lock_guard lock(m_mutex);
    return m_busy.contains(channel) ? std::nullopt : Next(channel);
}

std::optional<std::string> ChannelTurns::Next(const std::string& channel) {
    const auto line = m_waiting.find(channel);
    if (line == m_waiting.end()) {
        return std::nullopt;
    }
    std::string file = std::move(line->second.extract(line->second.begin()).value());
    if (line->second.empty()) {
        m_waiting.erase(line);
    }
    return file;
}
