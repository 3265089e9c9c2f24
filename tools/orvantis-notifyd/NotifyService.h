// SPDX-License-Identifier: MIT
#pragma once

#include "MailSpool.h"
#include "NotifydConfig.h"
#include "RateLimiter.h"

#include <httplib.h>

#include <functional>
#include <string>

// The HTTP side: POST /price_notify.php takes one e-mail request, checks it and keeps
// it in the spool before it answers 200. Refusals: 400 a malformed form, 403 a recipient
// not allowed, 413 a body over 64 KiB, 429 over a rate limit, 503 the spool cannot keep
// it. A fixed number of threads serves the connections, each read and write with a
// time-out.
class NotifyService final {
public:
    static constexpr const char* NOTIFY_PATH = "/price_notify.php";
    static constexpr std::size_t MAX_BODY = 64 * 1024;

    // stored is called after each mail that went into the spool.
    NotifyService(const NotifydConfig& config, MailSpool& spool, std::function<void()> stored);
    NotifyService(const NotifyService&) = delete;
    NotifyService& operator=(const NotifyService&) = delete;

    // Binds the configured address; the port bound, or -1.
    int Bind();
    // Serves until Stop(); false when the server could not run.
    bool Run();
    // Ends Run() from any thread; requests being read are finished first.
    void Stop();

private:
    void OnNotify(const httplib::Request& req, httplib::Response& res,
                  const httplib::ContentReader& reader);
    void Answer(httplib::Response& res, int status, const std::string& text,
                const std::string& logText);

    const NotifydConfig& m_config;
    MailSpool& m_spool;
    std::function<void()> m_stored;
    RateLimiter m_limiter;
    httplib::Server m_server;
    int m_listenFd = -1;
};
