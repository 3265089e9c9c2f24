// SPDX-License-Identifier: MIT
#include "TerminationSignals.h"

#include <pthread.h>
#include <unistd.h>

#include <thread>

TerminationSignals::TerminationSignals() {
    sigemptyset(&m_signals);
    sigaddset(&m_signals, SIGINT);
    sigaddset(&m_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
}

void TerminationSignals::ServeUntilStopped(const std::function<void()>& serve,
                                           const std::function<void()>& stop) const {
    std::thread server([&serve] {
        serve();
        kill(getpid(), SIGTERM); // wakes the wait below
    });
    int signalNumber = 0;
    sigwait(&m_signals, &signalNumber);
    stop();
    server.join();
}
