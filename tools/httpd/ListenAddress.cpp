// SPDX-License-Identifier: MIT
#include "ListenAddress.h"

#include "TextRules.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int LISTEN_BACKLOG = 1024;

} // namespace

bool ParseHostPort(std::string_view value, std::string& host, int& port) {
    const std::size_t colon = value.rfind(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    std::string_view name = value.substr(0, colon);
    if (name.starts_with('[')) {
        if (!name.ends_with(']')) {
            return false;
        }
        name = name.substr(1, name.size() - 2);
    } else if (name.find(':') != std::string_view::npos) {
        return false; // an IPv6 address without brackets
    }
    if (name.empty() || HasControl(name) || name.find(' ') != std::string_view::npos) {
        return false;
    }
    host = std::string(name);
    return ParseWholeNumber(value.substr(colon + 1), 0, 65535, port);
}

std::string ListenUrl(const std::string& host, int port) {
    const bool bracketed = host.find(':') != std::string::npos;
    return "http://" + (bracketed ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

int OpenListeningSocket(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return -1;
    }
    int listening = -1;
    for (addrinfo* candidate = found; candidate != nullptr && listening < 0;
         candidate = candidate->ai_next) {
        const int fd = socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                              candidate->ai_protocol);
        if (fd < 0) {
            continue;
        }
        // Only SO_REUSEADDR, never SO_REUSEPORT: a second copy must not share the port.
        int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, candidate->ai_addr, candidate->ai_addrlen) == 0 &&
            listen(fd, LISTEN_BACKLOG) == 0) {
            listening = fd;
        } else {
            close(fd);
        }
    }
    freeaddrinfo(found);
    return listening;
}

int BoundPort(int fd) {
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        return -1;
    }
    return ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}
