// SPDX-License-Identifier: MIT
// orvantis-resolve: looks up one host name with the system's resolver and prints its
// addresses, one a line, in the resolver's order. The program runs it as a separate
// process so that it can end a lookup that waits for a silent name server at once:
// getaddrinfo cannot be cancelled, but this process can be killed.

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

int main(int argc, char** argv) {
    if (argc != 2 || std::strlen(argv[1]) > 253) {
        std::fprintf(stderr, "usage: orvantis-resolve HOST\n");
        return 2;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(argv[1], nullptr, &hints, &found); error != 0) {
        std::fprintf(stderr, "%s\n", gai_strerror(error));
        return 1;
    }
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* address = nullptr;
        if (entry->ai_family == AF_INET) {
            address = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
        } else if (entry->ai_family == AF_INET6) {
            address = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
        }
        if (address != nullptr && inet_ntop(entry->ai_family, address, text, sizeof text)) {
            std::printf("%s\n", text);
        }
    }
    freeaddrinfo(found);
    return 0;
}
