// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>

// Every bound of one server, so that nothing a client sends grows memory or holds a
// thread beyond them. The defaults suit short form posts.
struct HttpLimits {
    std::size_t maxHead = 8 * 1024;
    std::size_t maxHeaderLines = 64;
    std::size_t maxBody = 64 * 1024;
    // A new connection waits for its first byte without a thread; at most this many.
    std::size_t silentConnections = 1024;
    std::chrono::milliseconds firstByte{2000};
    std::chrono::milliseconds keepAlive{1000};    // for the next request on a connection
    std::chrono::milliseconds wholeRequest{5000}; // from its first byte to its last
    std::chrono::milliseconds answer{3000};       // to write the answer
    std::size_t requestsPerConnection = 100;
    // Connections that are sending get a thread each, up to this many; more wait.
    std::size_t maxThreads = 128;
    std::size_t waitingConnections = 1024;
};
