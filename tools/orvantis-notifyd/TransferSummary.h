// SPDX-License-Identifier: MIT
#pragma once

#include <curl/curl.h>

#include <string>

// How a transfer that got no answer ended, as a receipt may show it: "timed out",
// "connection refused", "host not found" and the like, never libcurl's own text, which
// names the host and its port.
std::string TransferSummary(CURLcode code);
