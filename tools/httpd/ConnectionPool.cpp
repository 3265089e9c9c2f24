// SPDX-License-Identifier: MIT
#include "ConnectionPool.h"

ConnectionPool::ConnectionPool(std::size_t maxThreads, std::size_t waiting)
    : m_maxThreads(maxThreads), m_capacity(waiting) {}

ConnectionPool::~ConnectionPool() {
    Shutdown();
}

bool ConnectionPool::Submit(std::function<void()> job) {
    {
        std::unique_lock lock(m_mutex);
        m_roomReady.wait(lock, [this] { return m_jobs.size() < m_capacity || m_shutdown; });
        if (m_shutdown) {
            return false;
        }
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() > m_idle && m_threads.size() < m_maxThreads) {
            m_threads.emplace_back([this] { Work(); });
        }
    }
    m_jobReady.notify_one();
    return true;
}

void ConnectionPool::Shutdown() {
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

void ConnectionPool::Work() {
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
