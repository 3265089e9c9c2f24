// SPDX-License-Identifier: MIT
#pragma once

#include "ConnectionPool.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// One request as the handler gets it: the body whole, de-chunked.
struct HttpRequest {
    std::string method;
    std::string path;
    std::string contentType;
    std::string body;
    std::string remoteAddress;
};

struct HttpAnswer {
    int status = 200;
    std::string text;
    std::vector<std::pair<std::string, std::string>> headers; // beside the usual ones
};

// A small HTTP/1.1 server for short form posts, with every limit its own: the size of
// the head and of the body, the number of header lines, the time a request may take as a
// whole (so a client that trickles bytes is cut off too), the time a connection may stay
// silent, and the number of threads. A new connection gets a thread only once it sends
// something, so a crowd of silent connections costs a descriptor each, not a thread. A
// request over a limit is answered (413, 431, 408) and its connection closed; nothing a
// client sends grows memory beyond the limits.
class HttpListener final {
public:
    using Handler = std::function<HttpAnswer(const HttpRequest&)>;
    using Logger = std::function<void(const HttpRequest&, int status, const char* reason)>;

    struct Limits {
        std::size_t maxHead = 8 * 1024;
        std::size_t maxHeaderLines = 64;
        std::size_t maxBody = 64 * 1024;
        // A new connection waits for its first byte without a thread; at most this many.
        std::size_t silentConnections = 1024;
        std::chrono::milliseconds firstByte{2000};
        std::chrono::milliseconds keepAlive{1000};    // for the next request on a connection
        std::chrono::milliseconds wholeRequest{5000}; // from its first byte to its last
        std::chrono::milliseconds answer{3000};       // to write the answer
        std::size_t requestsPerConnection = 100;
        // Connections that are sending get a thread each, up to this many; more wait.
        std::size_t maxThreads = 128;
        std::size_t waitingConnections = 1024;
    };

    // handler answers requests for path; other paths get 404, other methods 405.
    // refused sees the requests answered here rather than by the handler.
    HttpListener(std::string path, Handler handler, Logger refused, Limits limits);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    // Listens on host:port (0: any free port); the port, or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop(); connections being served end within a tenth of a second.
    void Run();
    // From any thread, also before Run().
    void Stop();

private:
    void Serve(int fd);

    const std::string m_path;
    Handler m_handler;
    Logger m_refused;
    const Limits m_limits;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    std::atomic<bool> m_stop{false};
    ConnectionPool m_pool;
};
