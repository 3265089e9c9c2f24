// SPDX-License-Identifier: MIT
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The HTTP server's connection queue. Each connection is served by a thread of its own,
// started when none is free, up to a fixed number: an idle or slow client then holds up
// only its own thread until its time-out, not the others. Beyond that, a fixed number of
// accepted connections wait; when that is full too, the accepting thread waits, so a
// flood of connections waits in the kernel's backlog instead of in our memory.
class BoundedTaskQueue final : public httplib::TaskQueue {
public:
    BoundedTaskQueue(std::size_t maxThreads, std::size_t waiting);
    ~BoundedTaskQueue() override;
    BoundedTaskQueue(const BoundedTaskQueue&) = delete;
    BoundedTaskQueue& operator=(const BoundedTaskQueue&) = delete;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

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
