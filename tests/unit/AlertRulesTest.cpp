// SPDX-License-Identifier: MIT
// Price paths through the tracker and its alert rules, on a clock of the test's own and
// local time set to UTC, against a real settings file.
#include "core/app/PriceTracker.h"

#include "core/common/Globals.h"
#include "core/settings/AlertSettings.h"
#include "core/settings/Settings.h"
#include "support/IniFixture.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

class NotifyRecorder final : public IPriceWindow {
public:
    void PostPriceUpdate(const PriceUpdate& update) override {
        if (update.code == PRICE_UPDATE_NOTIFY) {
            told.push_back(update.tipLastPrice + ">" + update.lastPrice);
        }
    }
    std::vector<std::string> told; // "from>to" of each notification
};

// A price read at a time of 2026-12-08 (UTC), or what the user does meanwhile.
struct Step {
    const char* at; // "HH:MM:SS"
    const char* price;
};
constexpr const char* RESET = "reset";     // orvantis --reset-reference
constexpr const char* RESTART = "restart"; // a new tracker, as after the program was killed

struct PathCase {
    const char* name;
    const char* ini;
    std::vector<Step> path;
    std::vector<std::string> told;
};

class AlertRulesTest : public ::testing::TestWithParam<PathCase> {
protected:
    AlertRulesTest() {
        tzset();
        g_pMainDlg.store(&m_window);
    }
    ~AlertRulesTest() override {
        g_pMainDlg.store(nullptr);
        m_tz.reset();
        tzset();
    }

    std::unique_ptr<ScopedEnv> m_tz = std::make_unique<ScopedEnv>("TZ", "UTC");
    IniFixture m_ini;
    NotifyRecorder m_window;
};

std::int64_t At(const char* clock) {
    return *ParseUtcInstant(std::string("2026-12-08T") + clock + "Z");
}

TEST_P(AlertRulesTest, TellsEachMoveOnceAndNothingWhileHeld) {
    const PathCase& c = GetParam();
    m_ini.WriteIni(c.ini);
    std::int64_t now = 0;
    auto tracker = std::make_unique<CPriceTracker>([&now] { return now; });
    for (const Step& step : c.path) {
        now = At(step.at);
        if (std::string(step.price) == RESET) {
            EXPECT_EQ(CPriceTracker::ResetReference(), "");
        } else if (std::string(step.price) == RESTART) {
            tracker = std::make_unique<CPriceTracker>([&now] { return now; });
        } else {
            int waitingFlag = 1;
            EXPECT_TRUE(tracker->ProcessNewPrice(step.price, waitingFlag)) << step.price;
        }
    }
    EXPECT_EQ(m_window.told, c.told);
    // Rules nobody set leave the file without their section; text that is not a rule's
    // form stays as the user wrote it.
    const std::string ini = m_ini.ReadIni();
    EXPECT_EQ(ini.find("[Alerts]") == std::string::npos,
              std::string(c.ini).find("[Alerts]") == std::string::npos);
    if (const char* malformed = std::strstr(c.ini, "PercentChange=abc")) {
        EXPECT_NE(ini.find(std::string(malformed)), std::string::npos) << ini;
    }
}

constexpr const char* BY_TEN = "[Option]\nLastPrice=1650.00\nPriceChange=10\n";

INSTANTIATE_TEST_SUITE_P(
    Paths, AlertRulesTest,
    ::testing::Values(
        PathCase{"ThreeThresholdStepsTellThree",
                 BY_TEN,
                 {{"10:00:00", "1660"},
                  {"10:02:00", "1665"},
                  {"10:04:00", "1670"},
                  {"10:06:00", "1680"}},
                 {"1650.00>1660.00", "1660.00>1670.00", "1670.00>1680.00"}},
        PathCase{"AWobbleInsideTheBandTellsOnce",
                 "[Option]\nLastPrice=2398.00\nPriceChange=100\n"
                 "[Alerts]\nAlertAbove=2400\nLevelBand=5\n",
                 {{"10:00:00", "2399"},
                  {"10:02:00", "2400"},
                  {"10:04:00", "2399"},
                  {"10:06:00", "2401"},
                  {"10:08:00", "2396"},
                  {"10:10:00", "2402.5"},
                  {"10:12:00", "2394.99"},
                  {"10:14:00", "2400"}},
                 {"2398.00>2400.00", "2400.00>2400.00"}},
        PathCase{"ALevelToldStaysToldAfterARestart",
                 "[Option]\nLastPrice=1610.00\nPriceChange=100\n[Alerts]\nAlertBelow=1600\n",
                 {{"10:00:00", "1600"},
                  {"10:00:01", RESTART},
                  {"10:02:00", "1599"},
                  {"10:04:00", "1600.5"},
                  {"10:06:00", "1601.01"},
                  {"10:08:00", "1599.5"}},
                 {"1610.00>1600.00", "1600.00>1599.50"}},
        PathCase{"PercentAndDollarWhicheverComesFirst",
                 "[Option]\nLastPrice=2000.00\nPriceChange=30\n[Alerts]\nPercentChange=0.5\n",
                 {{"10:00:00", "2009.99"},
                  {"10:02:00", "2010"},
                  {"10:04:00", "2019"},
                  {"10:06:00", "1990"}},
                 {"2000.00>2010.00", "2010.00>1990.00"}},
        PathCase{"DollarBeforeALargerPercent",
                 "[Option]\nLastPrice=2000.00\nPriceChange=30\n[Alerts]\nPercentChange=5\n",
                 {{"10:00:00", "2029.99"}, {"10:02:00", "2030"}},
                 {"2000.00>2030.00"}},
        PathCase{"QuietHoursAcrossMidnightThenOneWithTheWholeChange",
                 "[Option]\nLastPrice=1650.00\nPriceChange=10\n[Alerts]\nQuietHours=22:00-07:00\n",
                 {{"21:59:00", "1655"},
                  {"22:00:00", "1670"},
                  {"03:00:00", "1690"},
                  {"06:59:59", "1700"},
                  {"07:00:00", "1702"},
                  {"07:02:00", "1705"}},
                 {"1650.00>1702.00"}},
        PathCase{"SnoozeThenOneWithTheWholeChange",
                 "[Option]\nLastPrice=1650.00\nPriceChange=10\n"
                 "[Alerts]\nSnoozeUntil=2026-12-08T14:30:00Z\nAlertAbove=1700\n",
                 {{"14:00:00", "1700"},
                  {"14:29:59", "1720"},
                  {"14:30:00", "1721"},
                  {"14:32:00", "1725"}},
                 {"1650.00>1721.00"}},
        PathCase{
            "ResetReferenceMovesTheReferenceSilently",
            BY_TEN,
            {{"10:00:00", "1655"}, {"10:01:00", RESET}, {"10:02:00", "1664"}, {"10:04:00", "1665"}},
            {"1655.00>1665.00"}},
        PathCase{"MalformedKeysReadAsOff",
                 "[Option]\nLastPrice=1650.00\nPriceChange=10\n"
                 "[Alerts]\nPercentChange=abc\nAlertAbove=1,655\nAlertBelow=x\nLevelBand=-1\n"
                 "QuietHours=25:00-07:00\nSnoozeUntil=tomorrow\n",
                 {{"10:00:00", "1655"}, {"10:02:00", "1660"}},
                 {"1650.00>1660.00"}}),
    CaseName());

} // namespace
