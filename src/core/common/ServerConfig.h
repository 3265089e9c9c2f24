// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The two servers the program talks to, as "scheme://host[:port]" without a trailing '/'.
// ORVANTIS_CHART_SERVER / ORVANTIS_NOTIFY_SERVER override the build's hosts when they hold
// a well-formed http:// or https:// server; anything else there is ignored. The
// environment is read at every call, so set it before any worker thread runs.
std::string ChartServer();
std::string NotifyServer();

// The server text in its normal form (scheme in lower case, one trailing '/' dropped),
// or nothing when it is not "http://" or "https://" followed by a host and an optional
// port; paths, queries and user names are refused.
std::optional<std::string> NormalizeServer(std::string_view text);
