// SPDX-License-Identifier: MIT
#include "support/LoopbackSmtp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace {

// One line without its CR LF; nullopt when the client left or the server stops.
std::optional<std::string> ReadLine(int fd, std::string& buffer, const std::atomic<bool>& stop) {
    std::size_t end;
    while ((end = buffer.find("\r\n")) == std::string::npos) {
        pollfd ready{fd, POLLIN, 0};
        const int n = stop.load() ? -1 : poll(&ready, 1, 100);
        if (n < 0) {
            return std::nullopt;
        }
        char chunk[4096];
        const ssize_t got = n == 0 ? 0 : recv(fd, chunk, sizeof chunk, 0);
        if (n > 0 && got <= 0) {
            return std::nullopt;
        }
        buffer.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    std::string line = buffer.substr(0, end);
    buffer.erase(0, end + 2);
    return line;
}

void Reply(int fd, const std::string& line) {
    const std::string bytes = line + "\r\n";
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

} // namespace

LoopbackSmtp::LoopbackSmtp(std::string refuseAt, std::string refusal)
    : m_refuseAt(std::move(refuseAt)), m_refusal(std::move(refusal)) {
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (m_listenFd < 0 || bind(m_listenFd, generic, sizeof address) != 0 ||
        listen(m_listenFd, 16) != 0 || getsockname(m_listenFd, generic, &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
}

LoopbackSmtp::~LoopbackSmtp() {
    m_stop.store(true);
    m_thread.join();
    close(m_listenFd);
}

std::vector<std::string> LoopbackSmtp::Delivered() const {
    std::lock_guard lock(m_mutex);
    return m_delivered;
}

void LoopbackSmtp::Run() {
    while (!m_stop.load()) {
        pollfd ready{m_listenFd, POLLIN, 0};
        if (poll(&ready, 1, 100) > 0) {
            const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                ++m_sessions;
                Session(fd);
                close(fd);
            }
        }
    }
}

void LoopbackSmtp::Session(int fd) {
    const auto refused = [this](const char* stage) { return m_refuseAt == stage; };
    Reply(fd, refused("greeting") ? m_refusal : "220 127.0.0.1 ESMTP");
    std::string buffer;
    std::string recipient;
    while (const std::optional<std::string> line = ReadLine(fd, buffer, m_stop)) {
        const std::string verb = line->substr(0, 4);
        if (verb == "EHLO" || verb == "HELO") {
            Reply(fd, refused("EHLO") ? m_refusal : "250 127.0.0.1");
        } else if (verb == "MAIL") {
            Reply(fd, refused("MAIL") ? m_refusal : "250 sender ok");
        } else if (verb == "RCPT") {
            recipient = line->substr(line->find('<') + 1, line->find('>') - line->find('<') - 1);
            Reply(fd, refused("RCPT") ? m_refusal : "250 recipient ok");
        } else if (verb == "DATA") {
            Reply(fd, "354 go on");
            while (const std::optional<std::string> data = ReadLine(fd, buffer, m_stop)) {
                if (data->size() == 1 && data->front() == '.') {
                    break;
                }
            }
            Reply(fd, refused("DATA") ? m_refusal : "250 queued");
            if (!refused("DATA")) {
                std::lock_guard lock(m_mutex);
                m_delivered.push_back(recipient);
            }
        } else if (verb == "QUIT") {
            Reply(fd, "221 bye");
            return;
        } else {
            Reply(fd, "250 ok");
        }
    }
}
