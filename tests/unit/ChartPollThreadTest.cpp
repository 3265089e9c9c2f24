// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartPollThread.h"

#include "chartgen/ChartPainter.h"
#include "chartgen/PngWriter.h"
#include "core/app/PriceTracker.h"
#include "core/app/Settings.h"
#include "core/common/Globals.h"
#include "core/common/HttpSession.h"
#include "support/IniFixture.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;

class FakeWindow final : public IPriceWindow {
public:
    void PostPriceUpdate(int wParam) override {
        std::lock_guard lock(m_mutex);
        m_posts.push_back(wParam);
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

// Records each wait; reports a stop once it has waited `waitsBeforeStop` times.
class RecordingSleeper final : public ISleeper {
public:
    explicit RecordingSleeper(std::size_t waitsBeforeStop) : m_limit(waitsBeforeStop) {}
    bool SleepMs(int ms) override {
        waits.push_back(ms);
        if (onWait) {
            onWait(waits.size());
        }
        return waits.size() < m_limit;
    }
    std::vector<int> waits;
    std::function<void(std::size_t)> onWait;

private:
    std::size_t m_limit;
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
        hooks.download = [this](CByteBuffer&, const std::atomic<bool>&) { ++polls; };
        hooks.read = [this](const std::uint8_t*, int) -> std::optional<std::string> {
            const std::size_t index = static_cast<std::size_t>(polls) - 1;
            return index < script.size() ? script[index] : std::nullopt;
        };
        hooks.track = [this](const std::string& text, int& waitingFlag) {
            tracked.push_back(text);
            if (ParseDouble(text, 0.0) != 0.0) {
                waitingFlag = 0;
            }
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
    polls.hooks.download = [&polls](CByteBuffer&, const std::atomic<bool>&) {
        ++polls.polls;
        polls.stop = true;
    };
    EXPECT_EQ(polls.Run(100).size(), 1u);
    EXPECT_TRUE(polls.tracked.empty());
}

// The real thread with the program's own download, reader and tracker.
class PollThreadTest : public PollWithWindowTest {
protected:
    void Use(const LoopbackServer& server) {
        setenv("ORVANTIS_CHART_SERVER", server.Url().c_str(), 1);
    }
    ~PollThreadTest() override { unsetenv("ORVANTIS_CHART_SERVER"); }
    // The chart source with the program's tracker, as the main window puts them together.
    static ChartPollHooks ProgramHooks() {
        ChartPollHooks hooks = ChartSourceHooks();
        hooks.track = ProcessNewPrice;
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

} // namespace
