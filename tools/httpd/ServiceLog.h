// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Writes one line to standard error, stamped with the UTC time; lines of different
// threads never mix. Control characters in text are written as \xNN, so no text can
// end the line early and forge the next one.
void LogLine(std::string_view text);

// "2026-12-07T16:43:04Z": a time as the log stamps its lines.
std::string UtcTime(std::chrono::system_clock::time_point time);

// A client's text made safe for one log line: control bytes, backslashes and bytes
// beyond ASCII as \xNN, at most a hundred bytes of it.
std::string Printable(std::string_view text);
