// SPDX-License-Identifier: MIT
// orvantis-notifyd: turns the program's e-mail requests into alerts: mails through an SMTP
// relay, pushes to the phone, webhooks.
#include "NotifyDaemon.h"
#include "NotifydConfig.h"
#include "StoreCommands.h"
#include "TestAlert.h"
#include "httpd/ListenAddress.h"
#include "httpd/ServiceLog.h"
#include "httpd/TerminationSignals.h"

#include <curl/curl.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// How long a stop waits for the relay's answer to a mail it has been sent whole. Every
// mail in the spool is whole at any moment, so ending without that answer loses nothing
// (the mail is sent again at the next start).
constexpr std::chrono::milliseconds STOP_GRACE{1500};

constexpr const char* USAGE =
    "Usage: orvantis-notifyd [--config FILE] [--test ADDRESS | --import-spool DIR]\n"
    "Takes e-mail requests of the Orvantis gold price monitor (POST /price_notify.php)\n"
    "and sends them on the recipient's route: mail through an SMTP relay, a push to the\n"
    "phone, a webhook.\n"
    "  --config FILE   settings file (default /etc/orvantis/notifyd.conf)\n"
    "  --test ADDRESS  send one test alert through every channel of the address's route,\n"
    "                  print each outcome and end (0: every channel delivered)\n"
    "  --import-spool DIR  move the waiting alerts of a spool folder into the\n"
    "                  database of 'store'; safe to run again\n"
    "  --help          this text\n";

// The exit status when the command line says all there is to do (--help, or a bad
// argument), else -1.
int ReadArguments(int argc, char** argv, std::string& configPath, const char*& testAddress,
                  const char*& importFolder) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            configPath = argv[++i];
            continue;
        }
        if (std::strcmp(argv[i], "--test") == 0 && i + 1 < argc && testAddress == nullptr) {
            testAddress = argv[++i];
            continue;
        }
        if (std::strcmp(argv[i], "--import-spool") == 0 && i + 1 < argc &&
            importFolder == nullptr) {
            importFolder = argv[++i];
            continue;
        }
        std::fprintf(stderr, "orvantis-notifyd: unknown argument '%s'\n%s", argv[i], USAGE);
        return 2;
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    std::string configPath = NotifydConfig::DEFAULT_PATH;
    const char* testAddress = nullptr;
    const char* importFolder = nullptr;
    if (const int status = ReadArguments(argc, argv, configPath, testAddress, importFolder);
        status >= 0) {
        return status;
    }
    NotifydConfig config;
    std::string error;
    if (!NotifydConfig::Load(configPath, config, error)) {
        std::fprintf(stderr, "orvantis-notifyd: %s\n", error.c_str());
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    if (importFolder != nullptr) {
        return ImportSpool(config, importFolder, stdout, stderr);
    }
    if (!config.store.empty()) {
        // The database is checked and its schema prepared; the delivery loop does not take
        // alerts from it yet, and serving from the spool instead would split the queue.
        PgAlertStore store(StoreSettings(config));
        if (const int status = PrepareStore(store, stdout, stderr); status != 0) {
            return status;
        }
        std::fputs("orvantis-notifyd: this version delivers from the spool only; remove "
                   "'store' to run it\n",
                   stderr);
        return 2;
    }
    if (testAddress != nullptr) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        const int status = SendTestAlert(config, testAddress, stdout, stderr);
        curl_global_cleanup();
        return status;
    }

    const TerminationSignals stopSignals;
    // A file size limit is met like a full disk: the write fails and the client hears 503.
    signal(SIGXFSZ, SIG_IGN);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    NotifyDaemon daemon(config);
    const int status = daemon.Start(error);
    if (status != 0) {
        std::fprintf(stderr, "orvantis-notifyd: %s\n", error.c_str());
        return status;
    }
    LogLine("listening on " + ListenUrl(config.listenHost, daemon.Port()) + ", spool " +
            config.spool + ", relay " + config.relay.url);
    stopSignals.ServeUntilStopped([&daemon] { daemon.Serve(); }, [&daemon] { daemon.Stop(); });
    if (!daemon.Finish(STOP_GRACE)) {
        LogLine("stopped without waiting for a server's answer; the spool is intact");
        std::_Exit(0);
    }
    LogLine("stopped; the spool is intact");
    curl_global_cleanup();
    return 0;
}
