// SPDX-License-Identifier: MIT
// orvantis-chartd: the chart publisher, and a local stand-in for the chart and notification
// servers for demos and tests.
#include "PublisherMain.h"
#include "demo/ChartServer.h"
#include "demo/ChartdOptions.h"
#include "platform/AtomicFile.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <thread>

namespace {

// Replaced whole, so a reader never sees half a number.
bool WritePortFile(const std::string& path, int port) {
    return platform::ReplaceFile(path, std::to_string(port) + "\n", 0644);
}

} // namespace

int main(int argc, char** argv) {
    // The stop signals are taken by sigwait, never by a handler on a server thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
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
    std::printf("listening on http://127.0.0.1:%d\n", port);
    std::fflush(stdout);

    bool served = true;
    std::thread worker([&server, &served] {
        served = server.Run();
        kill(getpid(), SIGTERM); // wakes the wait below if the server ended on its own
    });
    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
    server.Stop();
    worker.join();
    return served ? 0 : 1;
}
