// SPDX-License-Identifier: MIT
// orvantis-notifyd: turns the program's e-mail requests into e-mails through an SMTP relay.
#include "MailSpool.h"
#include "NotifyService.h"
#include "NotifydConfig.h"
#include "ServiceLog.h"
#include "SmtpRelay.h"
#include "SpoolSender.h"

#include <curl/curl.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#if defined(__SANITIZE_THREAD__)
// The HTTP library is a prebuilt, uninstrumented shared library: the thread sanitizer sees
// its memory accesses but not the synchronisation around them.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n";
}
#endif

namespace {

// How long a stop waits for requests being read and a mail being sent. Every mail in the
// spool is whole at any moment, so ending without them loses nothing that was accepted.
constexpr std::chrono::milliseconds STOP_GRACE{1500};

constexpr const char* USAGE =
    "Usage: orvantis-notifyd [--config FILE]\n"
    "Takes e-mail requests of the Orvantis gold price monitor (POST /price_notify.php)\n"
    "and mails them through an SMTP relay.\n"
    "  --config FILE   settings file (default /etc/orvantis/notifyd.conf)\n"
    "  --help          this text\n";

// The thread that serves HTTP, with a way to wait for its end for a limited time.
class ServerThread final {
public:
    explicit ServerThread(NotifyService& service)
        : m_thread([this, &service] {
              m_served = service.Run();
              std::lock_guard lock(m_mutex);
              m_done = true;
              m_ended.notify_all();
              kill(getpid(), SIGTERM); // wakes main if the server ended on its own
          }) {}
    ~ServerThread() { m_thread.join(); }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    // Stops the service until it ends (a stop before it started listening would be
    // missed) or the grace runs out.
    bool StopWithin(NotifyService& service, std::chrono::milliseconds grace) {
        const auto deadline = std::chrono::steady_clock::now() + grace;
        std::unique_lock lock(m_mutex);
        while (!m_done && std::chrono::steady_clock::now() < deadline) {
            service.Stop();
            m_ended.wait_for(lock, std::chrono::milliseconds(50));
        }
        return m_done;
    }
    bool Served() const { return m_served; }

private:
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    bool m_served = false;
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv) {
    std::string configPath = NotifydConfig::DEFAULT_PATH;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--config") == 0 && i + 1 < argc) {
            configPath = argv[++i];
            continue;
        }
        std::fprintf(stderr, "orvantis-notifyd: unknown argument '%s'\n%s", argv[i], USAGE);
        return 2;
    }
    NotifydConfig config;
    std::string error;
    if (!NotifydConfig::Load(configPath, config, error)) {
        std::fprintf(stderr, "orvantis-notifyd: %s\n", error.c_str());
        return 2;
    }

    // The stop signals are taken by sigwait below, never by a handler on another thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A file size limit is met like a full disk: the write fails and the client hears 503.
    signal(SIGXFSZ, SIG_IGN);

    MailSpool spool(config.spool);
    if (!spool.Open(error)) {
        std::fprintf(stderr, "orvantis-notifyd: spool: %s\n", error.c_str());
        return 1;
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    SmtpRelay relay(config.relay);
    SpoolSender sender(spool, [&relay](const SpooledMail& mail, const std::atomic<bool>& stop) {
        return relay.Deliver(mail, stop);
    });
    NotifyService service(config, spool, [&sender] { sender.Wake(); });
    const int port = service.Bind();
    if (port <= 0) {
        std::fprintf(stderr, "orvantis-notifyd: cannot listen on %s:%d\n",
                     config.listenHost.c_str(), config.listenPort);
        return 1;
    }
    const bool bracketed = config.listenHost.find(':') != std::string::npos;
    LogLine("listening on http://" +
            (bracketed ? "[" + config.listenHost + "]" : config.listenHost) + ":" +
            std::to_string(port) + ", spool " + config.spool + ", relay " + config.relay.url);
    sender.Start();
    bool served = true;
    {
        ServerThread server(service);
        int signalNumber = 0;
        sigwait(&stopSignals, &signalNumber);
        const auto started = std::chrono::steady_clock::now();
        const bool serverEnded = server.StopWithin(service, STOP_GRACE);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            STOP_GRACE - (std::chrono::steady_clock::now() - started));
        const bool senderEnded = sender.Stop(std::max(left, std::chrono::milliseconds(100)));
        if (!serverEnded || !senderEnded) {
            LogLine(std::string("stopped without waiting for ") +
                    (serverEnded ? "the relay's answer" : "a slow client") +
                    "; the spool is intact");
            std::_Exit(0);
        }
        served = server.Served();
    }
    LogLine("stopped; the spool is intact");
    curl_global_cleanup();
    return served ? 0 : 1;
}
