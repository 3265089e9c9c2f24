// SPDX-License-Identifier: MIT
#include "support/LoopbackServer.h"

#include "http/HttpGrammar.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t HEAD_MAX = 64 * 1024;
constexpr std::size_t BODY_MAX = 64 * 1024 * 1024;

// Reads into raw until it holds `size` bytes; false when the client leaves first.
bool ReadUntil(int fd, std::string& raw, std::size_t size) {
    char chunk[16384];
    while (raw.size() < size) {
        const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            return false;
        }
        raw.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

bool ReadRequest(int fd, LoopbackRequest& request) {
    std::string& raw = request.raw;
    std::size_t headEnd = std::string::npos;
    while ((headEnd = raw.find("\r\n\r\n")) == std::string::npos) {
        if (raw.size() > HEAD_MAX || !ReadUntil(fd, raw, raw.size() + 1)) {
            return false;
        }
    }
    const std::string_view head = std::string_view(raw).substr(0, headEnd);
    std::size_t pos = 0;
    request.requestLine = std::string(http::CutLine(head, pos));
    while (pos < head.size()) {
        if (const auto header = http::SplitHeaderLine(http::CutLine(head, pos))) {
            request.headers.emplace_back(header->name, header->value);
        }
    }
    const std::string length = request.Header("Content-Length");
    const std::size_t bodyLength =
        length.empty() ? 0 : http::ParseNumber<std::size_t>(length, 10).value_or(BODY_MAX + 1);
    if (bodyLength > BODY_MAX || !ReadUntil(fd, raw, headEnd + 4 + bodyLength)) {
        return false;
    }
    request.body = raw.substr(headEnd + 4);
    return true;
}

} // namespace

std::string LoopbackRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (http::EqualNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

bool LoopbackConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void LoopbackConnection::StallUntilStopped() {
    std::unique_lock lock(m_server.m_mutex);
    m_server.m_stopped.wait(lock, [this] { return m_server.m_stopping; });
}

LoopbackServer::LoopbackServer(Handler handler) : m_handler(std::move(handler)) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (m_listenFd < 0 || bind(m_listenFd, generic, sizeof(address)) != 0 ||
        listen(m_listenFd, 16) != 0 || getsockname(m_listenFd, generic, &length) != 0) {
        if (m_listenFd >= 0) {
            close(m_listenFd);
        }
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    Stop();
}

std::string LoopbackServer::Url() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

int LoopbackServer::ConnectionCount() const {
    std::lock_guard lock(m_mutex);
    return m_connections;
}

std::vector<LoopbackRequest> LoopbackServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_requestArrived.wait_for(lock, timeout, [&] { return m_requests.size() >= count; });
}

void LoopbackServer::AcceptLoop() {
    for (;;) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            if (fd >= 0) {
                close(fd);
            }
            return;
        }
        if (fd < 0) {
            continue;
        }
        ++m_connections;
        m_openFds.push_back(fd);
        m_threads.emplace_back([this, fd] { Serve(fd); });
    }
}

void LoopbackServer::Serve(int fd) {
    LoopbackRequest request;
    if (ReadRequest(fd, request)) {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        m_requestArrived.notify_all();
        LoopbackConnection connection(*this, fd);
        m_handler(request, connection);
    }
    shutdown(fd, SHUT_RDWR);
    std::lock_guard lock(m_mutex);
    m_openFds.erase(std::find(m_openFds.begin(), m_openFds.end(), fd));
    close(fd);
}

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_stopping = true;
        // Wakes the blocked accept and every read or write of a connection.
        shutdown(m_listenFd, SHUT_RDWR);
        for (const int fd : m_openFds) {
            shutdown(fd, SHUT_RDWR);
        }
    }
    m_stopped.notify_all();
    m_acceptThread.join();
    // No thread is added once the accept loop has ended.
    for (std::thread& thread : m_threads) {
        thread.join();
    }
    close(m_listenFd);
}

std::string LoopbackServer::Response(int status, std::string_view body,
                                     std::string_view extraHeaders) {
    std::string text = "HTTP/1.1 " + std::to_string(status) + " Status\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "Connection: close\r\n";
    text += extraHeaders;
    text += "\r\n";
    text += body;
    return text;
}

LoopbackServer::Handler LoopbackServer::Reply(int status, std::string body) {
    return [status, body = std::move(body)](const LoopbackRequest&, LoopbackConnection& c) {
        c.Send(Response(status, body));
    };
}

LoopbackServer::Handler LoopbackServer::Stall() {
    return [](const LoopbackRequest&, LoopbackConnection& c) { c.StallUntilStopped(); };
}

LoopbackServer::Handler LoopbackServer::Stream(long long total) {
    return [total](const LoopbackRequest&, LoopbackConnection& c) {
        if (!c.Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) {
            return;
        }
        const std::string piece(64 * 1024, 'x');
        for (long long sent = 0; sent < total; sent += static_cast<long long>(piece.size())) {
            const auto n = static_cast<std::size_t>(std::min<long long>(total - sent, 65536));
            if (!c.Send(std::string_view(piece).substr(0, n))) {
                return;
            }
        }
    };
}

HttpOptions QuickHttpOptions() {
    HttpOptions options;
    options.connectTimeoutMs = 2000;
    options.stallTimeoutMs = 1000;
    options.totalTimeoutMs = 10000;
    return options;
}
