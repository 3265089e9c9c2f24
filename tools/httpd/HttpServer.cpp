// SPDX-License-Identifier: MIT
#include "HttpServer.h"

#include "ClientAddress.h"
#include "ListenAddress.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>

namespace {

// How long a server out of descriptors waits before it accepts again.
constexpr int OUT_OF_FILES_PAUSE_MS = 100;
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
      m_refused(std::move(refused)), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_clients(limits.connectionsPerClient, m_trustedProxies),
      m_pool(limits.maxThreads, limits.waitingConnections) {}

HttpServer::~HttpServer() {
    Stop();
    m_pool.Shutdown();
    if (m_listenFd >= 0) {
        close(m_listenFd);
    }
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
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
    const std::uint64_t one = 1;
    if (m_wakeFd >= 0 && write(m_wakeFd, &one, sizeof one) < 0) {
        // The counter is full only if it was woken already.
    }
}

bool HttpServer::Run() {
    std::vector<Silent> silent;
    std::vector<pollfd> watched;
    while (!m_stop.load() && m_listenFd >= 0) {
        // While too many wait silently, new connections stay in the kernel's backlog.
        const bool accepting = silent.size() < m_limits.silentConnections;
        watched.assign({{m_wakeFd, POLLIN, 0}, {accepting ? m_listenFd : -1, POLLIN, 0}});
        auto wakeAt = HttpClock::time_point::max();
        for (const Silent& connection : silent) {
            watched.push_back({connection.fd, POLLIN, 0});
            wakeAt = std::min(wakeAt, connection.deadline);
        }
        const auto untilWake =
            std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - HttpClock::now());
        const int timeout =
            silent.empty() ? -1 : static_cast<int>(std::max<long long>(1, untilWake.count()));
        if ((poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) ||
            m_stop.load()) {
            break;
        }
        HandOver(silent, watched);
        if ((watched[1].revents & POLLIN) != 0) {
            Accept(silent);
        }
    }
    for (const Silent& connection : silent) {
        Close(connection.fd, connection.peer);
    }
    m_pool.Shutdown();
    return m_stop.load();
}

// Those that spoke (or hung up) go to a thread; those silent too long are closed.
void HttpServer::HandOver(std::vector<Silent>& silent, const std::vector<pollfd>& watched) {
    const auto now = HttpClock::now();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < silent.size(); ++i) {
        const int fd = silent[i].fd;
        if (watched[i + 2].revents != 0) {
            if (!m_pool.Submit([this, fd, peer = silent[i].peer] { Serve(fd, peer); })) {
                Close(fd, silent[i].peer);
            }
        } else if (now >= silent[i].deadline) {
            Close(fd, silent[i].peer);
        } else {
            if (kept != i) {
                silent[kept] = std::move(silent[i]);
            }
            ++kept;
        }
    }
    silent.resize(kept);
}

void HttpServer::Accept(std::vector<Silent>& silent) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    const int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&address), &size, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE) {
            // Out of descriptors: let connections end before taking more.
            poll(nullptr, 0, OUT_OF_FILES_PAUSE_MS);
        }
        return;
    }
    std::string peer = PeerAddressText(address);
    const ClientConnections::Admission admission = m_clients.Admit(peer);
    if (admission != ClientConnections::Admission::Admitted) {
        RefuseConnection(fd, peer, admission);
        return;
    }
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    silent.push_back({fd, HttpClock::now() + m_limits.firstByte, std::move(peer)});
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

void HttpServer::Close(int fd, const std::string& peer) {
    close(fd);
    m_clients.Release(peer);
}

void HttpServer::Serve(int fd, const std::string& peer) {
    HttpConnection connection(fd, m_stop);
    for (std::size_t served = 0; served < m_limits.requestsPerConnection; ++served) {
        // A connection that says nothing (more) is closed without a word.
        if (connection.Buffer().empty() &&
            !connection.Fill(HttpClock::now() + m_limits.keepAlive)) {
            break;
        }
        HttpRequest request;
        request.remoteAddress = peer;
        request.clientAddress = peer;
        if (!ServeRequest(connection, request, served + 1 == m_limits.requestsPerConnection)) {
            break;
        }
    }
    Close(fd, peer);
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
