// SPDX-License-Identifier: MIT
#pragma once

#include "HttpConnection.h"
#include "HttpLimits.h"
#include "WorkerPool.h"

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

// Every connection that waits, for its first request or for its next one, waits here, in
// one Asio event loop on the thread of Run(), until a deadline. One that speaks goes to a
// worker for its request (and those it sent right after), then comes back. So a crowd of
// idle or keep-alive clients costs a descriptor and a few hundred bytes each, never a
// thread, and a newcomer is accepted while they wait.
class ConnectionLoop final {
public:
    // Takes an accepted connection, or refuses and closes it (false).
    using Admit = std::function<bool(int fd, const std::string& peer)>;
    // On a worker: serves what the client sent; true when the connection is to wait for
    // another request. served counts the connection's requests.
    using Serve = std::function<bool(HttpConnection& connection, const std::string& peer,
                                     std::size_t& served)>;
    // An admitted connection ended (and is closed).
    using Closed = std::function<void(const std::string& peer)>;

    ConnectionLoop(const HttpLimits& limits, const std::atomic<bool>& stop, Admit admit,
                   Serve serve, Closed closed);
    ~ConnectionLoop();
    ConnectionLoop(const ConnectionLoop&) = delete;
    ConnectionLoop& operator=(const ConnectionLoop&) = delete;

    // Accepts on listenFd (which stays open) and serves until Stop(), then closes every
    // connection; false when it ended because the listening socket failed.
    bool Run(int listenFd);
    // From any thread, also before Run().
    void Stop();

private:
    struct Link;

    void WaitForClients();
    void AcceptSome();
    void AwaitClients();
    void Wait(const std::shared_ptr<Link>& link, HttpClock::time_point deadline);
    void Spoke(const std::shared_ptr<Link>& link);
    void Work(std::shared_ptr<Link> link);
    void CloseAll();

    const HttpLimits& m_limits;
    const std::atomic<bool>& m_stop;
    Admit m_admit;
    Serve m_serve;
    Closed m_closed;
    int m_listenFd = -1;
    bool m_failed = false;
    bool m_closing = false; // Run() ends: nothing waits again
    bool m_waitingForClients = false;
    std::size_t m_silent = 0;            // accepted, no byte yet
    std::unordered_set<Link*> m_waiting; // in the loop, for a first or next request
    asio::io_context m_io{1};
    asio::posix::stream_descriptor m_listener{m_io};
    asio::steady_timer m_pause{m_io};
    WorkerPool m_workers;
};
