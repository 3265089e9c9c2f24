// SPDX-License-Identifier: MIT
#include "support/ChartServerProcess.h"
#include "support/PngTestDecoder.h"
#include "support/PriceBandCheck.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* CHART = "/NewCharts/gold/images/gold_1d_o_USD.png";
constexpr const char* NOTIFY = "/price_notify.php";
constexpr std::size_t READ_LIMIT = 64u * 1024u * 1024u;

struct Reply {
    bool answered = false; // a status line arrived
    int status = 0;
    std::string head;
    std::string body;

    std::string Header(const std::string& name) const {
        const std::string key = "\r\n" + name + ": ";
        const std::size_t at = head.find(key);
        if (at == std::string::npos) {
            return {};
        }
        const std::size_t start = at + key.size();
        return head.substr(start, head.find("\r\n", start) - start);
    }
};

// A connected socket, or -1.
int Connect(int port, const std::string& host = "127.0.0.1") {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& bytes) {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// One request on a fresh connection to 127.0.0.1, read until the server closes it. The
// silence limit only ends the wait for a server that does not answer.
Reply Exchange(int port, const std::string& request, int silenceSeconds = 20,
               const std::string& host = "127.0.0.1") {
    Reply reply;
    const int fd = Connect(port, host);
    if (fd < 0) {
        return reply;
    }
    timeval timeout{silenceSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string raw;
    if (SendAll(fd, request)) {
        char buffer[65536];
        for (ssize_t n; raw.size() < READ_LIMIT && (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            raw.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) {
        return reply;
    }
    reply.answered = true;
    reply.status = std::stoi(raw.substr(9, 3));
    reply.head = raw.substr(0, end + 2);
    reply.body = raw.substr(end + 4);
    return reply;
}

std::string Get(const char* path) {
    return std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

Reply GetChart(const ChartServerProcess& server) {
    return Exchange(server.Port(), Get(CHART));
}

// The form as the program posts it.
std::string NotifyRequest(const std::vector<std::pair<std::string, std::string>>& fields) {
    const std::string delimiter = "-----------------------------7da138124d076e";
    std::string body;
    for (const auto& [name, value] : fields) {
        body += delimiter + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
                value + "\r\n";
    }
    body += delimiter + "--\r\n";
    return std::string("POST ") + NOTIFY +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n"
           "Content-Type: multipart/form-data; boundary=---------------------------7da138124d076e"
           "\r\nConnection: close\r\nCache-Control: no-cache\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

::testing::AssertionResult ShowsPrice(const Reply& reply, const std::string& price) {
    if (reply.status != 200 || reply.Header("Content-Type") != "image/png") {
        return ::testing::AssertionFailure()
               << "status " << reply.status << ", type " << reply.Header("Content-Type");
    }
    DecodedPng png;
    if (!DecodePngForTest(std::vector<std::uint8_t>(reply.body.begin(), reply.body.end()), png)) {
        return ::testing::AssertionFailure() << "the body is no PNG";
    }
    return HasPriceBand(png.ToRgba8(), price);
}

bool DecodesAsPng(const std::string& body) {
    DecodedPng png;
    return DecodePngForTest(std::vector<std::uint8_t>(body.begin(), body.end()), png);
}

class ChartServerTest : public ::testing::Test {
protected:
    TempDir m_dir;
};

TEST_F(ChartServerTest, ServesAFreshReadableChartAndStopsCleanly) {
    ChartServerProcess server(m_dir.Path(), {"--start", "1650.00", "--seed", "4"});
    ASSERT_TRUE(server.Listening());
    // The port file is written before the line is printed.
    WaitUntil([&] { return !server.OutputLines("listening on ").empty(); },
              std::chrono::seconds(60));
    ASSERT_FALSE(server.OutputLines("listening on ").empty());
    EXPECT_EQ(server.OutputLines("listening on ")[0],
              "listening on http://127.0.0.1:" + std::to_string(server.Port()));

    const Reply reply = GetChart(server);
    EXPECT_TRUE(ShowsPrice(reply, "1650.00"));
    EXPECT_EQ(reply.Header("Cache-Control"), "no-cache");
    DecodedPng png;
    ASSERT_TRUE(
        DecodePngForTest(std::vector<std::uint8_t>(reply.body.begin(), reply.body.end()), png));
    EXPECT_EQ(png.width, 500);
    EXPECT_EQ(png.height, 300);

    EXPECT_EQ(Exchange(server.Port(), Get("/other.png")).status, 404);
    EXPECT_EQ(server.Stop(SIGTERM), 0);
}

class ChartServerEncoding : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ChartServerEncoding, KeepsTheBandReadableInEveryFullColourEncoding) {
    TempDir dir;
    std::vector<std::string> args = {"--prices", "1234.56", "--seed", "2"};
    args.insert(args.end(), GetParam().begin(), GetParam().end());
    ChartServerProcess server(dir.Path(), args);
    ASSERT_TRUE(server.Listening());
    EXPECT_TRUE(ShowsPrice(GetChart(server), "1234.56"));
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ChartServerEncoding,
    ::testing::Values(std::vector<std::string>{"--encoding", "palette8"},
                      std::vector<std::string>{"--encoding", "rgba16", "--interlace"},
                      std::vector<std::string>{"--encoding", "gray8"},
                      std::vector<std::string>{"--encoding", "grayalpha16", "--interlace"}));

TEST_F(ChartServerTest, ListensOnTheLoopbackAddressOnly) {
    ChartServerProcess server(m_dir.Path(), {});
    ASSERT_TRUE(server.Listening());
    // 127.0.0.2 is loopback too: a server bound to every address would answer there.
    EXPECT_FALSE(Exchange(server.Port(), Get(CHART), 20, "127.0.0.2").answered);
    EXPECT_TRUE(Exchange(server.Port(), Get(CHART)).answered);
    EXPECT_EQ(server.Stop(SIGINT), 0);
}

TEST_F(ChartServerTest, ScriptedPricesAdvancePerChartAndStayOnTheLast) {
    const std::string file = m_dir.File("prices.txt");
    std::ofstream(file) << "1701.00\n 1699.99\r\n";
    ChartServerProcess server(m_dir.Path(),
                              {"--prices", "1650.25,1662.5", "--prices-file", file, "--quiet"});
    ASSERT_TRUE(server.Listening());
    for (const char* price : {"1650.25", "1662.50", "1701.00", "1699.99", "1699.99"}) {
        EXPECT_TRUE(ShowsPrice(GetChart(server), price)) << price;
    }
    EXPECT_TRUE(server.OutputLines("chart:").empty());
}

TEST_F(ChartServerTest, RandomWalkMovesByAtMostTheStepAndFollowsTheSeed) {
    std::vector<std::vector<std::string>> runs;
    for (int run = 0; run < 2; ++run) {
        TempDir dir;
        ChartServerProcess server(dir.Path(), {"--start", "1650", "--step", "3", "--seed", "11"});
        ASSERT_TRUE(server.Listening());
        for (int i = 0; i < 6; ++i) {
            ASSERT_EQ(GetChart(server).status, 200);
        }
        runs.push_back(server.OutputLines("chart: "));
    }
    ASSERT_EQ(runs[0].size(), 6u);
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(runs[0][0], "chart: 1650.00");
    bool moved = false;
    for (std::size_t i = 1; i < runs[0].size(); ++i) {
        const double step = std::stod(runs[0][i].substr(7)) - std::stod(runs[0][i - 1].substr(7));
        EXPECT_LE(std::abs(step), 3.0 + 1e-9) << runs[0][i];
        moved = moved || step != 0.0;
    }
    EXPECT_TRUE(moved);
}

struct FaultCase {
    const char* mode;
    std::function<void(const Reply&)> check;
};

class ChartServerFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ChartServerFault, MisbehavesAsToldAfterTheNormalChartsAndLeavesThePriceAlone) {
    TempDir dir;
    ChartServerProcess server(
        dir.Path(), {"--prices", "1600,1700", "--fault", GetParam().mode, "--fault-after", "1"});
    ASSERT_TRUE(server.Listening());
    EXPECT_TRUE(ShowsPrice(GetChart(server), "1600.00"));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        GetParam().check(GetChart(server));
    }
    EXPECT_EQ(server.OutputLines("chart: fault " + std::string(GetParam().mode)).size(), 2u);
    EXPECT_EQ(server.Stop(SIGTERM), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ChartServerFault,
    ::testing::Values(FaultCase{"status:404",
                                [](const Reply& r) {
                                    EXPECT_EQ(r.status, 404);
                                    EXPECT_FALSE(DecodesAsPng(r.body));
                                }},
                      FaultCase{"status:503", [](const Reply& r) { EXPECT_EQ(r.status, 503); }},
                      FaultCase{"status:304",
                                [](const Reply& r) {
                                    EXPECT_EQ(r.status, 304);
                                    EXPECT_TRUE(r.body.empty());
                                }},
                      FaultCase{"garbage",
                                [](const Reply& r) {
                                    EXPECT_EQ(r.status, 200);
                                    EXPECT_GE(r.body.size(), 1024u);
                                    EXPECT_FALSE(DecodesAsPng(r.body));
                                }},
                      FaultCase{"truncated",
                                [](const Reply& r) {
                                    EXPECT_EQ(r.status, 200);
                                    EXPECT_GT(r.body.size(), 100u);
                                    EXPECT_EQ(r.body.compare(1, 3, "PNG"), 0);
                                    EXPECT_FALSE(DecodesAsPng(r.body));
                                }},
                      FaultCase{"oversized",
                                [](const Reply& r) {
                                    EXPECT_EQ(r.status, 200);
                                    EXPECT_EQ(r.Header("Content-Length"), "20971520");
                                    EXPECT_EQ(r.body.size(), 20971520u);
                                    EXPECT_EQ(r.body.compare(1, 3, "PNG"), 0);
                                }}),
    [](const ::testing::TestParamInfo<FaultCase>& param) {
        std::string name = param.param.mode;
        name.erase(std::remove(name.begin(), name.end(), ':'), name.end());
        return name;
    });

TEST_F(ChartServerTest, AStalledRequestGetsNoAnswerAndDoesNotHoldUpTheStop) {
    ChartServerProcess server(m_dir.Path(), {"--faults", "stall,ok", "--start", "1650"});
    ASSERT_TRUE(server.Listening());
    const Reply stalled = Exchange(server.Port(), Get(CHART), 1);
    EXPECT_FALSE(stalled.answered);
    EXPECT_EQ(server.OutputLines("chart: fault stall").size(), 1u);
    EXPECT_TRUE(ShowsPrice(GetChart(server), "1650.00")); // the script moved on
    EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST_F(ChartServerTest, StopsCleanlyWhileARequestStalls) {
    ChartServerProcess server(m_dir.Path(), {"--fault", "stall"});
    ASSERT_TRUE(server.Listening());
    const int fd = Connect(server.Port());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, Get(CHART)));
    // Until the request is held; the bound only keeps a broken server from hanging the test.
    WaitUntil([&] { return !server.OutputLines("chart: fault stall").empty(); },
              std::chrono::seconds(60));
    ASSERT_EQ(server.OutputLines("chart: fault stall").size(), 1u);
    EXPECT_EQ(server.Stop(SIGTERM), 0);
    close(fd);
}

TEST_F(ChartServerTest, PrintsEachNotificationFormOnOneLine) {
    ChartServerProcess server(m_dir.Path(), {});
    ASSERT_TRUE(server.Listening());
    Reply reply = Exchange(server.Port(), NotifyRequest({{"type", "gold"},
                                                         {"email", "a@b.c"},
                                                         {"last", "1650.00"},
                                                         {"new", "1662.50"},
                                                         {"chg", "12.50"}}));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "OK");
    // Empty values stay visible; control characters cannot break the line.
    reply = Exchange(server.Port(), NotifyRequest({{"chg", ""},
                                                   {"type", "gold"},
                                                   {"email", "x\ty\x1b[2J"},
                                                   {"last", ""},
                                                   {"new", "Obtaining..."},
                                                   {"extra", "1"}}));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(server.OutputLines("notify:"),
              (std::vector<std::string>{
                  "notify: type=gold email=a@b.c last=1650.00 new=1662.50 chg=12.50",
                  "notify: type=gold email=x\\x09y\\x1B[2J last= new=Obtaining... chg= extra=1"}));
}

TEST_F(ChartServerTest, RefusesOversizedAndNonFormPosts) {
    ChartServerProcess server(m_dir.Path(), {});
    ASSERT_TRUE(server.Listening());
    const Reply big = Exchange(
        server.Port(), NotifyRequest({{"type", "gold"}, {"email", std::string(100000, 'a')}}));
    EXPECT_EQ(big.status, 413);
    const Reply plain =
        Exchange(server.Port(), std::string("POST ") + NOTIFY +
                                    " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                    "Content-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(plain.status, 400);
    EXPECT_EQ(server.OutputLines("notify:"),
              std::vector<std::string>{"notify: rejected, not a multipart form"});
    EXPECT_EQ(server.Stop(SIGTERM), 0);
}

class ChartServerCommandLine
    : public ::testing::TestWithParam<std::pair<std::vector<std::string>, int>> {};

TEST_P(ChartServerCommandLine, EndsWithTheExpectedCode) {
    TempDir dir;
    std::string out;
    EXPECT_EQ(RunChartServerToEnd(dir.Path(), GetParam().first, out), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Options, ChartServerCommandLine,
    ::testing::Values(std::make_pair(std::vector<std::string>{"--help"}, 0),
                      std::make_pair(std::vector<std::string>{"--port", "65536"}, 2),
                      std::make_pair(std::vector<std::string>{"--prices", "1650,-1"}, 2),
                      std::make_pair(std::vector<std::string>{"--prices", "1e3"}, 2),
                      std::make_pair(std::vector<std::string>{"--prices-file", "/nonexistent"}, 2),
                      std::make_pair(std::vector<std::string>{"--fault", "status:99"}, 2),
                      std::make_pair(std::vector<std::string>{"--faults", "ok,,stall"}, 2),
                      std::make_pair(std::vector<std::string>{"--width", "0"}, 2),
                      std::make_pair(std::vector<std::string>{"--encoding", "jpeg"}, 2),
                      std::make_pair(std::vector<std::string>{"--bogus"}, 2)));

} // namespace
