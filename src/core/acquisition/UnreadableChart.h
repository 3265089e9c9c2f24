// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/ByteBuffer.h"

#include <string>

inline constexpr const char* UNREADABLE_CHART_NAME = "unreadable-chart.png";

// Where the last chart that arrived whole but held no readable price is kept, for a look
// at what changed: $XDG_CACHE_HOME/Tamberlo/Orvantis/unreadable-chart.png.
std::string UnreadableChartPath();

// Keeps the chart there in place of the one before (at most CHART_BODY_MAX bytes). The
// path when it was kept; empty when the cache folder cannot be written, is not a folder
// or is a link: the chart is then not kept, and nothing is written elsewhere.
std::string KeepUnreadableChart(const CByteBuffer& chart);
