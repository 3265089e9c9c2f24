// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// A connection to 127.0.0.1:port whose reads give up after 10 s; the caller closes it.
int ConnectLoopback(int port);

// Sends the bytes on a new connection, says that no more follow, and returns everything
// the server sends until it closes (or falls silent for 10 s).
std::string ExchangeLoopback(int port, const std::string& bytes);
