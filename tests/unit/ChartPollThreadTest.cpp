// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartPollThread.h"
#include "core/acquisition/UnreadableChart.h"

#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"
#include "core/app/PriceTracker.h"
#include "core/common/Globals.h"
#include "core/common/HttpTransport.h"
#include "core/settings/Settings.h"
#include "support/IniFixture.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace {

using namespace std::chrono_literals;

class FakeWindow final : public IPriceWindow {
public:
    void PostPriceUpdate(const PriceUpdate& update) override {
        std::lock_guard lock(m_mutex);
        m_posts.push_back(update.code);
        m_posted.notify_all();
    }
    // The posts so far, after waiting (boundedly) for at least one.
    std::vector<int> WaitForPosts() {
        std::unique_lock lock(m_mutex);
        m_posted.wait_for(lock, 20s, [this] { return !m_posts.empty(); });
        return m_posts;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::vector<int> m_posts;
};

// Records each wait, and moves its clock on by it instead of waiting; reports a stop once
// it has waited `waitsBeforeStop` times.
class RecordingSleeper final : public ISleeper {
public:
    explicit RecordingSleeper(std::size_t waitsBeforeStop) : m_limit(waitsBeforeStop) {}
    bool SleepMs(int ms) override {
        waits.push_back(ms);
        m_nowMs += ms;
        if (onWait) {
            onWait(waits.size());
        }
        return waits.size() < m_limit;
    }
    std::int64_t NowMs() override { return m_nowMs; }
    void Advance(std::int64_t ms) { m_nowMs += ms; }
    std::vector<int> waits;
    std::function<void(std::size_t)> onWait;

private:
    std::size_t m_limit;
    std::int64_t m_nowMs = 0;
};

class PollWithWindowTest : public ::testing::Test {
protected:
    PollWithWindowTest() { g_pMainDlg.store(&m_window); }
    ~PollWithWindowTest() override { g_pMainDlg.store(nullptr); }
    FakeWindow m_window;
};

// A poll loop whose reader answers from a script (one entry a poll, then nothing) and
// whose tracker accepts every text that holds a non-zero number.
struct ScriptedPolls {
    explicit ScriptedPolls(std::vector<std::optional<std::string>> readings)
        : script(std::move(readings)) {
        hooks.download = [this](CByteBuffer&, const std::atomic<bool>&,
                                const std::function<void()>&) {
            ++polls;
            return DownloadReport{};
        };
        hooks.read = [this](const std::uint8_t*, int) -> ChartReadResult {
            const std::size_t index = static_cast<std::size_t>(polls) - 1;
            if (index < script.size() && script[index]) {
                return {ChartReadStatus::Ok, *script[index]};
            }
            return {ChartReadStatus::NoAnchor, {}};
        };
        hooks.track = [this](const std::string& text, int& waitingFlag) {
            tracked.push_back(text);
            const bool accepted = ParseDouble(text, 0.0) != 0.0;
            if (accepted) {
                waitingFlag = 0;
            }
            return accepted;
        };
    }
    std::vector<int> Run(std::size_t waits) {
        RecordingSleeper sleeper(waits);
        ChartPollThread(hooks, sleeper, stop);
        return sleeper.waits;
    }

    std::vector<std::optional<std::string>> script;
    ChartPollHooks hooks;
    std::atomic<bool> stop{false};
    int polls = 0;
    std::vector<std::string> tracked;
};

const std::vector<int> QUICK_WAITS = {3000, 4000, 5000,  6000,  7000,
                                      8000, 9000, 10000, 11000, 12000};

std::vector<int> Then(std::vector<int> waits, std::initializer_list<int> more) {
    waits.insert(waits.end(), more);
    return waits;
}

struct ScheduleCase {
    const char* name;
    std::vector<std::optional<std::string>> readings;
    std::vector<int> waits;
    std::size_t trackerCalls;
};

class PollScheduleTest : public PollWithWindowTest,
                         public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(PollScheduleTest, WaitsExactlyAsScheduled) {
    ScriptedPolls polls(GetParam().readings);
    const std::size_t waitCount = GetParam().waits.size();
    EXPECT_EQ(polls.Run(waitCount), GetParam().waits);
    EXPECT_EQ(polls.polls, static_cast<int>(waitCount));
    EXPECT_EQ(polls.tracked.size(), GetParam().trackerCalls);
}

const std::optional<std::string> NONE;
const std::optional<std::string> PRICE = "1650.25";

INSTANTIATE_TEST_SUITE_P(
    Schedules, PollScheduleTest,
    ::testing::Values(
        ScheduleCase{"UnreachableServer", {}, Then(QUICK_WAITS, {120000, 120000, 120000}), 0},
        ScheduleCase{"FirstPollRead", {PRICE, PRICE, PRICE}, {120000, 120000, 120000}, 3},
        ScheduleCase{"PriceAfterTheFourthQuickWait",
                     {NONE, NONE, NONE, NONE, PRICE},
                     {3000, 4000, 5000, 6000, 120000, 120000},
                     1},
        ScheduleCase{"ZeroTextsKeepPollingQuickly",
                     {"", "0", "", "0.00", "", "", "", "", "", "", ""},
                     Then(QUICK_WAITS, {120000}),
                     11},
        ScheduleCase{"PriceAfterTheQuickWaitsChangesNothing",
                     {NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, NONE, PRICE},
                     Then(QUICK_WAITS, {120000, 120000, 120000}),
                     1}),
    [](const auto& param) { return param.param.name; });

TEST(PollLoopTest, WithoutAMainWindowItNeverPolls) {
    ScriptedPolls polls({});
    EXPECT_TRUE(polls.Run(5).empty());
    EXPECT_EQ(polls.polls, 0);
}

TEST_F(PollWithWindowTest, TheLoopEndsWhenTheMainWindowGoes) {
    ScriptedPolls polls({});
    RecordingSleeper sleeper(100);
    sleeper.onWait = [](std::size_t waits) {
        if (waits == 3) {
            g_pMainDlg.store(nullptr);
        }
    };
    ChartPollThread(polls.hooks, sleeper, polls.stop);
    EXPECT_EQ(sleeper.waits.size(), 3u);
    EXPECT_EQ(polls.polls, 3);
}

TEST_F(PollWithWindowTest, AStopDuringTheDownloadSkipsTheTracker) {
    ScriptedPolls polls({PRICE, PRICE});
    polls.hooks.download = [&polls](CByteBuffer&, const std::atomic<bool>&,
                                    const std::function<void()>&) {
        ++polls.polls;
        polls.stop = true;
        return DownloadReport{};
    };
    EXPECT_EQ(polls.Run(100).size(), 1u);
    EXPECT_TRUE(polls.tracked.empty());
}

struct StaleCase {
    const char* name;
    int staleSeconds;
    const char* polls; // one poll each: P a price read, x none, H none and a download that
                       // still runs when the limit has passed
    const char* stale; // after each poll (and during each H): S stale, . not
};

class StaleClockTest : public PollWithWindowTest,
                       public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleClockTest, GoesStaleOnlyAfterTheLimitWithoutAPrice) {
    const StaleCase& c = GetParam();
    std::vector<std::optional<std::string>> readings;
    for (const char* p = c.polls; *p != '\0'; ++p) {
        readings.push_back(*p == 'P' ? PRICE : NONE);
    }
    ScriptedPolls polls(readings);
    CPollStatus status(std::chrono::seconds(c.staleSeconds));
    std::string seen;
    RecordingSleeper sleeper(readings.size());
    sleeper.onWait = [&](std::size_t) { seen += status.Snapshot().stale ? 'S' : '.'; };
    polls.hooks.download = [&](CByteBuffer&, const std::atomic<bool>&,
                               const std::function<void()>& tick) {
        if (c.polls[polls.polls++] == 'H') {
            sleeper.Advance(c.staleSeconds * 1000LL);
            tick();
            seen += status.Snapshot().stale ? 'S' : '.';
        }
        return DownloadReport{};
    };
    ChartPollThread(polls.hooks, sleeper, polls.stop, &status);
    EXPECT_EQ(seen, c.stale);
}

INSTANTIATE_TEST_SUITE_P(
    Polls, StaleClockTest,
    ::testing::Values(
        StaleCase{"NeverWhilePricesCome", 600, "PPPPPPPPPP", ".........."},
        StaleCase{"AfterFiveRegularPollsWithoutAPrice", 600, "Pxxxxxx", ".....SS"},
        StaleCase{"ClearedByOnePrice", 600, "PxxxxxP", ".....S."},
        StaleCase{"NoFlickerWhenAnswersAlternate", 600, "PxPxPxPxPxPx", "............"},
        StaleCase{"FourBadPollsBetweenPricesAreNotEnough", 600, "PxxxxPxxxxP", "..........."},
        StaleCase{"NoPriceAtAllOnceTheQuickPollsAreOver", 600, "xxxxxxxxxxxxP", "..........SS."},
        StaleCase{"AShortLimitPollsAFifthOfItApart", 5, "Pxxxxxx", ".....SS"},
        StaleCase{"AShortLimitBeforeTheQuickPollsEnd", 5, "xxxxP", "..SS."},
        StaleCase{"ADownloadPastTheLimitDoesNotHoldItOff", 5, "PHP", ".SS."}),
    [](const auto& param) { return param.param.name; });

// The real thread with the program's own download, reader and tracker.
class PollThreadTest : public PollWithWindowTest {
protected:
    void Use(const LoopbackServer& server) {
        setenv("ORVANTIS_CHART_SERVER", server.Url().c_str(), 1);
    }
    ~PollThreadTest() override { unsetenv("ORVANTIS_CHART_SERVER"); }
    // The chart source with the program's tracker, as the main window puts them together.
    static ChartPollHooks ProgramHooks(const HttpOptions& limits = {}) {
        ChartPollHooks hooks = ChartSourceHooks(limits);
        hooks.track = [tracker = CPriceTracker()](const std::string& text, int& flag) mutable {
            return tracker.ProcessNewPrice(text, flag);
        };
        return hooks;
    }
    IniFixture m_ini;
};

template <typename F> std::chrono::steady_clock::duration TimeOf(F f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::steady_clock::now() - start;
}

TEST_F(PollThreadTest, StopEndsADownloadFromAServerThatNeverAnswers) {
    LoopbackServer server(LoopbackServer::Stall());
    Use(server);
    CChartPollThread thread(ProgramHooks());
    thread.Start();
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_LT(TimeOf([&] { thread.Stop(); }), 5s);
}

TEST_F(PollThreadTest, ReadsAServedChartAndStopsDuringTheLongWait) {
    ChartSpec drawn;
    drawn.priceText = "1662.50";
    const std::vector<std::uint8_t> png = EncodePng(DrawChart(drawn));
    ASSERT_FALSE(png.empty());
    LoopbackServer server(LoopbackServer::Reply(200, std::string(png.begin(), png.end())));
    Use(server);
    CChartPollThread thread(ProgramHooks());
    thread.Start();
    EXPECT_EQ(m_window.WaitForPosts(), std::vector<int>{PRICE_UPDATE_NOTIFY});
    EXPECT_EQ(ReadSetting(KEY_CURRENT_PRICE, ""), "1662.50");
    EXPECT_LT(TimeOf([&] { thread.Stop(); }), 5s);
    EXPECT_EQ(server.Requests().size(), 1u);
}

enum class Serve { Nobody, Stall, Oversize, Reply };

struct OutcomeCase {
    const char* name;
    Serve serve;
    int status;
    std::string body;
    PollResult result;
    const char* words; // in the reason the user reads
    bool kept;         // the body lands in the cache file
};

class PollOutcomeTest : public PollThreadTest, public ::testing::WithParamInterface<OutcomeCase> {
protected:
    TempDir m_cache;
    ScopedEnv m_cacheHome{"XDG_CACHE_HOME", m_cache.Path()};
};

TEST_P(PollOutcomeTest, SaysWhyAPollFromARealServerReadNoPrice) {
    const OutcomeCase& c = GetParam();
    std::optional<LoopbackServer> server;
    switch (c.serve) {
    case Serve::Nobody:
        Use(LoopbackServer(LoopbackServer::Stall())); // closed again at once
        break;
    case Serve::Stall:
        Use(server.emplace(LoopbackServer::Stall()));
        break;
    case Serve::Oversize:
        Use(server.emplace(LoopbackServer::Stream(CHART_BODY_MAX + 1024LL * 1024)));
        break;
    case Serve::Reply:
        Use(server.emplace(LoopbackServer::Reply(c.status, c.body)));
        break;
    }
    const ChartPollHooks hooks = ProgramHooks(QuickHttpOptions());
    CPollStatus status{std::chrono::seconds(STALE_SECONDS_DEFAULT)};
    RecordingSleeper onePoll(1);
    ChartPollThread(hooks, onePoll, std::atomic<bool>{false}, &status);

    const PollOutcome outcome = status.Snapshot().last;
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_NE(DescribeOutcome(outcome).find(c.words), std::string::npos)
        << DescribeOutcome(outcome);
    std::ifstream kept(UnreadableChartPath(), std::ios::binary);
    std::ostringstream keptBytes;
    keptBytes << kept.rdbuf();
    EXPECT_EQ(keptBytes.str(), c.kept ? c.body : "");
}

std::string Chart(const char* priceText, bool anchor) {
    ChartSpec drawn;
    drawn.priceText = priceText;
    drawn.anchor = anchor;
    const std::vector<std::uint8_t> png = EncodePng(DrawChart(drawn));
    return {png.begin(), png.end()};
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PollOutcomeTest,
    ::testing::Values(OutcomeCase{"Refused", Serve::Nobody, 0, "", PollResult::Unreachable,
                                  "could not be reached", false},
                      OutcomeCase{"Stall", Serve::Stall, 0, "", PollResult::TimedOut,
                                  "did not answer in time", false},
                      OutcomeCase{"NotFound", Serve::Reply, 404, "gone", PollResult::HttpStatus,
                                  "HTTP status 404", false},
                      OutcomeCase{"ServerError", Serve::Reply, 500, "oops", PollResult::HttpStatus,
                                  "HTTP status 500", false},
                      OutcomeCase{"Oversize", Serve::Oversize, 0, "", PollResult::TooLarge,
                                  "too large", false},
                      OutcomeCase{"Garbage", Serve::Reply, 200, "GIF89a\x01\x02 not a chart",
                                  PollResult::NotPng, "not a PNG image", true},
                      OutcomeCase{"PngWithoutTheAnchor", Serve::Reply, 200, Chart("1662.50", false),
                                  PollResult::NoAnchor, "(no anchor)", true},
                      OutcomeCase{"AnchorWithoutDigits", Serve::Reply, 200, Chart("", true),
                                  PollResult::NoDigits, "(no digits after the anchor)", true}),
    [](const auto& param) { return param.param.name; });

} // namespace
