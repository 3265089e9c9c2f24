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
    EXPECT_EQ(requests[1].requestLine, "GET /NewCharts/gold/images/gold_1d_o_USD.png HTTP/1.1");
    EXPECT_EQ(requests[1].Header("User-Agent").rfind("Orvantis/", 0), 0u);
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
