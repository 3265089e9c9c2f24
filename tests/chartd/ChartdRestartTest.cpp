// SPDX-License-Identifier: MIT
// A restart of the publisher takes the day back from its state folder.
#include "ChartdConfig.h"
#include "feed/HttpQuoteFeed.h"
#include "feed/QuoteNumber.h"
#include "publish/ChartPublisher.h"
#include "publish/QuoteLoop.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

struct StateCase {
    const char* name;
    std::string lines; // after the header; T1 and T2 stand for two minutes of the last hour
    double minPrice;
    const char* served; // the price of the live chart after the restart, "-" for none
    const char* logged;
};

class ChartdStateFile : public ::testing::TestWithParam<StateCase> {};

// A state file that a full disk or a kill cut short, or that today's limits refuse, gives
// no price to the chart; temporary files of writes that a kill cut short are removed.
TEST_P(ChartdStateFile, ServesOnlyWholeLinesWithinTheLimits) {
    const StateCase& c = GetParam();
    TempDir folder;
    ChartdConfig config;
    config.feed.url = "http://127.0.0.1:1/";
    config.feed.pointer = "/0";
    config.limits.minPrice = c.minPrice;
    config.stateDir = folder.Path();
    config.publishDir = folder.Path();
    std::int64_t now = 1800000000;
    std::string lines = c.lines;
    lines.replace(lines.find("T1"), 2, std::to_string(now - 120));
    lines.replace(lines.find("T2"), 2, std::to_string(now - 60));
    std::ofstream(folder.File(QuoteLoop::STATE_FILE)) << "orvantis-chartd day 1\n" << lines;
    const std::vector<std::string> leftovers = {".day.state.Ab12Cd", ".gold_1d_o_USD.png.x9Y8z7"};
    for (const std::string& name : leftovers) {
        std::ofstream(folder.File(name)) << "cut";
    }

    ::testing::internal::CaptureStderr();
    Publisher publisher(config, now);
    publisher.loop.Restore();
    const ChartBoard::View view = publisher.board.Look(now);
    EXPECT_EQ(view.live ? QuoteText(view.chart->price) : "-", c.served);
    EXPECT_EQ(std::filesystem::exists(folder.File(ChartPublisher::FILE_NAME)), view.live);
    for (const std::string& name : leftovers) {
        EXPECT_FALSE(std::filesystem::exists(folder.File(name))) << name;
    }
    EXPECT_THAT(::testing::internal::GetCapturedStderr(), ::testing::HasSubstr(c.logged));
}

INSTANTIATE_TEST_SUITE_P(
    States, ChartdStateFile,
    ::testing::Values(
        StateCase{"Whole", "T1 1662.5\nT2 1669.5\n", 1, "1669.50", "took back 2 prices"},
        StateCase{"LastLineCut", "T1 1662.5\nT2 16", 1, "1662.50", "left out 1 lines"},
        StateCase{"LastPriceBelowTheLimit", "T1 1662.5\nT2 16\n", 1000, "1662.50",
                  "left out 1 lines"},
        StateCase{"NoPriceWithinTheLimits", "T1 16.5\nT2 16\n", 1000, "-", "took back 0 prices"}),
    [](const ::testing::TestParamInfo<StateCase>& param) { return param.param.name; });

} // namespace
