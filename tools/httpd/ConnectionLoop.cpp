// SPDX-License-Identifier: MIT
#include "ConnectionLoop.h"

#include "ClientAddress.h"

#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace {

// How long a server out of descriptors waits before it accepts again.
constexpr std::chrono::milliseconds OUT_OF_FILES_PAUSE{100};
// Connections taken at once before the loop looks at the others again.
constexpr int ACCEPT_BATCH = 64;

} // namespace

// One admitted connection; closed, and its address's count released, when the last
// wait or job that holds it lets it go.
struct ConnectionLoop::Link {
    Link(ConnectionLoop& owner, int fd, std::string address)
        : loop(owner), socket(owner.m_io, fd), timer(owner.m_io), connection(fd, owner.m_stop),
          peer(std::move(address)) {}
    ~Link() {
        asio::error_code ignored;
        socket.close(ignored);
        loop.m_closed(peer);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    ConnectionLoop& loop;
    asio::posix::stream_descriptor socket;
    asio::steady_timer timer;
    HttpConnection connection;
    std::string peer;
    std::size_t served = 0;
    std::uint64_t turn = 0; // which wait the timer belongs to
    char first = 0;         // the byte that ends a wait
    bool silent = true;
};

ConnectionLoop::ConnectionLoop(const HttpLimits& limits, const std::atomic<bool>& stop, Admit admit,
                               Serve serve, Closed closed)
    : m_limits(limits), m_stop(stop), m_admit(std::move(admit)), m_serve(std::move(serve)),
      m_closed(std::move(closed)), m_workers(limits.maxThreads) {}

ConnectionLoop::~ConnectionLoop() {
    m_workers.Shutdown();
}

bool ConnectionLoop::Run(int listenFd) {
    asio::error_code error;
    m_listenFd = listenFd;
    m_listener.assign(listenFd, error);
    m_listener.non_blocking(true, error);
    if (!error) {
        const auto busy = asio::make_work_guard(m_io);
        WaitForClients();
        m_io.run();
    }
    // Workers see the stop flag within a tenth of a second; what they hand back and what
    // still waits is closed below.
    m_workers.Shutdown();
    CloseAll();
    m_listener.release();
    return !error && !m_failed;
}

void ConnectionLoop::Stop() {
    m_io.stop();
}

void ConnectionLoop::CloseAll() {
    m_closing = true;
    for (Link* link : m_waiting) {
        link->timer.cancel();
        link->socket.cancel();
    }
    m_pause.cancel();
    m_listener.cancel();
    m_io.restart();
    m_io.poll();
}

// Tries to accept at once: the loop is told of a connection only when one comes, so one
// that came while the listener was not watched is taken by trying, not by waiting.
void ConnectionLoop::WaitForClients() {
    if (m_waitingForClients || m_silent >= m_limits.silentConnections) {
        // While too many wait silently, new connections stay in the kernel's backlog.
        return;
    }
    m_waitingForClients = true;
    asio::post(m_io, [this] {
        m_waitingForClients = false;
        if (!m_stop.load() && !m_closing) {
            AcceptSome();
        }
    });
}

void ConnectionLoop::AcceptSome() {
    for (int taken = 0; taken < ACCEPT_BATCH; ++taken) {
        if (m_silent >= m_limits.silentConnections) {
            return; // a silent connection that speaks or ends calls WaitForClients()
        }
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        const int fd =
            accept4(m_listenFd, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC);
        if (fd < 0 && (errno == EBADF || errno == EINVAL || errno == ENOTSOCK)) {
            m_failed = true; // the listening socket itself
            m_io.stop();
            return;
        }
        if (fd < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)) {
            // Out of descriptors or memory: let connections end before taking more.
            m_waitingForClients = true;
            m_pause.expires_after(OUT_OF_FILES_PAUSE);
            m_pause.async_wait([this](const asio::error_code& error) {
                m_waitingForClients = false;
                if (!error && !m_closing) {
                    WaitForClients();
                }
            });
            return;
        }
        if (fd < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            AwaitClients();
            return;
        }
        if (fd < 0) {
            continue; // that connection failed before it was taken
        }
        const std::string peer = PeerAddressText(address);
        if (m_admit(fd, peer)) {
            ++m_silent;
            Wait(std::make_shared<Link>(*this, fd, peer), HttpClock::now() + m_limits.firstByte);
        }
    }
    WaitForClients(); // after the others had their turn
}

void ConnectionLoop::AwaitClients() {
    m_waitingForClients = true;
    m_listener.async_wait(asio::posix::descriptor_base::wait_read,
                          [this](const asio::error_code& error) {
                              m_waitingForClients = false;
                              if (error == asio::error::operation_aborted || m_stop.load()) {
                                  return;
                              }
                              if (error) {
                                  m_failed = true;
                                  m_io.stop();
                                  return;
                              }
                              AcceptSome();
                          });
}

// A read of one byte, not a bare wait for readiness, so that bytes that came while the
// connection was on a worker are seen at once.
void ConnectionLoop::Wait(const std::shared_ptr<Link>& link, HttpClock::time_point deadline) {
    m_waiting.insert(link.get());
    const std::uint64_t turn = ++link->turn;
    link->timer.expires_at(deadline);
    link->timer.async_wait([link, turn](const asio::error_code& error) {
        if (!error && link->turn == turn) {
            link->socket.cancel();
        }
    });
    link->socket.async_read_some(asio::buffer(&link->first, 1),
                                 [this, link](const asio::error_code& error, std::size_t got) {
                                     m_waiting.erase(link.get());
                                     ++link->turn;
                                     link->timer.cancel();
                                     if (link->silent) {
                                         link->silent = false;
                                         --m_silent;
                                         WaitForClients();
                                     }
                                     if (!error && got == 1 && !m_stop.load()) {
                                         Spoke(link);
                                     }
                                 });
}

void ConnectionLoop::Spoke(const std::shared_ptr<Link>& link) {
    link->connection.Buffer().push_back(link->first);
    if (!m_workers.Submit([this, link]() mutable { Work(std::move(link)); })) {
        // Stopping: the connection closes with the last hold on it.
    }
}

void ConnectionLoop::Work(std::shared_ptr<Link> link) {
    const bool again = m_serve(link->connection, link->peer, link->served);
    // A waiting connection holds no more than the loop's own few hundred bytes.
    link->connection.Buffer().shrink_to_fit();
    const auto deadline = HttpClock::now() + m_limits.keepAlive;
    asio::post(m_io, [this, again, deadline, link = std::move(link)] {
        if (again && !m_stop.load() && !m_closing) {
            Wait(link, deadline);
        }
    });
}
