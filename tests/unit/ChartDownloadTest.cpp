// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartDownload.h"

#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

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

TEST(ChartDownloadTest, AnAnswerThatTricklesOnEndsAtTheTotalTimeOut) {
    LoopbackServer server([](const LoopbackRequest&, LoopbackConnection& c) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n");
        while (c.Send("x")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
