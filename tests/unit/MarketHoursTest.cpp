// SPDX-License-Identifier: MIT
#include "core/market/MarketHours.h"
#include "platform/common/WallClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using std::chrono::sys_seconds;

const std::string DATA_FILE = ORVANTIS_BIN_DIR "/../share/orvantis/market-hours.conf";

MarketHours Installed() {
    std::ifstream in(DATA_FILE);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    MarketHours hours = MarketHours::Parse(text.str(), error);
    EXPECT_EQ(error, "");
    return hours;
}

sys_seconds At(const char* utc) {
    return *WallClock::ParseInstant(utc);
}

// The trading days the installed file changes: minute of the close, or -1 for no session.
const std::map<std::string, int> SPECIAL_DAYS{
    {"2026-01-01", -1},           {"2026-01-19", 13 * 60 + 30}, {"2026-02-16", 13 * 60 + 30},
    {"2026-04-03", -1},           {"2026-05-25", 13 * 60 + 30}, {"2026-06-19", 13 * 60 + 30},
    {"2026-07-03", 13 * 60 + 30}, {"2026-09-07", 13 * 60 + 30}, {"2026-11-26", 13 * 60 + 30},
    {"2026-11-27", 13 * 60 + 45}, {"2026-12-24", 13 * 60 + 45}, {"2026-12-25", -1},
    {"2027-01-01", -1},           {"2027-01-18", 13 * 60 + 30}, {"2027-02-15", 13 * 60 + 30},
    {"2027-03-26", -1},           {"2027-05-31", 13 * 60 + 30}, {"2027-06-18", 13 * 60 + 30},
    {"2027-07-05", 13 * 60 + 30}, {"2027-09-06", 13 * 60 + 30}, {"2027-11-25", 13 * 60 + 30},
    {"2027-11-26", 13 * 60 + 45}, {"2027-12-23", 13 * 60 + 45}, {"2027-12-24", -1},
};

// The rules told once more the plain way, on the C library's own reading of the zone:
// Sunday 18:00 to Friday 17:00 New York time, a break 17:00-18:00, a session belonging to
// the day it ends on.
bool OpenByTheRules(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    const int minute = local.tm_hour * 60 + local.tm_min;
    const bool evening = minute >= 18 * 60;
    bool open = local.tm_wday == 0   ? evening
                : local.tm_wday == 6 ? false
                : local.tm_wday == 5 ? minute < 17 * 60
                                     : minute < 17 * 60 || evening;
    std::tm day = local;
    day.tm_mday += evening ? 1 : 0;
    day.tm_hour = 12;
    const std::time_t tradeNoon = mktime(&day);
    localtime_r(&tradeNoon, &day);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &day);
    if (const auto special = SPECIAL_DAYS.find(date); open && special != SPECIAL_DAYS.end()) {
        open = special->second >= 0 && (evening || minute < special->second);
    }
    return open;
}

TEST(MarketHoursTest, EveryMinuteOfTwoYearsFollowsTheInstalledFile) {
    const MarketHours hours = Installed();
    const char* previousTz = std::getenv("TZ");
    const std::string kept = previousTz != nullptr ? previousTz : "";
    setenv("TZ", "America/New_York", 1);
    tzset();
    const std::int64_t first = At("2026-01-01T00:00:00Z").time_since_epoch().count();
    const std::int64_t last = At("2028-01-01T00:00:00Z").time_since_epoch().count();
    std::vector<bool> open;
    for (std::int64_t t = first; t < last + 14 * 86400; t += 60) {
        open.push_back(OpenByTheRules(static_cast<std::time_t>(t)));
    }
    // Walked backwards, so the reopening of every closed minute is known when it is reached.
    std::int64_t reopening = 0;
    int mistakes = 0;
    for (std::size_t i = open.size(); i-- > 0;) {
        const std::int64_t t = first + static_cast<std::int64_t>(i) * 60;
        if (open[i] && (i == 0 || !open[i - 1])) {
            reopening = t;
        }
        if (t >= last || mistakes > 5) {
            continue;
        }
        const sys_seconds at{std::chrono::seconds{t}};
        const bool isOpen = hours.IsOpen(at);
        const auto next = isOpen ? std::nullopt : hours.NextOpen(at);
        const std::int64_t reopens = next ? next->time_since_epoch().count() : 0;
        if (isOpen != open[i] || (!isOpen && reopens != reopening)) {
            ++mistakes;
            ADD_FAILURE() << "at " << t << ": open " << isOpen << " reopening " << reopens
                          << ", expected " << open[i] << " " << reopening;
        }
    }
    if (previousTz != nullptr) {
        setenv("TZ", kept.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

struct Moment {
    const char* what;
    const char* at; // UTC
    bool open;
    const char* reopens; // UTC, while closed
};

class MarketHoursMomentTest : public testing::TestWithParam<Moment> {};

TEST_P(MarketHoursMomentTest, IsOpenOrSaysWhenItReopens) {
    const Moment& m = GetParam();
    const MarketHours hours = Installed();
    EXPECT_EQ(hours.IsOpen(At(m.at)), m.open) << m.what;
    if (!m.open) {
        EXPECT_EQ(hours.NextOpen(At(m.at)), At(m.reopens)) << m.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, MarketHoursMomentTest,
    testing::Values(
        Moment{"Saturday in winter", "2026-02-07T12:00:00Z", false, "2026-02-08T23:00:00Z"},
        Moment{"the Sunday clocks go forward, an hour earlier", "2026-03-08T21:59:00Z", false,
               "2026-03-08T22:00:00Z"},
        Moment{"its first minute of trading", "2026-03-08T22:00:00Z", true, ""},
        Moment{"the break the day clocks go back", "2026-11-01T22:30:00Z", false,
               "2026-11-01T23:00:00Z"},
        Moment{"Good Friday, until Sunday", "2026-04-02T21:30:00Z", false, "2026-04-05T22:00:00Z"},
        Moment{"an early close for Labor Day", "2026-09-07T17:30:00Z", false,
               "2026-09-07T22:00:00Z"},
        Moment{"just before that early close", "2026-09-07T17:29:00Z", true, ""},
        Moment{"Christmas Eve's early close, until Sunday", "2026-12-24T18:45:00Z", false,
               "2026-12-27T23:00:00Z"}));

struct BadFile {
    const char* text;
    const char* error;
};

class MarketHoursBadFileTest : public testing::TestWithParam<BadFile> {};

TEST_P(MarketHoursBadFileTest, NamesTheLineAndKeepsTheWeeklySessions) {
    std::string error;
    const MarketHours hours = MarketHours::Parse(GetParam().text, error);
    EXPECT_EQ(error.substr(0, error.find(':')), GetParam().error);
    // The built-in week: open on a Tuesday morning, closed on a Saturday, no holidays.
    EXPECT_TRUE(hours.IsOpen(At("2026-04-03T14:00:00Z")));
    EXPECT_FALSE(hours.IsOpen(At("2026-04-04T14:00:00Z")));
}

INSTANTIATE_TEST_SUITE_P(
    Files, MarketHoursBadFileTest,
    testing::Values(BadFile{"session Sun 18:00 Mon 17:00\nholiday 2026-04-03\nsession Xyz",
                            "line 3"},
                    BadFile{"# comment\n\nsession Sun 25:00 Mon 17:00\n", "line 3"},
                    BadFile{"zone ../../etc/passwd\n", "line 1"},
                    BadFile{"early-close 2026-02-30 13:30\n", "line 1"},
                    BadFile{"holiday 2026-04-03\n", "line 1"}));

} // namespace
