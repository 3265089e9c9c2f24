// SPDX-License-Identifier: MIT
#include "NotifyService.h"

#include "BoundedTaskQueue.h"
#include "MailAddress.h"
#include "MultipartForm.h"
#include "NotifyRequest.h"
#include "PriceMail.h"
#include "ServiceLog.h"

#include <sys/socket.h>

#include <chrono>

namespace {

// Requests are short (a check and a small file write); the threads are many so that idle
// and slow clients, each held only until its time-out, leave threads for the others.
constexpr std::size_t MAX_CONNECTION_THREADS = 128;
constexpr std::size_t WAITING_CONNECTIONS = 1024;
// The library listens with a backlog of 5, which drops connections in a burst.
constexpr int LISTEN_BACKLOG = 1024;
// The program writes its whole request at once: a pause of seconds is no real client.
constexpr time_t READ_TIMEOUT_SECONDS = 3;
constexpr time_t WRITE_TIMEOUT_SECONDS = 3;
// Also how long a new connection may stay silent. The program opens one connection per
// request, so a short keep-alive costs it nothing.
constexpr time_t KEEP_ALIVE_SECONDS = 1;
constexpr std::size_t KEEP_ALIVE_REQUESTS = 100;
constexpr const char* RETRY_AFTER_SECONDS = "60";
constexpr std::size_t MAX_SKIPPED = 1024 * 1024;

} // namespace

NotifyService::NotifyService(const NotifydConfig& config, MailSpool& spool,
                             std::function<void()> stored)
    : m_config(config), m_spool(spool), m_stored(std::move(stored)),
      m_limiter(config.perRecipientPerHour, config.perMinute) {
    m_server.new_task_queue = [] {
        return new BoundedTaskQueue(MAX_CONNECTION_THREADS, WAITING_CONNECTIONS);
    };
    // Only SO_REUSEADDR: the library's default would let a second server share the port.
    m_server.set_socket_options([this](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        m_listenFd = sock;
    });
    // The answer goes out as head and body in two writes; without this the second waits
    // for the client's delayed acknowledgement, some 40 ms per request.
    m_server.set_tcp_nodelay(true);
    m_server.set_read_timeout(READ_TIMEOUT_SECONDS, 0);
    m_server.set_write_timeout(WRITE_TIMEOUT_SECONDS, 0);
    m_server.set_keep_alive_timeout(KEEP_ALIVE_SECONDS);
    m_server.set_keep_alive_max_count(KEEP_ALIVE_REQUESTS);
    m_server.set_payload_max_length(MAX_BODY);
    m_server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            res.status = 500;
            res.set_content("Internal Server Error\n", "text/plain");
        });
    // Requests for anything else get their one line here; the form's in OnNotify.
    m_server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        if (req.method != "POST" || req.path != NOTIFY_PATH) {
            LogLine("request from " + req.remote_addr + ": " + std::to_string(res.status) + " " +
                    Printable(req.method) + " " + Printable(req.path));
        }
    });
    m_server.Post(NOTIFY_PATH,
                  [this](const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& reader) { OnNotify(req, res, reader); });
}

int NotifyService::Bind() {
    const int port =
        m_config.listenPort == 0
            ? m_server.bind_to_any_port(m_config.listenHost)
            : (m_server.bind_to_port(m_config.listenHost, m_config.listenPort) ? m_config.listenPort
                                                                               : -1);
    if (port > 0 && m_listenFd >= 0) {
        listen(m_listenFd, LISTEN_BACKLOG); // a second listen() only raises the backlog
    }
    return port;
}

bool NotifyService::Run() {
    return m_server.listen_after_bind();
}

void NotifyService::Stop() {
    m_server.stop();
}

void NotifyService::Answer(httplib::Response& res, int status, const std::string& text,
                           const std::string& logText) {
    res.status = status;
    res.set_content(text + "\n", "text/plain");
    LogLine(logText);
}

void NotifyService::OnNotify(const httplib::Request& req, httplib::Response& res,
                             const httplib::ContentReader& reader) {
    const auto received = std::chrono::system_clock::now();
    const std::string client = "request from " + req.remote_addr + ": ";
    // The library would split a multipart body itself, and only one written with CR LF;
    // without the type it hands over the raw bytes for our own reader.
    const std::string contentType = req.get_header_value("Content-Type");
    auto& raw = const_cast<httplib::Request&>(req);
    raw.headers.erase("Content-Type");
    std::string body;
    std::size_t skipped = 0;
    const bool read = reader([&body, &skipped](const char* data, size_t size) {
        // A chunked body has no length for the library to check beforehand. Its rest is
        // read and dropped, up to a point, so the connection does not read it as the next
        // request.
        if (skipped > 0 || body.size() + size > MAX_BODY) {
            skipped += size;
            return skipped <= MAX_SKIPPED;
        }
        body.append(data, size);
        return true;
    });
    const bool tooLarge = skipped > 0;
    if (tooLarge || res.status == 413) {
        res.set_header("Connection", "close");
        Answer(res, 413, "Payload Too Large", client + "413 body over 64 KiB");
        return;
    }
    if (!read) {
        res.set_header("Connection", "close");
        Answer(res, 400, "Bad Request: incomplete body", client + "400 incomplete body");
        return;
    }
    const std::optional<std::string> boundary = MultipartForm::Boundary(contentType);
    if (!boundary) {
        Answer(res, 400, "Bad Request: not multipart/form-data",
               client + "400 not a form: '" + Printable(contentType) + "'");
        return;
    }
    std::vector<FormField> fields;
    NotifyRequest request;
    std::string error;
    if (!MultipartForm::Parse(body, *boundary, fields, error) ||
        !NotifyRequest::FromFields(fields, request, error)) {
        Answer(res, 400, "Bad Request: " + error, client + "400 " + error);
        return;
    }
    const std::string recipient = NormalMailAddress(request.email);
    if (!m_config.allow.Allows(recipient)) {
        Answer(res, 403, "Forbidden: recipient not allowed",
               client + "403 recipient not allowed: " + recipient);
        return;
    }
    switch (m_limiter.Admit(recipient, std::chrono::steady_clock::now())) {
    case RateLimiter::Verdict::Allowed:
        break;
    case RateLimiter::Verdict::RecipientLimited:
        res.set_header("Retry-After", RETRY_AFTER_SECONDS);
        Answer(res, 429, "Too Many Requests: hourly limit of this recipient",
               client + "429 hourly limit reached for " + recipient);
        return;
    case RateLimiter::Verdict::ServiceLimited:
        res.set_header("Retry-After", RETRY_AFTER_SECONDS);
        Answer(res, 429, "Too Many Requests", client + "429 per-minute limit reached");
        return;
    }
    const std::string name = m_spool.NewName();
    const SpooledMail mail{request.email,
                           PriceMail::Render(request, m_config.relay.from, received, name)};
    if (!m_spool.Store(name, mail, error)) {
        Answer(res, 503, "Service Unavailable: cannot queue the mail",
               client + "503 not queued for " + recipient + ": " + error);
        return;
    }
    Answer(res, 200, "OK: queued",
           client + "200 queued for " + recipient + ": " + request.Subject() + " (" + name +
               ".mail)");
    m_stored();
}
