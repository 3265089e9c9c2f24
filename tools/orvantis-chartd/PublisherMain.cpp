// SPDX-License-Identifier: MIT
#include "PublisherMain.h"

#include "ChartService.h"
#include "ChartdConfig.h"
#include "StopSignal.h"
#include "feed/CommandQuoteFeed.h"
#include "feed/HttpQuoteFeed.h"
#include "httpd/ListenAddress.h"
#include "httpd/ServiceLog.h"
#include "platform/common/WallClock.h"
#include "publish/ChartBoard.h"
#include "publish/QuoteLoop.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

std::int64_t SystemSeconds() {
    return WallClock::NowSeconds();
}

bool MakeFolder(const std::string& path, mode_t mode) {
    if (mkdir(path.c_str(), mode) == 0 || errno == EEXIST) {
        struct stat info {};
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            return true;
        }
        errno = ENOTDIR;
    }
    std::fprintf(stderr, "orvantis-chartd: cannot use the folder %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
}

std::unique_ptr<QuoteFeed> MakeFeed(const ChartdConfig& config, const StopSignal& stop) {
    if (!config.feed.command.empty()) {
        return std::make_unique<CommandQuoteFeed>(config.feed, stop);
    }
    return std::make_unique<HttpQuoteFeed>(config.feed, stop.Flag());
}

std::string FeedName(const ChartdConfig& config) {
    if (config.feed.command.empty()) {
        return config.feed.url + " at " + config.feed.pointer;
    }
    std::string words;
    for (const std::string& word : config.feed.command) {
        words += (words.empty() ? "" : " ") + Printable(word);
    }
    return "the command " + words;
}

bool Listen(ChartService& service, const ChartdConfig& config) {
    const int port = service.Bind(config.listenHost, config.listenPort);
    if (port <= 0) {
        std::fprintf(stderr, "orvantis-chartd: cannot listen on %s:%d\n", config.listenHost.c_str(),
                     config.listenPort);
        return false;
    }
    LogLine("listening on " + ListenUrl(config.listenHost, port) + ChartService::CHART_PATH);
    return true;
}

} // namespace

int RunPublisher(const std::string& configPath, const TerminationSignals& stopSignals) {
    ChartdConfig config;
    std::string error;
    if (!ChartdConfig::Load(configPath, config, error)) {
        std::fprintf(stderr, "orvantis-chartd: %s\n", error.c_str());
        return 2;
    }
    if (!MakeFolder(config.stateDir, 0700) ||
        (!config.publishDir.empty() && !MakeFolder(config.publishDir, 0755))) {
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);

    StopSignal stop;
    const std::unique_ptr<QuoteFeed> feed = MakeFeed(config, stop);
    ChartBoard board(config.staleAfterSeconds,
                     std::make_shared<const MarketHours>(MarketHours::Load("orvantis-chartd")));
    QuoteLoop loop(config, *feed, board, SystemSeconds);
    ChartService service(board, config.feed.intervalSeconds, SystemSeconds, config.http);
    if (config.listenPort >= 0 && !Listen(service, config)) {
        return 1;
    }
    LogLine("publishing the quotes of " + FeedName(config) + " every " +
            std::to_string(config.feed.intervalSeconds) + " s; state in " + config.stateDir +
            (config.publishDir.empty() ? "" : ", the chart in " + config.publishDir));
    std::thread server;
    if (config.listenPort >= 0) {
        server = std::thread([&service] { service.Run(); });
    }
    stopSignals.ServeUntilStopped([&loop, &stop] { loop.Run(stop); },
                                  [&stop, &service] {
                                      stop.Request();
                                      service.Stop();
                                  });
    if (server.joinable()) {
        server.join();
    }
    LogLine("stopped");
    curl_global_cleanup();
    return 0;
}
