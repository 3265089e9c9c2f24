// SPDX-License-Identifier: MIT
#pragma once

#include "ServerFaults.h"

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The alerts waiting in the spool that the sender knows of, and what each waits for. It is
// read from the folder once at start, learns of each stored alert and forgets a delivered
// one, so neither a new alert nor a retry round looks at every waiting file. An alert whose
// server takes no alert at all waits for that server, not for a time of its own: at the end
// of each back-off step one of them (the oldest) tries the server, and once it works again
// they all go. Not thread-safe: the sender guards it.
class SpoolBacklog final {
public:
    using Clock = std::chrono::steady_clock;

    // What an alert waits for before its next attempt.
    struct Later {
        Clock::time_point until = Clock::time_point::max();
        std::string channel; // Channel::Text() of a server that takes no alert; may be empty
    };

    // True for a file it did not know: it is to be tried now.
    bool Add(const std::string& file);
    // Delivered, set aside or gone.
    void Drop(const std::string& file);
    void Defer(const std::string& file, const Later& later);
    // The file is tried before its wait ended (it was handed a channel's turn).
    void Resume(const std::string& file);
    // The files to try now, oldest first within each kind: their time came, their server
    // works again, or they try it at the end of a back-off step. next: when to ask again
    // at the latest, lowered only.
    std::vector<std::string> Due(Clock::time_point now, const ServerFaults& faults,
                                 Clock::time_point& next);
    // An attempt of the file ended.
    void Ended(const std::string& file);
    std::size_t Size() const { return m_known.size(); }

private:
    void Release(const std::string& file, std::vector<std::string>& due);

    std::set<std::string> m_known; // waiting or in delivery
    std::set<std::pair<Clock::time_point, std::string>> m_timeline;
    std::map<std::string, Later> m_waits;                  // by file: m_timeline and m_parked
    std::map<std::string, std::set<std::string>> m_parked; // by channel: the files waiting
    std::map<std::string, std::string> m_probes;           // by channel: the file trying it
};
