// SPDX-License-Identifier: MIT
// The publisher against a loopback quote feed: which answers reach the published chart.
#include "ChartdConfig.h"
#include "core/acquisition/ChartReader.h"
#include "feed/CommandQuoteFeed.h"
#include "feed/HttpQuoteFeed.h"
#include "publish/ChartPublisher.h"
#include "publish/QuoteLoop.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <tuple>

namespace {

using ::testing::HasSubstr;

struct FeedCase {
    const char* name;
    std::vector<std::string> answers; // one a sample: a JSON body, "status 500" or "stall"
    std::string published;            // the price read from the published file after each
                                      // sample, "-" while there is none
    const char* logged;
};

void Answer(const std::string& answer, LoopbackConnection& connection) {
    if (answer == "stall") {
        connection.StallUntilStopped();
    } else if (answer.starts_with("status ")) {
        connection.Send(LoopbackServer::Response(std::stoi(answer.substr(7)), "{}"));
    } else {
        connection.Send(LoopbackServer::Response(200, answer));
    }
}

std::string Quote(const std::string& price) {
    return R"({"gold":{"currency":"USD","price":)" + price + "}}";
}

// The price on the published chart as the program reads it, "-" without a file.
std::string PublishedPrice(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        return "-";
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string png = bytes.str();
    const auto text = ReadChartPrice(reinterpret_cast<const std::uint8_t*>(png.data()),
                                     static_cast<int>(png.size()));
    return text.value_or("unreadable");
}

// The published price after each of `samples` samples, "-" while there is none, and
// what the publisher logged meanwhile.
std::pair<std::string, std::string> Publish(ChartdConfig& config, QuoteFeed& quotes,
                                            const TempDir& folder, std::size_t samples) {
    config.feed.intervalSeconds = 1;
    config.stateDir = folder.Path();
    config.publishDir = folder.Path();
    std::int64_t now = 1800000000;
    ChartBoard board(config.staleAfterSeconds);
    QuoteLoop loop(config, quotes, board, [&now] { return now; });
    ::testing::internal::CaptureStderr();
    std::string published;
    for (std::size_t i = 0; i < samples; ++i) {
        loop.Sample();
        now += 30;
        published += (i == 0 ? "" : ",") + PublishedPrice(folder.File(ChartPublisher::FILE_NAME));
    }
    return {published, ::testing::internal::GetCapturedStderr()};
}

class ChartdFeed : public ::testing::TestWithParam<FeedCase> {};

TEST_P(ChartdFeed, PublishesOnlyQuotesThatPassTheChecks) {
    const FeedCase& c = GetParam();
    std::atomic<std::size_t> served{0};
    LoopbackServer feed([&c, &served](const LoopbackRequest&, LoopbackConnection& connection) {
        Answer(c.answers[std::min(served++, c.answers.size() - 1)], connection);
    });
    TempDir folder;
    ChartdConfig config;
    config.feed.url = feed.Url() + "/v1/quote?symbol=XAU";
    config.feed.pointer = "/gold/price";
    config.feed.intervalSeconds = 1;
    HttpQuoteFeed quotes(config.feed, nullptr);
    const auto [published, log] = Publish(config, quotes, folder, c.answers.size());
    EXPECT_EQ(published, c.published);
    EXPECT_THAT(log, HasSubstr(c.logged));
}

const std::string TEN_MIB_OF_NESTING(10 * 1024 * 1024, '[');

INSTANTIATE_TEST_SUITE_P(
    Answers, ChartdFeed,
    ::testing::Values(
        FeedCase{"Good",
                 {Quote("1662.5"), Quote("1662.75")},
                 "-,1662.75",
                 "held: 1662.50 is the first quote"},
        FeedCase{"NumericString",
                 {Quote("\"1662.50\""), Quote("\" 1.6626e3\"")},
                 "-,1662.60",
                 "confirms"},
        FeedCase{
            "MissingPointer", {R"({"gold":{"bid":1662.5}})"}, "-", "feed: no value at /gold/price"},
        FeedCase{"NaN", {Quote("\"NaN\"")}, "-", "rejected: nan is not a finite positive number"},
        FeedCase{"Negative",
                 {Quote("-1662.5")},
                 "-",
                 "rejected: -1662.50 is not a finite positive number"},
        FeedCase{"Huge",
                 {Quote("16625000")},
                 "-",
                 "rejected: 16625000.00 is outside 1.00 to 1000000.00"},
        FeedCase{"SpikeThenBack",
                 {Quote("1662.5"), Quote("1662.5"), Quote("1830"), Quote("1663"), Quote("1830"),
                  Quote("1663.5")},
                 "-,1662.50,1662.50,1663.00,1663.00,1663.50",
                 "held: 1830.00 moves 10.08 % from 1662.50"},
        FeedCase{"ConfirmedMove",
                 {Quote("1662.5"), Quote("1662.5"), Quote("1830"), Quote("1831")},
                 "-,1662.50,1662.50,1831.00",
                 "accepted: 1831.00 confirms the held 1830.00"},
        FeedCase{"ServerError", {"status 500"}, "-", "feed: HTTP status 500"},
        FeedCase{"Stall", {"stall"}, "-", "feed: no whole answer within 1 s"},
        FeedCase{"TenMiB", {TEN_MIB_OF_NESTING}, "-", "feed: the answer is larger than 1 MiB"}),
    [](const ::testing::TestParamInfo<FeedCase>& param) { return param.param.name; });

struct CommandCase {
    const char* name;
    std::string script; // for sh -c; PIDS is a file that takes the pids it writes
    std::size_t samples;
    std::string published; // a pattern: whether a program reads as ended can be a race
    const char* logged;
};

class ChartdCommandFeed : public ::testing::TestWithParam<CommandCase> {};

// Whatever the program does, every sample ends within about the interval, and no program
// of the feed is left running.
TEST_P(ChartdCommandFeed, EndsEverySampleAndLeavesNoProgramBehind) {
    const CommandCase& c = GetParam();
    TempDir folder;
    const std::string pids = folder.File("pids");
    ChartdConfig config;
    config.feed.command = {"/bin/sh", "-c", "PIDS=" + pids + "; " + c.script};
    config.feed.intervalSeconds = 1;
    StopSignal stop;
    std::string published;
    std::string log;
    {
        CommandQuoteFeed quotes(config.feed, stop);
        std::tie(published, log) = Publish(config, quotes, folder, c.samples);
    }
    EXPECT_THAT(published, ::testing::MatchesRegex(c.published));
    EXPECT_THAT(log, HasSubstr(c.logged));
    std::ifstream written(pids);
    for (pid_t pid = 0; written >> pid;) {
        EXPECT_NE(kill(pid, 0), 0) << "program " << pid << " of the feed still runs";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ChartdCommandFeed,
    ::testing::Values(CommandCase{"PrintsAndEnds", "echo 1662.5", 2, "-,1662.50", "held: 1662.50"},
                      CommandCase{"ClosesItsOutputAndLivesOn",
                                  "echo $$ >>$PIDS; exec >&-; exec sleep 60", 2, "-,-",
                                  "closed its output but kept running; stopped it"},
                      CommandCase{"PrintsThenLivesOnSilently",
                                  "echo $$ >>$PIDS; echo 1662.5; exec >&-; exec sleep 60", 3,
                                  "-,(-|1662.50),1662.50", "stopped it, to start it afresh"}),
    [](const ::testing::TestParamInfo<CommandCase>& param) { return param.param.name; });

} // namespace
