// SPDX-License-Identifier: MIT
#pragma once

#include "chartgen/PngWriter.h"
#include "demo/ChartdOptions.h"
#include "demo/FaultPlan.h"
#include "demo/PriceFeed.h"
#include "httpd/HttpServer.h"

#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

constexpr const char* CHART_PATH = "/NewCharts/gold/images/gold_1d_o_USD.png";
constexpr const char* NOTIFY_PATH = "/price_notify.php";
constexpr std::size_t MAX_NOTIFY_BODY = 64 * 1024; // a notification form is a few hundred bytes

// The demo chart and notification server, bound to 127.0.0.1 only.
class ChartServer final {
public:
    explicit ChartServer(const ChartdOptions& options);
    ChartServer(const ChartServer&) = delete;
    ChartServer& operator=(const ChartServer&) = delete;

    // Binds and listens on the port (0: any free one); the bound port, or -1.
    int Bind(int port);
    // Serves until Stop(); false when it ended without one.
    bool Run();
    // Ends Run() and the stalled requests; from any thread, not from a signal handler.
    void Stop();

private:
    HttpResponse OnChart();
    HttpResponse Misbehave(const FaultMode& fault);
    HttpResponse OnNotify(const HttpRequest& request);
    std::vector<std::uint8_t> RenderChart(const PriceFeed::Frame& frame, bool anchor = true);
    std::string RandomBytes();
    void Print(const std::string& line);

    HttpServer m_server;
    PriceFeed m_feed;
    FaultPlan m_faults;
    std::string m_faultFile;
    int m_width;
    int m_height;
    PngOptions m_png;
    bool m_quiet;
    std::mutex m_randomMutex;
    std::mt19937 m_random;
    std::uint32_t m_drawSeed;
    std::mutex m_printMutex;
};
