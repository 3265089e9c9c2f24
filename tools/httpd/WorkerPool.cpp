// SPDX-License-Identifier: MIT
#include "WorkerPool.h"

WorkerPool::WorkerPool(std::size_t maxThreads) : m_maxThreads(maxThreads) {}

WorkerPool::~WorkerPool() {
    Shutdown();
}

bool WorkerPool::Submit(std::function<void()> job) {
    {
        std::lock_guard lock(m_mutex);
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

void WorkerPool::Shutdown() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
        threads.swap(m_threads);
    }
    m_jobReady.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void WorkerPool::Work() {
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
        job();
    }
}
