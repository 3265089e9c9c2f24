// SPDX-License-Identifier: MIT
#include "core/app/PriceTracker.h"

#include "core/settings/ProfileFile.h"

#include "core/common/Globals.h"
#include "core/settings/Settings.h"
#include "support/IniFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// Records every post together with the settings as they were at that moment.
class FakeWindow final : public IPriceWindow {
public:
    struct Post {
        int code;
        std::string lastPrice;
        std::string currentPrice;
        PriceUpdate shown;
    };
    void PostPriceUpdate(const PriceUpdate& update) override {
        posts.push_back({update.code, ReadSetting(KEY_LAST_PRICE, "-"),
                         ReadSetting(KEY_CURRENT_PRICE, "-"), update});
    }
    std::vector<Post> posts;
};

class PriceTrackerTest : public ::testing::Test {
protected:
    PriceTrackerTest() { g_pMainDlg.store(&m_window); }
    ~PriceTrackerTest() override { g_pMainDlg.store(nullptr); }

    IniFixture m_ini;
    FakeWindow m_window;
    CPriceTracker m_tracker;
};

struct TrackCase {
    const char* name;
    const char* ini; // the Option section's lines
    std::string price;
    std::optional<int> code; // nothing: no post, nothing written
    const char* tip;         // "-" when missing
    const char* last;
    const char* current;
};

class PriceRuleTest : public PriceTrackerTest, public ::testing::WithParamInterface<TrackCase> {};

TEST_P(PriceRuleTest, JudgesThePriceAgainstTheReference) {
    const TrackCase& c = GetParam();
    m_ini.WriteIni(std::string("[Option]\n") + c.ini);
    int waitingFlag = 1;
    m_tracker.ProcessNewPrice(c.price, waitingFlag);

    EXPECT_EQ(ReadSetting(KEY_TIP_LAST_PRICE, "-"), c.tip);
    EXPECT_EQ(ReadSetting(KEY_LAST_PRICE, "-"), c.last);
    EXPECT_EQ(ReadSetting(KEY_CURRENT_PRICE, "-"), c.current);
    if (!c.code) {
        EXPECT_TRUE(m_window.posts.empty());
        EXPECT_EQ(waitingFlag, 1);
        return;
    }
    EXPECT_EQ(waitingFlag, 0);
    ASSERT_EQ(m_window.posts.size(), 1u);
    EXPECT_EQ(m_window.posts[0].code, *c.code);
    // The file held the new values before the window heard of them, and the message
    // carries them.
    EXPECT_EQ(m_window.posts[0].lastPrice, c.last);
    EXPECT_EQ(m_window.posts[0].currentPrice, c.current);
    EXPECT_EQ(m_window.posts[0].shown.lastPrice, c.last);
    EXPECT_EQ(m_window.posts[0].shown.currentPrice, c.current);
}

constexpr int NOTIFY = PRICE_UPDATE_NOTIFY;
constexpr int REFRESH = PRICE_UPDATE_REFRESH;
constexpr const char* REFERENCE = "TipLastPrice=1600.00\nLastPrice=1650.00\nPriceChange=10\n";

INSTANTIATE_TEST_SUITE_P(
    Prices, PriceRuleTest,
    ::testing::Values(
        TrackCase{"FreshSystemNotifies", "", "1650.25", NOTIFY, "0.00", "1650.25", "1650.25"},
        TrackCase{"RiseToThresholdNotifies", REFERENCE, "1660.00", NOTIFY, "1650.00", "1660.00",
                  "1660.00"},
        TrackCase{"RiseBelowThresholdRefreshes", REFERENCE, "1659.99", REFRESH, "1600.00",
                  "1650.00", "1659.99"},
        TrackCase{"FallToThresholdNotifies", REFERENCE, "1640.00", NOTIFY, "1650.00", "1640.00",
                  "1640.00"},
        TrackCase{"FallBelowThresholdRefreshes", REFERENCE, "1640.01", REFRESH, "1600.00",
                  "1650.00", "1640.01"},
        TrackCase{"FullPrecisionIsCompared", REFERENCE, "1659.996", REFRESH, "1600.00", "1650.00",
                  "1660.00"},
        TrackCase{"StoredRoundedToTwoDecimals", REFERENCE, "1700.257", NOTIFY, "1650.00", "1700.26",
                  "1700.26"},
        TrackCase{"EmptyTextIsIgnored", REFERENCE, "", std::nullopt, "1600.00", "1650.00", "-"},
        TrackCase{"ZeroIsIgnored", REFERENCE, "0", std::nullopt, "1600.00", "1650.00", "-"},
        TrackCase{"HugeNumberIsIgnored", REFERENCE, "1" + std::string(400, '0'), std::nullopt,
                  "1600.00", "1650.00", "-"},
        TrackCase{"UnreadableThresholdIsFive", "LastPrice=1650.00\nPriceChange=abc\n", "1655",
                  NOTIFY, "1650.00", "1655.00", "1655.00"},
        TrackCase{"UnreadableThresholdIsFiveBelow", "LastPrice=1650.00\nPriceChange=abc\n",
                  "1654.99", REFRESH, "-", "1650.00", "1654.99"},
        // At zero or below, a change of a cent is told and none at all is not; the price
        // counts as it is stored, with two decimals.
        TrackCase{"ZeroThresholdSamePriceRefreshes", "LastPrice=1650.00\nPriceChange=0\n", "1650",
                  REFRESH, "-", "1650.00", "1650.00"},
        TrackCase{"ZeroThresholdACentNotifies", "LastPrice=1650.00\nPriceChange=0\n", "1650.01",
                  NOTIFY, "1650.00", "1650.01", "1650.01"},
        TrackCase{"NegativeThresholdSameCentRefreshes", "LastPrice=1650.00\nPriceChange=-5\n",
                  "1650.004", REFRESH, "-", "1650.00", "1650.00"},
        TrackCase{"NegativeThresholdACentNotifies", "LastPrice=1650.00\nPriceChange=-5\n",
                  "1649.99", NOTIFY, "1650.00", "1649.99", "1649.99"}),
    [](const auto& param) { return param.param.name; });

TEST_F(PriceTrackerTest, WritesTheReferenceBeforeTheCurrentPrice) {
    int waitingFlag = 1;
    m_tracker.ProcessNewPrice("1650.25", waitingFlag);
    // New keys are added at the end of the section, so their order is the write order.
    const std::string ini = m_ini.ReadIni();
    const auto tip = ini.find("TipLastPrice=");
    const auto last = ini.find("\nLastPrice=");
    const auto current = ini.find("CurrentPrice=");
    ASSERT_NE(current, std::string::npos);
    EXPECT_LT(tip, last);
    EXPECT_LT(last, current);
}

TEST_F(PriceTrackerTest, WithoutAMainWindowNothingHappens) {
    g_pMainDlg.store(nullptr);
    int waitingFlag = 1;
    m_tracker.ProcessNewPrice("1650.25", waitingFlag);
    EXPECT_EQ(waitingFlag, 1);
    EXPECT_EQ(m_ini.ReadIni(), "");
}

// gold.ini that cannot be written: the reference is held in memory, so an unchanged price
// is not told again at every poll; the reason is there for the tooltips and goes to
// standard error once when it begins and once when it ends. F is the file.
struct UnwritableCase {
    const char* name;
    const char* spoil; // shell commands
    const char* mend;
    const char* reason;
};

class UnwritableFileTest : public PriceTrackerTest,
                           public ::testing::WithParamInterface<UnwritableCase> {};

int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

void RunOnFile(const std::string& path, const std::string& commands) {
    ASSERT_EQ(std::system(("F='" + path + "'; " + commands).c_str()), 0) << commands;
}

TEST_P(UnwritableFileTest, TellsAMoveOnceAndSaysWhy) {
    m_ini.WriteIni("[Option]\nLastPrice=1650.00\nPriceChange=10\n");
    RunOnFile(m_ini.IniPath(), GetParam().spoil);
    ::testing::internal::CaptureStderr();
    int waitingFlag = 1;
    for (const char* price : {"1670.00", "1670.00", "1675.00", "1679.99"}) {
        m_tracker.ProcessNewPrice(price, waitingFlag);
    }
    EXPECT_EQ(SettingsWriteProblemTip(),
              std::string("Settings cannot be saved: ") + GetParam().reason);
    m_tracker.ProcessNewPrice("1680.00", waitingFlag); // 10 from the held 1670.00

    RunOnFile(m_ini.IniPath(), GetParam().mend);
    m_tracker.ProcessNewPrice("1681.00", waitingFlag);
    EXPECT_EQ(ReadSetting(KEY_LAST_PRICE, ""), "1680.00");
    EXPECT_EQ(SettingsWriteProblem(), "");
    const std::string said = ::testing::internal::GetCapturedStderr();

    // The window is shown the prices read and the reference held, not the file's.
    std::vector<int> codes;
    std::string shown;
    for (const FakeWindow::Post& post : m_window.posts) {
        codes.push_back(post.code);
        shown += post.shown.lastPrice + " " + post.shown.currentPrice + ";";
    }
    EXPECT_EQ(codes, (std::vector<int>{NOTIFY, REFRESH, REFRESH, REFRESH, NOTIFY, REFRESH}));
    EXPECT_EQ(shown, "1670.00 1670.00;1670.00 1670.00;1670.00 1675.00;1670.00 1679.99;"
                     "1680.00 1680.00;1680.00 1681.00;");
    EXPECT_EQ(CountOf(said, "Settings cannot be saved: "), 1) << said;
    EXPECT_EQ(CountOf(said, "can be saved again"), 1) << said;
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnwritableFileTest,
    ::testing::Values(
        UnwritableCase{"Folder", "rm \"$F\" && mkdir \"$F\"", "rmdir \"$F\"",
                       "the file is a folder"},
        UnwritableCase{"Fifo", "rm \"$F\" && mkfifo \"$F\"", "rm \"$F\"",
                       "the file is not a regular file"},
        UnwritableCase{"OverTheSizeLimit", "head -c 1048576 /dev/zero | tr '\\0' ';' >>\"$F\"",
                       "truncate -s 42 \"$F\"", "the file is larger than 1 MiB"},
        UnwritableCase{"ReadOnly", "chmod 444 \"$F\"", "chmod 644 \"$F\"", "the file is read-only"},
        UnwritableCase{"LinkLoop", "rm \"$F\" && ln -s \"$F\" \"$F\"", "rm \"$F\"",
                       "Too many levels of symbolic links"}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
