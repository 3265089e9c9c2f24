// SPDX-License-Identifier: MIT
#include "TerminationSignals.h"

#include <pthread.h>

#include <atomic>
#include <thread>

TerminationSignals::TerminationSignals() {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
}

void TerminationSignals::ServeUntilStopped(const std::function<void()>& serve,
                                           const std::function<void()>& stop) const {
    const pthread_t waiter = pthread_self();
    std::atomic<bool> stopping{false};
    std::thread server([&serve, &stopping, waiter] {
        serve();
        // Only to the waiting thread, and only when nobody asked for the stop: a signal
        // left pending for the whole process could meet a thread that does not block it.
        if (!stopping.load()) {
            pthread_kill(waiter, SIGTERM);
        }
    });
    int signalNumber = 0;
    sigwait(&m_signals, &signalNumber);
    stopping.store(true);
    stop();
    server.join();
}
