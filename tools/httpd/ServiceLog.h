// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

// Writes one line to standard error, stamped with the UTC time; lines of different
// threads never mix.
void LogLine(std::string_view text);

// A client's text made safe for one log line: control bytes, backslashes and bytes
// beyond ASCII as \xNN, at most a hundred bytes of it.
std::string Printable(std::string_view text);
