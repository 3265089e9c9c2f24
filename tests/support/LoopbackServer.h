// SPDX-License-Identifier: MIT
#pragma once

#include "core/common/HttpTransport.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// One HTTP request as it arrived, byte for byte.
struct LoopbackRequest {
    std::string raw;                                          // head and body
    std::string requestLine;                                  // without its CR LF
    std::vector<std::pair<std::string, std::string>> headers; // in the order sent
    std::string body;

    // The value of the first header of that name (any case), empty when none.
    std::string Header(std::string_view name) const;
};

class LoopbackServer;

// The handler's side of one connection.
class LoopbackConnection final {
public:
    // Sends bytes; false once the client is gone or the server stops.
    bool Send(std::string_view bytes);
    // Keeps the connection open without a word until the server stops.
    void StallUntilStopped();

private:
    friend class LoopbackServer;
    LoopbackConnection(LoopbackServer& server, int fd) : m_server(server), m_fd(fd) {}
    LoopbackServer& m_server;
    int m_fd;
};

// A raw HTTP server on 127.0.0.1 (a free port) for tests: every connection gets one
// request read whole, then the handler answers it on the connection's own thread and the
// connection is closed. Stop() (or the destructor) ends stalls and joins every thread.
class LoopbackServer final {
public:
    using Handler = std::function<void(const LoopbackRequest&, LoopbackConnection&)>;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return m_port; }
    std::string Url() const; // "http://127.0.0.1:<port>"
    int ConnectionCount() const;
    std::vector<LoopbackRequest> Requests() const;
    // Waits until `count` requests have arrived; false when the time ran out first.
    bool WaitForRequests(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    void Stop();

    // A whole answer with Content-Length and "Connection: close".
    static std::string Response(int status, std::string_view body,
                                std::string_view extraHeaders = {});
    // A handler that answers every request with Response(status, body).
    static Handler Reply(int status, std::string body);
    // A handler that reads the request and never answers.
    static Handler Stall();
    // A handler that sends a 200 head without a length and then `total` bytes of 'x' (or
    // until the client leaves), so the body ends only when the connection closes.
    static Handler Stream(long long total);

private:
    friend class LoopbackConnection;
    void AcceptLoop();
    void Serve(int fd);

    Handler m_handler;
    int m_listenFd = -1;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    mutable std::condition_variable m_requestArrived;
    bool m_stopping = false;
    int m_connections = 0;
    std::vector<int> m_openFds;
    std::vector<LoopbackRequest> m_requests;
    std::vector<std::thread> m_threads;
    std::thread m_acceptThread;
};

// Short limits for transfers in tests, so that a stalled server costs about a second.
HttpOptions QuickHttpOptions();
