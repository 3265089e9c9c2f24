// SPDX-License-Identifier: MIT
#pragma once

#include "core/history/HistoryReading.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The history as CSV (RFC 4180, CRLF line ends): "time_utc,price,state", the time in UTC
// ISO 8601, the price with two decimals (empty when none was read), the state's name.
// The state field also carries what the three columns would lose, so that a file read
// back gives the stored rows exactly: "+notified" after a reading the user was told of,
// ": reason" after a stale state ("stale: the chart server could not be reached").
std::string HistoryCsvHeader();
std::string HistoryCsvLine(const HistoryReading& reading);

// The rows of a whole file as HistoryCsvLine writes them after the header; none when
// any line is not one.
std::optional<std::vector<HistoryReading>> ParseHistoryCsv(std::string_view text);
