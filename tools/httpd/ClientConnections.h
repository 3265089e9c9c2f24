// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

// The connections each client address holds, so that one address cannot take every
// thread and descriptor of the server from the others. Addresses that speak for many
// clients (the trusted proxies) have no cap. Safe from every thread.
class ClientConnections final {
public:
    enum class Admission {
        Admitted,
        Refused,
        FirstRefused, // the first refusal since the address last held no connection
    };

    // perClient 0: no cap.
    ClientConnections(std::size_t perClient, std::set<std::string> uncapped);
    ClientConnections(const ClientConnections&) = delete;
    ClientConnections& operator=(const ClientConnections&) = delete;

    // Counts a new connection of the address, unless it is refused.
    Admission Admit(const std::string& address);
    // An admitted connection ended.
    void Release(const std::string& address);

private:
    struct Count {
        std::size_t open = 0;
        bool refused = false;
    };

    const std::size_t m_perClient;
    const std::set<std::string> m_uncapped;
    std::mutex m_mutex;
    std::unordered_map<std::string, Count> m_counts;
};
