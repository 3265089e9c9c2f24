// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* CHART_SERVER_VARIABLE = "ORVANTIS_CHART_SERVER";
inline constexpr const char* NOTIFY_SERVER_VARIABLE = "ORVANTIS_NOTIFY_SERVER";

// The two servers the program talks to, as "scheme://host[:port]" without a trailing '/'.
// ORVANTIS_CHART_SERVER / ORVANTIS_NOTIFY_SERVER override the build's hosts. A variable
// that is set but not a well-formed http:// or https:// server (an empty one included)
// gives an empty server, so requests fail instead of reaching a server the user did not
// choose; the program refuses to start with one (ServerEnvironmentError). The environment
// is read at every call, so set it before any worker thread runs.
std::string ChartServer();
std::string NotifyServer();

// For people: which variable is set but not a server, and why; empty when both are unset
// or well-formed.
std::string ServerVariableError(const char* variable);
std::string ServerEnvironmentError();

// The server text in its normal form (scheme in lower case, one trailing '/' dropped),
// or nothing when it is not "http://" or "https://" followed by a host and an optional
// port; paths, queries and user names are refused. why, when given, receives the reason.
std::optional<std::string> NormalizeServer(std::string_view text, std::string* why = nullptr);
