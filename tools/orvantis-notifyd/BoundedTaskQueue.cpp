// SPDX-License-Identifier: MIT
#include "BoundedTaskQueue.h"

BoundedTaskQueue::BoundedTaskQueue(std::size_t maxThreads, std::size_t waiting)
    : m_maxThreads(maxThreads), m_capacity(waiting) {}

BoundedTaskQueue::~BoundedTaskQueue() {
    shutdown();
}

void BoundedTaskQueue::enqueue(std::function<void()> fn) {
    {
        std::unique_lock lock(m_mutex);
        m_roomReady.wait(lock, [this] { return m_jobs.size() < m_capacity || m_shutdown; });
        m_jobs.push_back(std::move(fn));
        if (m_jobs.size() > m_idle && m_threads.size() < m_maxThreads) {
            m_threads.emplace_back([this] { Work(); });
        }
    }
    m_jobReady.notify_one();
}

void BoundedTaskQueue::shutdown() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
        threads.swap(m_threads);
    }
    m_jobReady.notify_all();
    m_roomReady.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// Connections accepted before the shutdown are still served (and closed) by the library.
void BoundedTaskQueue::Work() {
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            ++m_idle;
            m_jobReady.wait(lock, [this] { return !m_jobs.empty() || m_shutdown; });
            --m_idle;
            if (m_jobs.empty()) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        m_roomReady.notify_one();
        job();
    }
}
