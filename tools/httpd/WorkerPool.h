// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

// Runs the work that may block (reading a request, a handler's fsync or file read,
// writing its answer) on threads started when none is free, up to a fixed number; a
// thread idle for a while ends, so a burst leaves no crowd of threads behind. Each
// connection has at most one job at a time, so the queue is bounded by the connections
// the server holds; Submit() never waits, as the event loop calls it.
class WorkerPool final {
public:
    explicit WorkerPool(std::size_t maxThreads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // False, with the job not run, once Shutdown() has begun.
    bool Submit(std::function<void()> job);
    // Runs what was submitted, then joins every thread.
    void Shutdown();

private:
    using Threads = std::list<std::thread>;

    void Work(Threads::iterator self);

    const std::size_t m_maxThreads;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::deque<std::function<void()>> m_jobs;
    std::size_t m_idle = 0;
    bool m_shutdown = false;
    Threads m_threads;
    std::vector<std::thread> m_ended; // idle too long, joined by the next Submit()
};
