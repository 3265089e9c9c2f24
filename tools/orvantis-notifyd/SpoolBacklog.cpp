// SPDX-License-Identifier: MIT
#include "SpoolBacklog.h"

#include <algorithm>
#include <iterator>

bool SpoolBacklog::Add(const std::string& file) {
    return m_known.insert(file).second;
}

void SpoolBacklog::Drop(const std::string& file) {
    Resume(file);
    m_known.erase(file);
}

void SpoolBacklog::Defer(const std::string& file, const Later& later) {
    Resume(file);
    if (!m_known.contains(file)) {
        return;
    }
    m_waits[file] = later;
    if (later.until != Clock::time_point::max()) {
        m_timeline.emplace(later.until, file);
    }
    if (!later.channel.empty()) {
        m_parked[later.channel].insert(file);
    }
}

void SpoolBacklog::Resume(const std::string& file) {
    const auto wait = m_waits.find(file);
    if (wait == m_waits.end()) {
        return;
    }
    m_timeline.erase({wait->second.until, file});
    if (const auto parked = m_parked.find(wait->second.channel); parked != m_parked.end()) {
        parked->second.erase(file);
        if (parked->second.empty()) {
            m_parked.erase(parked);
        }
    }
    m_waits.erase(wait);
}

void SpoolBacklog::Release(const std::string& file, std::vector<std::string>& due) {
    Resume(file);
    due.push_back(file);
}

std::vector<std::string> SpoolBacklog::Due(Clock::time_point now, const ServerFaults& faults,
                                           Clock::time_point& next) {
    std::vector<std::string> due;
    while (!m_timeline.empty() && m_timeline.begin()->first <= now) {
        Release(std::string(m_timeline.begin()->second), due);
    }
    if (!m_timeline.empty()) {
        next = std::min(next, m_timeline.begin()->first);
    }
    std::vector<std::string> channels;
    std::ranges::transform(m_parked, std::back_inserter(channels),
                           [](const auto& parked) { return parked.first; });
    for (const std::string& channel : channels) {
        const auto until = faults.FaultyUntil(channel);
        if (!until) {
            // It works again: everything waiting for it goes.
            const std::set<std::string> files = m_parked[channel];
            for (const std::string& file : files) {
                Release(file, due);
            }
        } else if (*until > now) {
            next = std::min(next, *until);
        } else if (!m_probes.contains(channel)) {
            const std::string file = *m_parked[channel].begin();
            m_probes[channel] = file;
            Release(file, due);
        }
    }
    return due;
}

void SpoolBacklog::Ended(const std::string& file) {
    std::erase_if(m_probes, [&file](const auto& probe) { return probe.second == file; });
}
