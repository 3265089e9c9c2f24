// SPDX-License-Identifier: MIT
#include "NotifyService.h"

#include "AlertProgress.h"
#include "MailAddress.h"
#include "NotifyRequest.h"
#include "PriceMail.h"
#include "httpd/MultipartForm.h"
#include "httpd/ServiceLog.h"

#include <chrono>
#include <optional>

namespace {

constexpr const char* RETRY_AFTER_SECONDS = "60";

HttpResponse Answer(int status, const std::string& text, const std::string& logText) {
    LogLine(logText);
    return {status, text + "\n", {}};
}

std::string ClientOf(const HttpRequest& request) {
    const bool proxied = request.clientAddress != request.remoteAddress;
    return "request from " + request.clientAddress +
           (proxied ? " via " + request.remoteAddress : std::string()) + ": ";
}

// What the server answered by itself: a request it refused, or a connection over the
// client's cap (which has no request line).
void LogRefusal(const HttpRequest& request, int status, const std::string& reason) {
    const std::string what = request.method.empty() ? std::string()
                                                    : " (" + Printable(request.method) + " " +
                                                          Printable(request.path) + ")";
    LogLine(ClientOf(request) + std::to_string(status) + " " + reason + what);
}

HttpResponse TooMany(const std::string& text, const std::string& logText) {
    HttpResponse answer = Answer(429, "Too Many Requests" + text, logText);
    answer.headers.emplace_back("Retry-After", RETRY_AFTER_SECONDS);
    return answer;
}

} // namespace

NotifyService::NotifyService(const NotifydConfig& config, MailSpool& spool,
                             std::function<void()> stored, std::function<SenderState()> state)
    : m_config(config), m_spool(spool), m_stored(std::move(stored)), m_state(std::move(state)),
      m_limiter(config.perRecipientPerHour, config.perClientPerMinute, config.perMinute),
      m_server(config.http, LogRefusal) {
    m_server.Handle("POST", NOTIFY_PATH,
                    [this](const HttpRequest& request) { return OnNotify(request); });
    m_server.Handle("GET", HEALTH_PATH, [this](const HttpRequest&) { return OnHealth(); });
    m_server.HandleBelow("GET", STATUS_PATH,
                         [this](const HttpRequest& request) { return OnStatus(request); });
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

HttpResponse NotifyService::OnHealth() const {
    const SenderState state = m_state();
    HttpResponse answer{200, "OK: alerts go out\n", {{"Cache-Control", "no-store"}}};
    if (!state.delivering) {
        answer.status = 503;
        answer.body = "Service Unavailable: " + state.fault + "\n";
    }
    return answer;
}

// The id is the only key: 128 random bits, so nobody finds another's receipt by trying.
HttpResponse NotifyService::OnStatus(const HttpRequest& request) const {
    const std::string id = request.path.substr(std::string_view(STATUS_PATH).size());
    HttpResponse answer{404, "Not Found: no such alert\n", {{"Cache-Control", "no-store"}}};
    if (!MailSpool::IsAlertId(id)) {
        return answer;
    }
    std::string error;
    AlertProgress progress;
    const OwnFile receipt = m_spool.Receipts().Load(id, progress, error);
    if (receipt == OwnFile::Unusable) {
        return answer;
    }
    if (receipt == OwnFile::Missing) {
        // Not tried yet: every channel of its route is queued.
        const std::optional<SpooledMail> waiting = m_spool.Peek(id);
        if (!waiting) {
            return answer;
        }
        progress = AlertProgress(m_config.routes.Find(waiting->recipient), waiting->alert.received);
    }
    answer.status = 200;
    answer.body = progress.Json(id);
    answer.contentType = "application/json";
    return answer;
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
    // Case variants and "+tag" sub-addresses of one mailbox share its quota.
    const std::string mailbox = CanonicalMailbox(recipient);
    switch (m_limiter.Admit(http.clientAddress, mailbox, std::chrono::steady_clock::now())) {
    case RateLimiter::Verdict::Allowed:
        break;
    case RateLimiter::Verdict::RecipientLimited:
        return TooMany(": hourly limit of this recipient",
                       client + "429 hourly limit reached for " + mailbox);
    case RateLimiter::Verdict::ClientLimited:
        return TooMany(": per-minute limit of this client",
                       client + "429 per-minute limit of this client reached");
    case RateLimiter::Verdict::ServiceLimited:
        return TooMany("", client + "429 per-minute limit reached");
    }
    const std::string name = MailSpool::NewName();
    SpooledMail mail{request.email, {}, Alert::FromRequest(request, name, received)};
    mail.message = PriceMail::Render(mail.alert, m_config.relay.from);
    if (!m_spool.Store(name, mail, error)) {
        return Answer(503, "Service Unavailable: cannot queue the mail",
                      client + "503 not queued for " + recipient + ": " + error);
    }
    HttpResponse answer = Answer(200, "OK: queued " + name,
                                 client + "200 queued for " + recipient + ": " +
                                     mail.alert.Title() + " (" + name + ".mail)");
    answer.headers.emplace_back(ID_HEADER, name);
    m_stored();
    return answer;
}
