// SPDX-License-Identifier: MIT
#pragma once

#include <signal.h>

#include <functional>

// How a service is told to stop: SIGINT and SIGTERM, blocked from the constructor on in
// the calling thread and in every thread it starts afterwards, so that they are taken by
// one waiting thread and never by a handler on a server thread.
class TerminationSignals final {
public:
    TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // Runs serve on a thread of its own until a stop signal comes, or until serve returns
    // by itself (a server whose socket failed); then calls stop and joins the thread.
    void ServeUntilStopped(const std::function<void()>& serve,
                           const std::function<void()>& stop) const;

private:
    sigset_t m_signals;
};
