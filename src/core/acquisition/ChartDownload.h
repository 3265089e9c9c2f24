// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/ByteBuffer.h"
#include "core/common/HttpSession.h"

#include <string>

// Path of the one-day gold chart in US dollars on the chart server.
inline constexpr const char* CHART_PATH = "/NewCharts/gold/images/gold_1d_o_USD.png";

// The chart server (ORVANTIS_CHART_SERVER when set, else the build's) followed by CHART_PATH.
std::string ChartUrl();

// The largest chart body taken; a larger one is refused as a failed download.
inline constexpr int CHART_BODY_MAX = 16 * 1024 * 1024;

// Why a download brought no body, for people (orvantis-chart --fetch).
struct DownloadReport {
    long httpStatus = 0; // 0 when no answer came
    std::string error;   // the network layer's reason, empty when it raised none
};

// A fresh GET of url into buffer (emptied first). 0 when a 2xx body was read whole,
// 1 when no body was fetched (no answer or a status outside 200..299), -1 when the
// network layer failed (bytes already received stay in the buffer).
int DownloadToBuffer(CByteBuffer& buffer, const std::string& url, DownloadReport* report = nullptr);
// The same with the limits and the stop flag of this transfer.
int DownloadToBuffer(CByteBuffer& buffer, const std::string& url, const HttpOptions& options,
                     DownloadReport* report = nullptr);
