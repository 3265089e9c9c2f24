// SPDX-License-Identifier: MIT
#pragma once

#include "MailSpool.h"
#include "NotifydConfig.h"
#include "RateLimiter.h"
#include "SpoolSender.h"
#include "httpd/HttpServer.h"

#include <functional>
#include <string>

// The HTTP side: POST /price_notify.php takes one e-mail request, checks it and keeps
// it in the spool before it answers 200 with the alert's id (in the body and in
// X-Orvantis-Id). Refusals: 400 a malformed form, 403 a recipient not allowed, 413 a body
// over 64 KiB, 429 over a rate limit, 503 the spool cannot keep it. One line per request
// goes to the log. GET /status/<id> answers with the alert's receipt as JSON, 404 for an
// unknown id. GET /healthz answers 200 while alerts go out and 503 with each server's
// last answer while one takes none. Neither is logged.
class NotifyService final {
public:
    static constexpr const char* NOTIFY_PATH = "/price_notify.php";
    static constexpr const char* HEALTH_PATH = "/healthz";
    static constexpr const char* STATUS_PATH = "/status/";
    static constexpr const char* ID_HEADER = "X-Orvantis-Id";

    // stored is called after each mail that went into the spool; state tells whether
    // mails go out.
    NotifyService(const NotifydConfig& config, MailSpool& spool, std::function<void()> stored,
                  std::function<SenderState()> state);
    NotifyService(const NotifyService&) = delete;
    NotifyService& operator=(const NotifyService&) = delete;

    // Binds the configured address; the port bound, or -1.
    int Bind();
    // Serves until Stop().
    void Run();
    // Ends Run() from any thread, within a tenth of a second or so.
    void Stop();

private:
    HttpResponse OnNotify(const HttpRequest& request);
    HttpResponse OnHealth() const;
    HttpResponse OnStatus(const HttpRequest& request) const;

    const NotifydConfig& m_config;
    MailSpool& m_spool;
    std::function<void()> m_stored;
    std::function<SenderState()> m_state;
    RateLimiter m_limiter;
    HttpServer m_server;
};
