// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs each accepted connection on a thread of its own, started when none is free, up to
// a fixed number: an idle or slow client then holds up only its own thread until its
// time-out, not the others. Beyond that, a fixed number of connections wait; when that is
// full too, Submit() waits, so a flood waits in the kernel's backlog, not in our memory.
class ConnectionPool final {
public:
    ConnectionPool(std::size_t maxThreads, std::size_t waiting);
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // False, with the job not run, once Shutdown() has begun.
    bool Submit(std::function<void()> job);
    // Runs what was submitted, then joins every thread.
    void Shutdown();

private:
    void Work();

    const std::size_t m_maxThreads;
    const std::size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_roomReady;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
    std::vector<std::thread> m_threads;
};
