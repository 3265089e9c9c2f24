// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

// Fills the database at path with a year up to now as the program keeps it: a reading
// every two minutes for the last 90 days, the last of each hour before; the market closed
// at the weekend, the source stale for a few hours every month, a notification whenever
// the price moved twenty dollars. The number of rows written.
std::size_t WriteSimulatedYear(const std::string& path, std::int64_t nowUtc);
