// SPDX-License-Identifier: MIT
#pragma once

#include "ChartdConfig.h"
#include "httpd/HttpServer.h"
#include "publish/ChartBoard.h"

#include <cstdint>
#include <functional>
#include <string>

// The publisher's HTTP side. GET and HEAD of the chart path answer the live chart with
// its validators and a Cache-Control of one feed interval, 304 to a client whose copy is
// current, and 503 with Retry-After while the price is stale. While the market is closed
// the last chart is served with a Cache-Control up to the reopening (an hour at most).
// GET of /healthz answers the age of the last accepted quote as JSON, "closed" with the
// reopening while closed: 200 while it is served, else 503.
class ChartService final {
public:
    using Clock = std::function<std::int64_t()>; // seconds since 1970
    static constexpr const char* CHART_PATH = "/NewCharts/gold/images/gold_1d_o_USD.png";
    static constexpr const char* HEALTH_PATH = "/healthz";

    ChartService(const ChartBoard& board, int feedIntervalSeconds, Clock clock,
                 const HttpLimits& limits = ChartdConfig::DefaultHttp());
    ChartService(const ChartService&) = delete;
    ChartService& operator=(const ChartService&) = delete;

    // Listens on host:port (0: any free port); the port, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop().
    void Run();
    // From any thread.
    void Stop();

private:
    HttpResponse OnChart(const HttpRequest& request) const;
    HttpResponse OnHealth() const;

    const ChartBoard& m_board;
    const std::string m_interval;
    Clock m_clock;
    HttpServer m_server;
};
