// SPDX-License-Identifier: MIT
#include "HttpConnection.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace {

// How often a waiting connection looks at the stop flag.
constexpr int POLL_SLICE_MS = 100;
constexpr std::size_t READ_CHUNK = 4096;
constexpr std::size_t MAX_DRAINED = 256 * 1024;

int PollSlice(HttpClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - HttpClock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, POLL_SLICE_MS));
}

} // namespace

bool HttpConnection::Fill(HttpClock::time_point deadline) {
    while (!m_stop.load()) {
        pollfd ready{m_fd, POLLIN, 0};
        const int n = poll(&ready, 1, PollSlice(deadline));
        if (n < 0 && errno != EINTR) {
            return false;
        }
        if (n > 0) {
            char chunk[READ_CHUNK];
            const ssize_t got = recv(m_fd, chunk, sizeof chunk, 0);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            m_buffer.append(chunk, static_cast<std::size_t>(got));
            return true;
        }
        if (HttpClock::now() >= deadline) {
            m_timedOut = true;
            return false;
        }
    }
    return false;
}

bool HttpConnection::FillTo(std::size_t size, HttpClock::time_point deadline) {
    while (m_buffer.size() < size) {
        if (!Fill(deadline)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> HttpConnection::Line(std::size_t maxLine,
                                                HttpClock::time_point deadline) {
    std::size_t end;
    while ((end = m_buffer.find('\n')) == std::string::npos) {
        if (m_buffer.size() > maxLine || !Fill(deadline)) {
            return std::nullopt;
        }
    }
    std::string line = m_buffer.substr(0, end);
    m_buffer.erase(0, end + 1);
    if (line.ends_with('\r')) {
        line.pop_back();
    }
    return line;
}

bool HttpConnection::Write(std::string_view bytes, HttpClock::time_point deadline) {
    std::size_t done = 0;
    while (done < bytes.size() && !m_stop.load()) {
        pollfd ready{m_fd, POLLOUT, 0};
        const int n = poll(&ready, 1, PollSlice(deadline));
        if (n < 0 && errno != EINTR) {
            return false;
        }
        if (n > 0) {
            const ssize_t sent = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (sent <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(sent);
        } else if (HttpClock::now() >= deadline) {
            return false;
        }
    }
    return done == bytes.size();
}

bool HttpConnection::WritePieces(std::size_t length,
                                 const std::function<std::string_view(std::size_t)>& pieces,
                                 HttpClock::time_point deadline) {
    for (std::size_t done = 0; done < length;) {
        const std::string_view piece = pieces(done);
        if (piece.empty() || !Write(piece.substr(0, length - done), deadline)) {
            return false;
        }
        done += std::min(piece.size(), length - done);
    }
    return true;
}

void HttpConnection::Hold() {
    while (Fill(HttpClock::time_point::max())) {
        m_buffer.clear();
    }
}

void HttpConnection::DrainAndClose(HttpClock::time_point deadline) {
    shutdown(m_fd, SHUT_WR);
    std::size_t dropped = 0;
    while (dropped < MAX_DRAINED && Fill(deadline)) {
        dropped += m_buffer.size();
        m_buffer.clear();
    }
}
