// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// Where a service listens, as its "listen" setting says it: host:port, an IPv6 host in
// brackets, port 0 (any free one) to 65535. False for anything else.
bool ParseHostPort(std::string_view value, std::string& host, int& port);

// "http://host:port", an IPv6 host in brackets again, for the line that says where a
// service listens.
std::string ListenUrl(const std::string& host, int port);

// A socket listening on host:port (port 0: any free one), or -1. A second copy of the
// service cannot share its port.
int OpenListeningSocket(const std::string& host, int port);
// The port a listening socket is bound to, or -1.
int BoundPort(int fd);
