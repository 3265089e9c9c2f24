// SPDX-License-Identifier: MIT
// A restart of the publisher takes the day back from its state folder.
#include "ChartdConfig.h"
#include "feed/HttpQuoteFeed.h"
#include "publish/ChartPublisher.h"
#include "publish/QuoteLoop.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

namespace {

// One run of the publisher on the folder, its clock at `now`.
struct Publisher {
    Publisher(const ChartdConfig& config, std::int64_t& now)
        : board(config.staleAfterSeconds), quotes(config.feed, nullptr),
          loop(config, quotes, board, [&now] { return now; }) {}
    ChartBoard board;
    HttpQuoteFeed quotes;
    QuoteLoop loop;
};

TEST(ChartdRestart, DrawsTheSameDayAndLetsPointsOlderThanADayDropOut) {
    std::atomic<int> served{0};
    LoopbackServer feed([&served](const LoopbackRequest&, LoopbackConnection& connection) {
        const int n = served++;
        connection.Send(
            LoopbackServer::Response(200, "[" + std::to_string(1660 + n % 5 * 2.5) + "]"));
    });
    TempDir folder;
    ChartdConfig config;
    config.feed.url = feed.Url();
    config.feed.pointer = "/0";
    config.stateDir = folder.Path();
    config.publishDir = folder.Path();
    const std::string published = folder.File(ChartPublisher::FILE_NAME);
    std::int64_t now = 1800000000;

    std::string before;
    {
        Publisher first(config, now);
        for (int i = 0; i < 8; ++i) {
            now += 600;
            first.loop.Sample();
        }
        before = first.board.Look(now).chart->png;
    }
    ::testing::internal::CaptureStderr();
    Publisher second(config, now);
    second.loop.Restore();
    const ChartBoard::View restored = second.board.Look(now);
    ASSERT_TRUE(restored.chart);
    EXPECT_TRUE(restored.live);
    EXPECT_EQ(restored.chart->png, before) << "the restart draws another chart";
    EXPECT_TRUE(std::filesystem::exists(published));

    // A day later than the third point: the first three are gone, and the last price is
    // far too old to be served as live.
    now += DayHistory::DAY_SECONDS - 5 * 600 + 1;
    std::filesystem::remove(published);
    Publisher third(config, now);
    third.loop.Restore();
    EXPECT_FALSE(third.board.Look(now).live);
    EXPECT_FALSE(std::filesystem::exists(published));
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                ::testing::HasSubstr("took back 5 prices of the day"));
}

} // namespace
