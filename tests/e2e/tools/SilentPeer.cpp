// SPDX-License-Identifier: MIT
// orvantis-silent-peer: a peer on 127.0.0.1 that takes what is sent and never answers,
// for tests and measurements of what the program does while a server or a name server
// keeps silent.
//   orvantis-silent-peer udp PORT            a name server that never answers
//   orvantis-silent-peer tcp PORT PORT_FILE  a server that accepts and never answers
//                                            (PORT 0: any free port, written to PORT_FILE)
// Says "query" or "connection" on standard output for each thing that arrives. Runs
// until it is killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3 || (std::strcmp(argv[1], "udp") != 0 && std::strcmp(argv[1], "tcp") != 0)) {
        std::fprintf(stderr, "usage: orvantis-silent-peer udp|tcp PORT [PORT_FILE]\n");
        return 2;
    }
    const bool tcp = std::strcmp(argv[1], "tcp") == 0;
    const int fd = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (tcp && listen(fd, 64) != 0)) {
        std::perror("orvantis-silent-peer");
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (argc > 3) {
        std::ofstream(argv[3]) << ntohs(address.sin_port) << "\n";
    }
    // Takes every connection and every byte, answers nothing.
    std::vector<int> connections;
    char buffer[4096];
    for (;;) {
        if (tcp) {
            const int connection = accept(fd, nullptr, nullptr);
            if (connection >= 0) {
                connections.push_back(connection);
                std::printf("connection\n");
            }
        } else if (recv(fd, buffer, sizeof buffer, 0) >= 0) {
            std::printf("query\n");
        }
        std::fflush(stdout);
    }
}
