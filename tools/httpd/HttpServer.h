// SPDX-License-Identifier: MIT
#pragma once

#include "ClientConnections.h"
#include "HttpLimits.h"
#include "HttpMessage.h"
#include "RequestReader.h"

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

// Why a server of our own: both services face the network, so every limit and every rule
// for a request that front ends could read differently (two lengths, a folded line, a
// bare CR or NUL; see RequestReader) must be ours to set and test; the services and
// their package depend on no HTTP library (cpp-httplib was dropped).
//
class ConnectionLoop;

// A small HTTP/1.1 server with every limit its own: the size of the head and of the
// body, the number of header lines, the time a request may take as a whole (so a client
// that trickles bytes is cut off too), the time a connection may stay silent, and the
// number of threads. A connection gets a thread only while it sends a request and is
// answered (see ConnectionLoop), so a crowd of silent or keep-alive connections costs a
// descriptor each, not a thread, and one client address holds only so many connections
// at once. A request over a limit is answered
// (413, 431, 408, 429) and its connection closed; nothing a client sends grows memory
// beyond the limits.
//
// A service registers what it answers, method and path, before Run(). Another path is
// answered 404, another method 405 with Allow. A HEAD to a path that answers GET gets
// the GET handler's headers without its body. A handler may stream a body too large to
// hold, or hold the connection without an answer; the time to write an answer is bounded
// either way, and a held connection ends when its client hangs up or the server stops.
class HttpServer final {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    // Sees the requests answered by the server itself rather than by a handler.
    using Logger = std::function<void(const HttpRequest&, int status, const std::string& reason)>;
    using Limits = HttpLimits;

    explicit HttpServer(Limits limits = {}, Logger refused = nullptr);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before Run(); path without a query.
    void Handle(std::string method, std::string path, Handler handler);
    // Before Run(): every path that begins with prefix and goes on after it (the handler
    // checks the rest, which is the client's text).
    void HandleBelow(std::string method, std::string prefix, Handler handler);
    // Listens on host:port (0: any free port); the port, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop(); connections being served end within a tenth of a second. False
    // when it ended without a Stop(): never bound, or the listening socket failed.
    bool Run();
    // From any thread, also before Run().
    void Stop();

private:
    struct Route {
        std::string method;
        std::string path;
        Handler handler;
        bool below = false; // path is a prefix

        bool Matches(const std::string& requested) const {
            return below ? requested.size() > path.size() && requested.starts_with(path)
                         : requested == path;
        }
    };

    bool Admit(int fd, const std::string& peer);
    void RefuseConnection(int fd, const std::string& peer, ClientConnections::Admission admission);
    bool Serve(HttpConnection& connection, const std::string& peer, std::size_t& served);
    bool ServeRequest(HttpConnection& connection, HttpRequest& request, bool lastAllowed);
    HttpRefusal FindRoute(const HttpRequest& request, const Route*& route,
                          std::string& allow) const;
    void Refuse(HttpConnection& connection, const HttpRequest& request, HttpRefusal refusal,
                const std::string& allow);
    bool Answer(HttpConnection& connection, const HttpRequest& request, const Route& route,
                bool keepAlive);

    const Limits m_limits;
    const std::set<std::string> m_trustedProxies;
    Logger m_refused;
    std::vector<Route> m_routes;
    int m_listenFd = -1;
    std::atomic<bool> m_stop{false};
    ClientConnections m_clients;
    std::unique_ptr<ConnectionLoop> m_loop;
};
