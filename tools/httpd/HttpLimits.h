// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

// Every bound of one server, so that nothing a client sends grows memory or holds a
// thread beyond them. The defaults suit short form posts.
struct HttpLimits {
    std::size_t maxHead = 8 * 1024;
    std::size_t maxHeaderLines = 64;
    std::size_t maxBody = 64 * 1024;
    // A new connection waits for its first byte without a thread; at most this many (a
    // connection waiting for its next request is not counted).
    std::size_t silentConnections = 1024;
    std::chrono::milliseconds firstByte{2000};
    std::chrono::milliseconds keepAlive{1000};    // for the next request on a connection
    std::chrono::milliseconds wholeRequest{5000}; // from its first byte to its last
    std::chrono::milliseconds answer{3000};       // to write the answer
    std::size_t requestsPerConnection = 100;
    // A request being read or answered has a thread, up to this many; more wait their
    // turn. A slow client holds one only until the time of a whole request is up.
    std::size_t maxThreads = 128;
    // Connections one client address may hold at once, silent, waiting or served (0: no
    // cap); beyond that a new one is answered 429 and closed at once.
    std::size_t connectionsPerClient = 16;
    // Reverse proxies in front (IP addresses): they speak for many clients, so they have
    // no cap, and the last X-Forwarded-For hop they add names the client.
    std::vector<std::string> trustedProxies;
};
