// SPDX-License-Identifier: MIT
#include "NotifyService.h"

#include "MailAddress.h"
#include "MultipartForm.h"
#include "NotifyRequest.h"
#include "PriceMail.h"
#include "ServiceLog.h"

#include <chrono>
#include <optional>

namespace {

constexpr const char* RETRY_AFTER_SECONDS = "60";

HttpResponse Answer(int status, const std::string& text, const std::string& logText) {
    LogLine(logText);
    return {status, text + "\n", {}};
}

std::string ClientOf(const HttpRequest& request) {
    return "request from " + request.remoteAddress + ": ";
}

} // namespace

NotifyService::NotifyService(const NotifydConfig& config, MailSpool& spool,
                             std::function<void()> stored)
    : m_config(config), m_spool(spool), m_stored(std::move(stored)),
      m_limiter(config.perRecipientPerHour, config.perMinute),
      m_server(HttpServer::Limits{},
               [](const HttpRequest& request, int status, const std::string& reason) {
                   LogLine(ClientOf(request) + std::to_string(status) + " " + reason + " (" +
                           Printable(request.method) + " " + Printable(request.path) + ")");
               }) {
    m_server.Handle("POST", NOTIFY_PATH,
                    [this](const HttpRequest& request) { return OnNotify(request); });
}

int NotifyService::Bind() {
    return m_server.Bind(m_config.listenHost, m_config.listenPort);
}

void NotifyService::Run() {
    m_server.Run();
}

void NotifyService::Stop() {
    m_server.Stop();
}

HttpResponse NotifyService::OnNotify(const HttpRequest& http) {
    const auto received = std::chrono::system_clock::now();
    const std::string client = ClientOf(http);
    const std::optional<std::string> boundary =
        MultipartForm::Boundary(http.Header("content-type"));
    if (!boundary) {
        return Answer(400, "Bad Request: not multipart/form-data",
                      client + "400 not a form: '" + Printable(http.Header("content-type")) + "'");
    }
    std::vector<FormField> fields;
    NotifyRequest request;
    std::string error;
    if (!MultipartForm::Parse(http.body, *boundary, fields, error) ||
        !NotifyRequest::FromFields(fields, request, error)) {
        return Answer(400, "Bad Request: " + error, client + "400 " + error);
    }
    const std::string recipient = NormalMailAddress(request.email);
    if (!m_config.allow.Allows(recipient)) {
        return Answer(403, "Forbidden: recipient not allowed",
                      client + "403 recipient not allowed: " + recipient);
    }
    switch (m_limiter.Admit(recipient, std::chrono::steady_clock::now())) {
    case RateLimiter::Verdict::Allowed:
        break;
    case RateLimiter::Verdict::RecipientLimited: {
        HttpResponse answer = Answer(429, "Too Many Requests: hourly limit of this recipient",
                                     client + "429 hourly limit reached for " + recipient);
        answer.headers.emplace_back("Retry-After", RETRY_AFTER_SECONDS);
        return answer;
    }
    case RateLimiter::Verdict::ServiceLimited: {
        HttpResponse answer =
            Answer(429, "Too Many Requests", client + "429 per-minute limit reached");
        answer.headers.emplace_back("Retry-After", RETRY_AFTER_SECONDS);
        return answer;
    }
    }
    const std::string name = m_spool.NewName();
    const SpooledMail mail{request.email,
                           PriceMail::Render(request, m_config.relay.from, received, name)};
    if (!m_spool.Store(name, mail, error)) {
        return Answer(503, "Service Unavailable: cannot queue the mail",
                      client + "503 not queued for " + recipient + ": " + error);
    }
    HttpResponse answer = Answer(200, "OK: queued",
                                 client + "200 queued for " + recipient + ": " + request.Subject() +
                                     " (" + name + ".mail)");
    m_stored();
    return answer;
}
