// SPDX-License-Identifier: MIT
#include "WorkerPool.h"

#include <chrono>

namespace {

constexpr std::chrono::seconds IDLE_LIMIT{10};

} // namespace

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
        for (std::thread& ended : m_ended) {
            ended.join(); // it needs the lock no more
        }
        m_ended.clear();
        m_jobs.push_back(std::move(job));
        if (m_jobs.size() > m_idle && m_threads.size() < m_maxThreads) {
            // The thread takes the lock first, so it finds itself in the list.
            const Threads::iterator self = m_threads.emplace(m_threads.end());
            *self = std::thread([this, self] { Work(self); });
        }
    }
    m_jobReady.notify_one();
    return true;
}

void WorkerPool::Shutdown() {
    Threads threads;
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
        threads.swap(m_threads);
        for (std::thread& ended : m_ended) {
            threads.push_back(std::move(ended));
        }
        m_ended.clear();
    }
    m_jobReady.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void WorkerPool::Work(Threads::iterator self) {
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            ++m_idle;
            m_jobReady.wait_for(lock, IDLE_LIMIT, [this] { return !m_jobs.empty() || m_shutdown; });
            --m_idle;
            if (m_jobs.empty()) {
                if (!m_shutdown) { // idle too long; after a shutdown, Shutdown() joins it
                    m_ended.push_back(std::move(*self));
                    m_threads.erase(self);
                }
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}
