// SPDX-License-Identifier: MIT
#include "HttpServer.h"

#include "ClientAddress.h"
#include "ConnectionLoop.h"
#include "ListenAddress.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

namespace {

constexpr std::chrono::milliseconds DRAIN_TIME{1000};

// Every answer the server gives by itself. A text ending in a blank goes on with the
// limit it names, or with the methods the path allows.
struct RefusalRow {
    HttpRefusal refusal;
    int status;
    const char* text;
    std::size_t HttpLimits::*limit = nullptr;
};

constexpr RefusalRow REFUSALS[] = {
    {HttpRefusal::TimedOut, 408, "the request took too long"},
    {HttpRefusal::HeadTooLarge, 431, "request head over ", &HttpLimits::maxHead},
    {HttpRefusal::TooManyHeaderLines, 431, "too many header lines"},
    {HttpRefusal::MalformedHead, 400, "malformed head"},
    {HttpRefusal::UnknownVersion, 505, "unsupported protocol version"},
    {HttpRefusal::NoSuchPath, 404, "no such path"},
    {HttpRefusal::WrongMethod, 405, "only "},
    {HttpRefusal::BadFraming, 400, "unusable body framing"},
    {HttpRefusal::BadLength, 400, "bad Content-Length"},
    {HttpRefusal::BodyTooLarge, 413, "body over ", &HttpLimits::maxBody},
    {HttpRefusal::BadChunk, 400, "bad chunked body"},
};

std::string SizeText(std::size_t bytes) {
    return bytes > 0 && bytes % 1024 == 0 ? std::to_string(bytes / 1024) + " KiB"
                                          : std::to_string(bytes) + " bytes";
}

std::set<std::string> NormalAddresses(const std::vector<std::string>& addresses) {
    std::set<std::string> normal;
    for (const std::string& address : addresses) {
        normal.insert(NormalIpAddress(address).value_or(address));
    }
    return normal;
}

} // namespace

HttpServer::HttpServer(Limits limits, Logger refused)
    : m_limits(limits), m_trustedProxies(NormalAddresses(limits.trustedProxies)),
      m_refused(std::move(refused)), m_clients(limits.connectionsPerClient, m_trustedProxies),
      m_loop(std::make_unique<ConnectionLoop>(
          m_limits, m_stop, [this](int fd, const std::string& peer) { return Admit(fd, peer); },
          [this](HttpConnection& connection, const std::string& peer, std::size_t& served) {
              return Serve(connection, peer, served);
          },
          [this](const std::string& peer) { m_clients.Release(peer); })) {}

HttpServer::~HttpServer() {
    Stop();
    m_loop.reset();
    if (m_listenFd >= 0) {
        close(m_listenFd);
    }
}

void HttpServer::Handle(std::string method, std::string path, Handler handler) {
    m_routes.push_back({std::move(method), std::move(path), std::move(handler)});
}

void HttpServer::HandleBelow(std::string method, std::string prefix, Handler handler) {
    m_routes.push_back({std::move(method), std::move(prefix), std::move(handler), true});
}

int HttpServer::Bind(const std::string& host, int port) {
    if (m_listenFd < 0) {
        m_listenFd = OpenListeningSocket(host, port);
    }
    return m_listenFd < 0 ? -1 : BoundPort(m_listenFd);
}

void HttpServer::Stop() {
    m_stop.store(true);
    m_loop->Stop();
}

bool HttpServer::Run() {
    if (m_stop.load() || m_listenFd < 0) {
        return m_stop.load();
    }
    return m_loop->Run(m_listenFd) && m_stop.load();
}

bool HttpServer::Admit(int fd, const std::string& peer) {
    const ClientConnections::Admission admission = m_clients.Admit(peer);
    if (admission != ClientConnections::Admission::Admitted) {
        RefuseConnection(fd, peer, admission);
        return false;
    }
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return true;
}

// Says why in a few bytes, without reading the request or waiting: the client has the
// connections it may have already.
void HttpServer::RefuseConnection(int fd, const std::string& peer,
                                  ClientConnections::Admission admission) {
    const std::string reason =
        "over " + std::to_string(m_limits.connectionsPerClient) + " connections from one address";
    if (admission == ClientConnections::Admission::FirstRefused && m_refused) {
        HttpRequest request;
        request.remoteAddress = peer;
        request.clientAddress = peer;
        m_refused(request, 429, reason + "; more are closed at once until it has none");
    }
    const std::string answer = ResponseBytes(
        {429, std::string(ReasonPhrase(429)) + ": " + reason + "\n", {}}, false, false);
    if (send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
        // The client went away already.
    }
    close(fd);
}

// The requests the client has sent; true when the connection waits for another.
bool HttpServer::Serve(HttpConnection& connection, const std::string& peer, std::size_t& served) {
    while (served < m_limits.requestsPerConnection) {
        // A connection that says nothing (more) is closed without a word.
        if (connection.Buffer().empty() &&
            !connection.Fill(HttpClock::now() + m_limits.keepAlive)) {
            return false;
        }
        HttpRequest request;
        request.remoteAddress = peer;
        request.clientAddress = peer;
        ++served;
        if (!ServeRequest(connection, request, served == m_limits.requestsPerConnection)) {
            return false;
        }
        if (connection.Buffer().empty()) {
            return served < m_limits.requestsPerConnection;
        }
    }
    return false;
}

// One request from its first byte to its answer; false when the connection ends here.
bool HttpServer::ServeRequest(HttpConnection& connection, HttpRequest& request, bool lastAllowed) {
    const auto deadline = HttpClock::now() + m_limits.wholeRequest;
    BodyFraming framing;
    const Route* route = nullptr;
    std::string allow;
    BodyPlan plan;
    // Unknown paths and methods are answered before their body is read.
    HttpRefusal refusal = ReadHead(connection, m_limits, deadline, request, framing);
    request.clientAddress = ClientAddressOf(request, m_trustedProxies);
    if (refusal == HttpRefusal::None) {
        refusal = FindRoute(request, route, allow);
    }
    if (refusal == HttpRefusal::None) {
        refusal = CheckBody(framing, m_limits.maxBody, plan);
    }
    if (refusal == HttpRefusal::None) {
        refusal = ReadBody(connection, plan, m_limits.maxBody, deadline, request.body);
    }
    if (refusal != HttpRefusal::None) {
        Refuse(connection, request, refusal, allow);
        return false;
    }
    return Answer(connection, request, *route, framing.KeepAlive() && !lastAllowed);
}

HttpRefusal HttpServer::FindRoute(const HttpRequest& request, const Route*& route,
                                  std::string& allow) const {
    const Route* get = nullptr;
    bool head = false;
    for (const Route& candidate : m_routes) {
        if (!candidate.Matches(request.path)) {
            continue;
        }
        if (candidate.method == request.method) {
            route = &candidate;
            return HttpRefusal::None;
        }
        get = candidate.method == "GET" ? &candidate : get;
        head = head || candidate.method == "HEAD";
        allow += (allow.empty() ? "" : ", ") + candidate.method;
    }
    if (get != nullptr && request.method == "HEAD") {
        route = get;
        return HttpRefusal::None;
    }
    if (get != nullptr && !head) {
        allow += ", HEAD";
    }
    return allow.empty() ? HttpRefusal::NoSuchPath : HttpRefusal::WrongMethod;
}

void HttpServer::Refuse(HttpConnection& connection, const HttpRequest& request, HttpRefusal refusal,
                        const std::string& allow) {
    const auto row = std::find_if(std::begin(REFUSALS), std::end(REFUSALS),
                                  [refusal](const RefusalRow& r) { return r.refusal == refusal; });
    if (row == std::end(REFUSALS)) {
        return; // lost: nobody would hear an answer
    }
    std::string reason = row->text;
    if (row->limit != nullptr) {
        reason += SizeText(m_limits.*(row->limit));
    }
    HttpResponse response{row->status, {}, {}};
    if (refusal == HttpRefusal::WrongMethod) {
        reason += allow;
        response.headers.emplace_back("Allow", allow);
    }
    response.body = std::string(ReasonPhrase(row->status)) + ": " + reason + "\n";
    if (m_refused) {
        m_refused(request, row->status, reason);
    }
    if (connection.Write(ResponseBytes(response, false, request.method == "HEAD"),
                         HttpClock::now() + m_limits.answer)) {
        connection.DrainAndClose(HttpClock::now() + DRAIN_TIME);
    }
}

// Writes the handler's answer; true when the connection stays open for another request.
bool HttpServer::Answer(HttpConnection& connection, const HttpRequest& request, const Route& route,
                        bool keepAlive) {
    HttpResponse response;
    try {
        response = route.handler(request);
    } catch (const std::exception& error) {
        // A handler that fails costs its own request, never the service.
        if (m_refused) {
            m_refused(request, 500, error.what());
        }
        response = {500, "Internal Server Error\n", {}};
        keepAlive = false;
    }
    if (response.hold) {
        connection.Hold();
        return false;
    }
    const bool headOnly = request.method == "HEAD";
    const auto deadline = HttpClock::now() + m_limits.answer;
    if (!connection.Write(ResponseBytes(response, keepAlive, headOnly), deadline)) {
        return false;
    }
    if (response.pieces && !headOnly && !IsBodiless(response.status)) {
        try {
            return connection.WritePieces(response.streamLength, response.pieces, deadline) &&
                   keepAlive;
        } catch (const std::exception& error) {
            // Its head is out already: the client learns of it from the connection's end.
            if (m_refused) {
                m_refused(request, 500, error.what());
            }
            return false;
        }
    }
    return keepAlive;
}
