// SPDX-License-Identifier: MIT
// orvantis-chartd: the chart publisher, and a local stand-in for the chart and notification
// servers for demos and tests.
#include "PublisherMain.h"
#include "demo/ChartServer.h"
#include "demo/ChartdOptions.h"
#include "httpd/ListenAddress.h"
#include "httpd/TerminationSignals.h"
#include "platform/AtomicFile.h"
#include "platform/common/WallClock.h"

#include <signal.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>

namespace {

// Replaced whole, so a reader never sees half a number.
bool WritePortFile(const std::string& path, int port) {
    return platform::ReplaceFile(path, std::to_string(port) + "\n", 0644);
}

} // namespace

int main(int argc, char** argv) {
    const TerminationSignals stopSignals;
    signal(SIGPIPE, SIG_IGN);
    if (const std::string error = WallClock::StartFromEnvironment(); !error.empty()) {
        std::fprintf(stderr, "orvantis-chartd: %s\n", error.c_str());
        return 2;
    }
    if (argc == 3 && std::string_view(argv[1]) == "--config") {
        return RunPublisher(argv[2], stopSignals);
    }
    ChartdOptions options;
    std::string error;
    if (!ChartdOptions::Parse(argc, argv, options, error)) {
        std::fprintf(stderr, "orvantis-chartd: %s\nTry 'orvantis-chartd --help'.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(ChartdOptions::Usage(), stdout);
        return 0;
    }
    if (!options.seedGiven) {
        options.seed = std::random_device{}();
    }

    ChartServer server(options);
    const int port = server.Bind(options.port);
    if (port <= 0) {
        std::fprintf(stderr, "orvantis-chartd: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    if (!options.portFile.empty() && !WritePortFile(options.portFile, port)) {
        std::fprintf(stderr, "orvantis-chartd: cannot write %s\n", options.portFile.c_str());
        return 1;
    }
    std::printf("listening on %s\n", ListenUrl("127.0.0.1", port).c_str());
    std::fflush(stdout);

    bool served = true;
    stopSignals.ServeUntilStopped([&server, &served] { served = server.Run(); },
                                  [&server] { server.Stop(); });
    return served ? 0 : 1;
}
