// SPDX-License-Identifier: MIT
#include "httpd/HttpServer.h"
#include "httpd/HttpCaching.h"
#include "support/LoopbackClient.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// When the served version changed last.
constexpr std::time_t CHANGED = 784111777;
const std::string CHANGED_TEXT = "Sun, 06 Nov 1994 08:49:37 GMT";
const std::string ETAG = "\"v1\"";
constexpr std::size_t CONNECTIONS_PER_CLIENT = 2;

// A chart path with validators, a form path that echoes its body, and a path whose
// handler fails, on a server whose body limit and connection cap are its own.
class ServerRun {
public:
    explicit ServerRun(const HttpServer::Limits& limits = Limits()) : m_server(limits) {
        m_server.Handle("GET", "/chart", [](const HttpRequest& request) {
            if (NotModified(request, ETAG, CHANGED)) {
                return HttpResponse{304, {}, {{"ETag", ETAG}}};
            }
            return HttpResponse{200, "PNGDATA", {{"ETag", ETAG}}, "image/png"};
        });
        m_server.Handle("POST", "/form", [](const HttpRequest& request) {
            return HttpResponse{200, request.body};
        });
        m_server.Handle("GET", "/fail", [](const HttpRequest&) -> HttpResponse {
            throw std::runtime_error("handler failed");
        });
        m_port = m_server.Bind("127.0.0.1", 0);
        m_thread = std::thread([this] { m_server.Run(); });
    }
    ~ServerRun() {
        m_server.Stop();
        m_thread.join();
    }
    ServerRun(const ServerRun&) = delete;
    ServerRun& operator=(const ServerRun&) = delete;

    int Port() const { return m_port; }

    // Each answer to the bytes as "<status> <Content-Length and Allow headers> | <body>".
    std::vector<std::string> Answers(const std::string& bytes) const {
        const std::string all = ExchangeLoopback(m_port, bytes);
        std::vector<std::string> answers;
        for (std::size_t at = all.find("HTTP/1.1 "); at != std::string::npos;) {
            const std::size_t next = all.find("HTTP/1.1 ", at + 1);
            const std::string answer = all.substr(at, next - at);
            const std::size_t headEnd = answer.find("\r\n\r\n");
            std::string summary = answer.substr(9, 3);
            for (const char* name : {"\r\nContent-Length: ", "\r\nAllow: "}) {
                const std::size_t field = answer.find(name);
                if (field < headEnd) {
                    summary +=
                        " " + answer.substr(field + 2, answer.find('\r', field + 2) - field - 2);
                }
            }
            answers.push_back(summary + " | " + answer.substr(headEnd + 4));
            at = next;
        }
        return answers;
    }

    static HttpServer::Limits Limits() {
        HttpServer::Limits limits;
        limits.maxBody = 10;
        limits.connectionsPerClient = CONNECTIONS_PER_CLIENT;
        return limits;
    }

private:
    HttpServer m_server;
    int m_port = 0;
    std::thread m_thread;
};

struct ExchangeCase {
    const char* label;
    std::string bytes;
    std::vector<std::string> answers;
};

void PrintTo(const ExchangeCase& exchange, std::ostream* out) {
    *out << exchange.label;
}

class HttpServerTest : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(HttpServerTest, AnswersEachRequestOfAConnectionInTurn) {
    ServerRun run;
    EXPECT_EQ(run.Answers(GetParam().bytes), GetParam().answers);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Exchanges, HttpServerTest, ::testing::Values(
    ExchangeCase{"GET, then HEAD with the same length and no body, then a conditional GET",
                 "GET /chart HTTP/1.1\r\n\r\nHEAD /chart HTTP/1.1\r\n\r\n"
                 "GET /chart HTTP/1.1\r\nIf-None-Match: W/\"v1\"\r\n\r\n",
                 {"200 Content-Length: 7 | PNGDATA", "200 Content-Length: 7 | ", "304 | "}},
    ExchangeCase{"a query, and a copy no older than the version",
                 "GET /chart?at=now HTTP/1.1\r\nIf-Modified-Since: " + CHANGED_TEXT + "\r\n\r\n", {"304 | "}},
    ExchangeCase{"a method the path does not answer", "POST /chart HTTP/1.1\r\nContent-Length: 2\r\n\r\nab",
                 {"405 Content-Length: 35 Allow: GET, HEAD | Method Not Allowed: only GET, HEAD\n"}},
    ExchangeCase{"HEAD of an unknown path", "HEAD /charts HTTP/1.1\r\n\r\n", {"404 Content-Length: 24 | "}},
    ExchangeCase{"a body within this server's limit, then one over it",
                 "POST /form HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123456789"
                 "POST /form HTTP/1.1\r\nContent-Length: 11\r\n\r\n0123456789a",
                 {"200 Content-Length: 10 | 0123456789",
                  "413 Content-Length: 38 | Payload Too Large: body over 10 bytes\n"}},
    ExchangeCase{"a handler that fails ends its connection",
                 "GET /fail HTTP/1.1\r\n\r\nGET /chart HTTP/1.1\r\n\r\n",
                 {"500 Content-Length: 22 | Internal Server Error\n"}}));
// clang-format on

TEST(HttpServerTest, OneAddressHoldsItsConnectionsAtMostAndGetsMoreAsTheyEnd) {
    ServerRun run;
    const int held[] = {ConnectLoopback(run.Port()), ConnectLoopback(run.Port())};
    EXPECT_EQ(run.Answers(""), std::vector<std::string>{"429 Content-Length: 55 | Too Many "
                                                        "Requests: over 2 connections from one "
                                                        "address\n"});
    close(held[0]);
    close(held[1]);
    const std::vector<std::string> served{"200 Content-Length: 7 | PNGDATA"};
    std::vector<std::string> answers; // the server sees the closes a moment later
    EXPECT_TRUE(WaitUntil([&] {
        answers = run.Answers("GET /chart HTTP/1.1\r\n\r\n");
        return answers == served;
    })) << ::testing::PrintToString(answers);
}

// Reads each connection's answer to one GET of the chart, as far as it comes before the
// deadline; how many came whole.
std::size_t ChartAnswers(const std::vector<int>& connections, std::chrono::milliseconds within) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    std::vector<std::string> answers(connections.size());
    std::size_t whole = 0;
    while (whole < connections.size() && std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> waiting;
        for (std::size_t i = 0; i < connections.size(); ++i) {
            if (!answers[i].ends_with("PNGDATA")) {
                waiting.push_back({connections[i], POLLIN, 0});
            }
        }
        poll(waiting.data(), waiting.size(), 100);
        for (const pollfd& ready : waiting) {
            char chunk[512];
            const auto at = std::find(connections.begin(), connections.end(), ready.fd);
            std::string& answer = answers[static_cast<std::size_t>(at - connections.begin())];
            const ssize_t got =
                (ready.revents & POLLIN) != 0 ? recv(ready.fd, chunk, sizeof chunk, 0) : 0;
            answer.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
            whole += got > 0 && answer.ends_with("PNGDATA") ? 1 : 0;
        }
    }
    return whole;
}

// Kept connections wait for their next request without a thread each: while a crowd of
// them idles, a newcomer is answered at once. (With a thread held through each one's
// keep-alive wait, the crowd would be served a pool at a time and the newcomer wait for
// all of them.)
TEST(HttpServerTest, ACrowdOfIdleKeptConnectionsLeavesANewcomerAnsweredWithinASecond) {
    constexpr std::size_t CROWD = 2000;
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 3 * CROWD));
    if (setrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur < 2 * CROWD + 100) {
        GTEST_SKIP() << "cannot open " << 2 * CROWD << " descriptors";
    }
    HttpServer::Limits limits = ServerRun::Limits();
    limits.connectionsPerClient = 0;
    limits.keepAlive = std::chrono::minutes(1);
    ServerRun run(limits);
    const std::string request = "GET /chart HTTP/1.1\r\n\r\n";
    std::vector<int> crowd;
    for (std::size_t i = 0; i < CROWD; ++i) {
        crowd.push_back(ConnectLoopback(run.Port()));
        send(crowd.back(), request.data(), request.size(), MSG_NOSIGNAL);
    }
    EXPECT_EQ(ChartAnswers(crowd, std::chrono::seconds(30)), CROWD) << "the crowd, all open";

    const std::vector<int> newcomer{ConnectLoopback(run.Port())};
    send(newcomer[0], request.data(), request.size(), MSG_NOSIGNAL);
    EXPECT_EQ(ChartAnswers(newcomer, std::chrono::seconds(1)), 1U);
    for (const int fd : crowd) {
        close(fd);
    }
    close(newcomer[0]);
}

struct ConditionCase {
    const char* label;
    const char* method;
    HttpHeaders headers;
    bool notModified;
};

void PrintTo(const ConditionCase& condition, std::ostream* out) {
    *out << condition.label;
}

class NotModifiedTest : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(NotModifiedTest, AnswersNotModifiedOnlyWhenTheClientHoldsThisVersion) {
    HttpRequest request;
    request.method = GetParam().method;
    request.headers = GetParam().headers;
    EXPECT_EQ(NotModified(request, ETAG, CHANGED), GetParam().notModified);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Validators, NotModifiedTest, ::testing::Values(
    ConditionCase{"the tag", "GET", {{"if-none-match", ETAG}}, true},
    ConditionCase{"the tag in a list", "HEAD", {{"if-none-match", "\"v0\" ,W/\"v1\""}}, true},
    ConditionCase{"any tag", "GET", {{"if-none-match", "*"}}, true},
    ConditionCase{"another tag", "GET", {{"if-none-match", "\"v2\", \"v1"}}, false},
    ConditionCase{"the tag, for a POST", "POST", {{"if-none-match", ETAG}}, false},
    ConditionCase{"another tag with a date that would match", "GET",
                  {{"if-none-match", "\"v2\""}, {"if-modified-since", CHANGED_TEXT}}, false},
    ConditionCase{"a date a second before the change", "GET",
                  {{"if-modified-since", "Sun, 06 Nov 1994 08:49:36 GMT"}}, false},
    ConditionCase{"a date after the change", "GET", {{"if-modified-since", "Thu, 01 Jan 2015 00:00:00 GMT"}}, true},
    ConditionCase{"a date in the future", "GET", {{"if-modified-since", "Fri, 01 Jan 2100 00:00:00 GMT"}}, false},
    ConditionCase{"an obsolete date form", "GET", {{"if-modified-since", "Sunday, 06-Nov-94 08:49:37 GMT"}}, false},
    ConditionCase{"a date out of range", "GET", {{"if-modified-since", "Sun, 06 Nov 1994 25:49:37 GMT"}}, false}));
// clang-format on

TEST(NotModifiedTest, WritesTheDateItReads) {
    EXPECT_EQ(HttpDate(CHANGED), CHANGED_TEXT);
    EXPECT_EQ(ParseHttpDate(CHANGED_TEXT), CHANGED);
}

} // namespace
