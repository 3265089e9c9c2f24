// SPDX-License-Identifier: MIT
#include "LoopbackClient.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>

int ConnectLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval wait{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

std::string ExchangeLoopback(int port, const std::string& bytes) {
    const int fd = ConnectLoopback(port);
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    std::string answer;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = recv(fd, chunk, sizeof chunk, 0)) > 0) {
        answer.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    return answer;
}
