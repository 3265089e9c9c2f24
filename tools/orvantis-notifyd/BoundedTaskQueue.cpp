// SPDX-License-Identifier: MIT
#include "BoundedTaskQueue.h"

BoundedTaskQueue::BoundedTaskQueue(std::size_t threads, std::size_t waiting) : m_capacity(waiting) {
    for (std::size_t i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { Work(); });
    }
}

BoundedTaskQueue::~BoundedTaskQueue() {
    shutdown();
}

void BoundedTaskQueue::enqueue(std::function<void()> fn) {
    {
        std::unique_lock lock(m_mutex);
        m_roomReady.wait(lock, [this] { return m_jobs.size() < m_capacity || m_shutdown; });
        m_jobs.push_back(std::move(fn));
    }
    m_jobReady.notify_one();
}

void BoundedTaskQueue::shutdown() {
    {
        std::lock_guard lock(m_mutex);
        if (m_shutdown && m_threads.empty()) {
            return;
        }
        m_shutdown = true;
    }
    m_jobReady.notify_all();
    m_roomReady.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    m_threads.clear();
}

// Connections accepted before the shutdown are still served (and closed) by the library.
void BoundedTaskQueue::Work() {
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [this] { return !m_jobs.empty() || m_shutdown; });
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
