// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/ByteBuffer.h"
#include "core/common/HttpTransport.h"

#include <string>

// Path of the one-day gold chart in US dollars on the chart server.
inline constexpr const char* CHART_PATH = "/NewCharts/gold/images/gold_1d_o_USD.png";

// The chart server (ORVANTIS_CHART_SERVER when set, else the build's) followed by CHART_PATH.
std::string ChartUrl();

// The largest chart body taken; a larger one is refused as a failed download.
inline constexpr int CHART_BODY_MAX = 16 * 1024 * 1024;

// Why a download brought no body.
enum class DownloadFailure {
    None,        // the body was read whole
    Unreachable, // no connection: the name did not resolve or nobody listens
    TimedOut,    // connected, but the answer did not come (or stopped coming) in time
    HttpStatus,  // an answer with a status outside 200..299
    TooLarge,    // a body beyond CHART_BODY_MAX
    Stopped,     // the transfer's own stop ended it
    Other,       // any other failure of the network layer; see error
};

// Why a download brought no body, for people (orvantis-chart --fetch) and the poll status.
struct DownloadReport {
    long httpStatus = 0; // 0 when no answer came
    std::string error;   // the network layer's reason, empty when it raised none
    DownloadFailure failure = DownloadFailure::None;
};

// A fresh GET of url into buffer (emptied first). 0 when a 2xx body was read whole,
// 1 when no body was fetched (no answer or a status outside 200..299), -1 when the
// network layer failed (bytes already received stay in the buffer).
int DownloadToBuffer(CByteBuffer& buffer, const std::string& url, DownloadReport* report = nullptr);
// The same with the limits and the stop flag of this transfer.
int DownloadToBuffer(CByteBuffer& buffer, const std::string& url, const HttpOptions& options,
                     DownloadReport* report = nullptr);
