// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartDownload.h"

#include "core/common/Globals.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

std::string ChartUrlOf(const LoopbackServer& server) {
    return server.Url() + CHART_PATH;
}

struct StatusCase {
    int status;
    int expectedResult;
};

class DownloadStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(DownloadStatusTest, OnlyASuccessStatusFillsTheBuffer) {
    LoopbackServer server(LoopbackServer::Reply(GetParam().status, "chart bytes"));
    CByteBuffer buffer;
    buffer.Append("old content");
    DownloadReport report;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), &report), GetParam().expectedResult);
    EXPECT_EQ(report.httpStatus, GetParam().status);
    EXPECT_EQ(buffer.View(), GetParam().expectedResult == 0 ? "chart bytes" : "");
}

INSTANTIATE_TEST_SUITE_P(Statuses, DownloadStatusTest,
                         ::testing::Values(StatusCase{200, 0}, StatusCase{203, 0},
                                           StatusCase{299, 0}, StatusCase{304, 1},
                                           StatusCase{404, 1}, StatusCase{500, 1},
                                           StatusCase{302, 1}));

TEST(ChartDownloadTest, EveryDownloadIsAFreshGetOfThePath) {
    LoopbackServer server(LoopbackServer::Reply(200, "png"));
    CByteBuffer buffer;
    ASSERT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server)), 0);
    ASSERT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server)), 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // Byte for byte, whichever transport sends it.
    EXPECT_EQ(requests[1].raw, "GET /NewCharts/gold/images/gold_1d_o_USD.png HTTP/1.1\r\nHost: "
                               "127.0.0.1:" +
                                   std::to_string(server.Port()) + "\r\nUser-Agent: " +
                                   HttpUserAgent() + "\r\nAccept: */*\r\n\r\n");
    EXPECT_EQ(buffer.View(), "png");
}

TEST(ChartDownloadTest, ALoopbackServerIsReachedPastAProxy) {
    LoopbackServer server(LoopbackServer::Reply(200, "png"));
    setenv("http_proxy", "http://127.0.0.1:9", 1); // nothing listens there
    CByteBuffer buffer;
    const int result = DownloadToBuffer(buffer, ChartUrlOf(server), QuickHttpOptions());
    unsetenv("http_proxy");
    EXPECT_EQ(result, 0);
}

TEST(ChartDownloadTest, AServerElsewhereIsAskedForThroughTheProxy) {
    LoopbackServer proxy(LoopbackServer::Reply(200, "png"));
    setenv("http_proxy", proxy.Url().c_str(), 1);
    CByteBuffer buffer;
    const int result = DownloadToBuffer(
        buffer, "http://chart.example.com" + std::string(CHART_PATH), QuickHttpOptions());
    unsetenv("http_proxy");
    EXPECT_EQ(result, 0);
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].raw, "GET http://chart.example.com" + std::string(CHART_PATH) +
                                           " HTTP/1.1\r\nHost: chart.example.com\r\n"
                                           "Proxy-Connection: Keep-Alive\r\nUser-Agent: " +
                                           HttpUserAgent() + "\r\nAccept: */*\r\n\r\n");
}

TEST(ChartDownloadTest, ABodyOfManyPiecesArrivesWhole) {
    std::string body;
    for (int i = 0; i < 300000; ++i) {
        body += static_cast<char>(i * 7 % 251);
    }
    LoopbackServer server(LoopbackServer::Reply(200, body));
    CByteBuffer buffer;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server)), 0);
    EXPECT_EQ(buffer.View(), body);
}

TEST(ChartDownloadTest, AnUnreachableServerIsANetworkFailure) {
    int port = 0;
    {
        LoopbackServer gone(LoopbackServer::Stall());
        port = gone.Port();
    }
    CByteBuffer buffer;
    DownloadReport report;
    EXPECT_EQ(DownloadToBuffer(buffer, "http://127.0.0.1:" + std::to_string(port) + CHART_PATH,
                               QuickHttpOptions(), &report),
              -1);
    EXPECT_EQ(report.httpStatus, 0);
    EXPECT_FALSE(report.error.empty());
    EXPECT_EQ(buffer.Size(), 0);
}

TEST(ChartDownloadTest, AStalledServerTimesOut) {
    LoopbackServer server(LoopbackServer::Stall());
    CByteBuffer buffer;
    DownloadReport report;
    const auto start = Clock::now();
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), QuickHttpOptions(), &report), -1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(report.error.empty());
}

// A server that never stops sending: slowly, or fast in the smallest chunks there are.
struct EndlessCase {
    const char* name;
    const char* head;
    std::string piece; // sent again and again, after a pause each time
    std::chrono::milliseconds pause;
};

std::string Repeated(std::string_view text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) {
        all += text;
    }
    return all;
}

class EndlessAnswerTest : public ::testing::TestWithParam<EndlessCase> {};

TEST_P(EndlessAnswerTest, EndsAtTheTotalTimeOut) {
    LoopbackServer server([](const LoopbackRequest&, LoopbackConnection& c) {
        c.Send(GetParam().head);
        while (c.Send(GetParam().piece)) {
            std::this_thread::sleep_for(GetParam().pause);
        }
    });
    HttpOptions options = QuickHttpOptions();
    options.totalTimeoutMs = 1500;
    CByteBuffer buffer;
    DownloadReport report;
    const auto start = Clock::now();
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), options, &report), -1);
    EXPECT_EQ(report.failure, DownloadFailure::TimedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, EndlessAnswerTest,
    ::testing::Values(EndlessCase{"Trickle", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", "x",
                                  std::chrono::milliseconds(100)},
                      EndlessCase{"OneByteChunks",
                                  "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                                  Repeated("1\r\nx\r\n", 10000), std::chrono::milliseconds(10)}),
    [](const auto& param) { return std::string(param.param.name); });

// The first server sends the client on to the second, which answers late, so that
// whatever the first connection does meanwhile (close, send more) comes first.
struct RedirectCase {
    const char* name;
    const char* host; // of the Location; a name is looked up by the program's resolver
    std::chrono::milliseconds closeAfter;
    const char* strayAnswer; // sent on the first connection after the redirect
};

class RedirectTest : public ::testing::TestWithParam<RedirectCase> {
protected:
    void SetUp() override {
        const std::string host = GetParam().host;
        if (host == "127.0.0.1") {
            return;
        }
        const char* transport = std::getenv("ORVANTIS_TEST_TRANSPORT");
        if (transport == nullptr || std::string_view(transport) != "qt") {
            GTEST_SKIP() << "libcurl looks names up itself, not through the program's resolver";
        }
        // The resolver helper beside the program, standing in for a hosts file and a slow
        // name server.
        const std::string helper = m_bin.File("orvantis-resolve");
        std::FILE* file = std::fopen(helper.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("#!/bin/sh\nsleep 0.2\necho 127.0.0.1\n", file);
        std::fclose(file);
        ASSERT_EQ(chmod(helper.c_str(), 0700), 0);
        m_oldExeDir = std::exchange(g_szExeDir, m_bin.Path());
    }
    void TearDown() override {
        if (!m_oldExeDir.empty()) {
            g_szExeDir = m_oldExeDir;
        }
    }

    TempDir m_bin;
    std::string m_oldExeDir;
};

TEST_P(RedirectTest, TheNextHopReadsOnlyItsOwnAnswer) {
    const RedirectCase& c = GetParam();
    LoopbackServer second([](const LoopbackRequest&, LoopbackConnection& connection) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        connection.Send(LoopbackServer::Response(200, "png"));
    });
    const std::string target = std::string(c.host) + ":" + std::to_string(second.Port());
    LoopbackServer first([&](const LoopbackRequest&, LoopbackConnection& connection) {
        connection.Send(LoopbackServer::Response(
            302, "", "Location: http://" + target + std::string(CHART_PATH) + "\r\n"));
        if (*c.strayAnswer != '\0') {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            connection.Send(c.strayAnswer);
        }
        std::this_thread::sleep_for(c.closeAfter);
    });
    CByteBuffer buffer;
    DownloadReport report;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(first), QuickHttpOptions(), &report), 0)
        << report.error;
    EXPECT_EQ(buffer.View(), "png");
    ASSERT_EQ(second.Requests().size(), 1u);
    EXPECT_EQ(second.Requests()[0].Header("Host"), target);
}

constexpr const char* STRAY = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nWRONG";
constexpr auto AT_ONCE = std::chrono::milliseconds(0);

INSTANTIATE_TEST_SUITE_P(
    Redirects, RedirectTest,
    ::testing::Values(RedirectCase{"ToANameAndClosed", "chart-mirror.test", AT_ONCE, ""},
                      RedirectCase{"ToANameThenMoreBytes", "chart-mirror.test",
                                   std::chrono::milliseconds(500), STRAY},
                      RedirectCase{"ToAnotherPortAndClosed", "127.0.0.1", AT_ONCE, ""},
                      RedirectCase{"ToAnotherPortClosedDuringTheNextHop", "127.0.0.1",
                                   std::chrono::milliseconds(150), STRAY}),
    [](const auto& param) { return std::string(param.param.name); });

// "/hops/N" sends the client on to "/hops/N-1", "/hops/0" answers; "/away" redirects to
// another kind of address.
TEST(ChartDownloadTest, FollowsFiveRedirectsToHttpAndNoMore) {
    LoopbackServer server([](const LoopbackRequest& request, LoopbackConnection& c) {
        const std::string path =
            request.requestLine.substr(4, request.requestLine.find(' ', 4) - 4);
        const int hops = path.starts_with("/hops/") ? std::stoi(path.substr(6)) : -1;
        const std::string to =
            hops > 0 ? "/hops/" + std::to_string(hops - 1) : "file:///etc/passwd";
        c.Send(hops == 0 ? LoopbackServer::Response(200, "png")
                         : LoopbackServer::Response(302, "", "Location: " + to + "\r\n"));
    });
    CByteBuffer buffer;
    EXPECT_EQ(DownloadToBuffer(buffer, server.Url() + "/hops/5", QuickHttpOptions()), 0);
    EXPECT_EQ(buffer.View(), "png");
    EXPECT_EQ(DownloadToBuffer(buffer, server.Url() + "/hops/6", QuickHttpOptions()), -1);
    EXPECT_EQ(DownloadToBuffer(buffer, server.Url() + "/away", QuickHttpOptions()), -1);
    EXPECT_EQ(server.Requests().size(), 6u + 6u + 1u);
}

TEST(ChartDownloadTest, AHalfSentBodyKeepsItsBytesOnFailure) {
    LoopbackServer server([](const LoopbackRequest&, LoopbackConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nhalf");
        c.StallUntilStopped();
    });
    CByteBuffer buffer;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), QuickHttpOptions()), -1);
    EXPECT_EQ(buffer.View(), "half");
}

TEST(ChartDownloadTest, AnAnnouncedOversizedBodyIsRefusedUnread) {
    LoopbackServer server([](const LoopbackRequest&, LoopbackConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 20000000\r\n\r\nxxxx");
        c.StallUntilStopped();
    });
    CByteBuffer buffer;
    DownloadReport report;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), QuickHttpOptions(), &report), -1);
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_NE(report.error.find("16 MiB"), std::string::npos);
}

TEST(ChartDownloadTest, AStreamPastTheCapIsCutAndDropped) {
    LoopbackServer server(LoopbackServer::Stream(CHART_BODY_MAX + 4LL * 1024 * 1024));
    CByteBuffer buffer;
    DownloadReport report;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), QuickHttpOptions(), &report), -1);
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Capacity(), 0);
    EXPECT_NE(report.error.find("16 MiB"), std::string::npos);
}

TEST(ChartDownloadTest, AStreamOfExactlyTheCapIsTaken) {
    LoopbackServer server(LoopbackServer::Stream(CHART_BODY_MAX));
    CByteBuffer buffer;
    EXPECT_EQ(DownloadToBuffer(buffer, ChartUrlOf(server), QuickHttpOptions()), 0);
    EXPECT_EQ(buffer.Size(), CHART_BODY_MAX);
}

TEST(ChartDownloadTest, TheTransfersOwnStopEndsAStall) {
    LoopbackServer server(LoopbackServer::Stall());
    std::atomic<bool> stop{false};
    HttpOptions options; // the program's own long limits
    options.stop = &stop;
    int result = 0;
    Clock::time_point end;
    std::thread transfer([&] {
        CByteBuffer buffer;
        result = DownloadToBuffer(buffer, ChartUrlOf(server), options);
        end = Clock::now();
    });
    if (!server.WaitForRequests(1)) {
        stop = true;
        transfer.join();
        FAIL() << "the request never arrived";
    }
    const auto raised = Clock::now();
    stop = true;
    transfer.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(end - raised, std::chrono::seconds(5));
}

} // namespace
