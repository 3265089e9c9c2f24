// SPDX-License-Identifier: MIT
#include "core/app/InstanceStatus.h"

#include "core/app/InstanceProtocol.h"

#include <gtest/gtest.h>

namespace {

struct StatusCase {
    const char* name;
    InstanceStatus status;
    std::string json;
    InstanceStatus received; // what the other end decodes
};

class InstanceStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(InstanceStatusTest, CrossesTheSocketWithinItsLimitAndPrintsAsValidJson) {
    const StatusCase& c = GetParam();
    const std::string line = EncodeStatusAnswer(c.status);
    EXPECT_LE(line.size(), static_cast<std::size_t>(INSTANCE_MAX_ANSWER));
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(DecodeStatusAnswer(line), c.received);
    EXPECT_EQ(StatusJson(c.status), c.json);
}

const std::string LONG(400, '7');

INSTANTIATE_TEST_SUITE_P(
    Statuses, InstanceStatusTest,
    ::testing::Values(
        StatusCase{"QuotesBackslashesAndLineBreaks",
                   {"stale", "100% \"x\"", "a\\b\nc\x01", {}},
                   R"({"text":"100% \"x\"","tooltip":"a\\b\nc\u0001","class":"stale"})",
                   {"stale", "100% \"x\"", "a\\b\nc\x01", {}}},
        StatusCase{"ClosedSaysWhenItReopensBesideHeldAlerts",
                   {"closed", "1662.50", "Market closed", "snoozed_until", "2026-12-13T22:00:00Z",
                    "2026-12-13T23:00:00Z"},
                   R"({"text":"1662.50","tooltip":"Market closed","class":"closed",)"
                   R"("snoozed_until":"2026-12-13T22:00:00Z","reopens":"2026-12-13T23:00:00Z"})",
                   {"closed", "1662.50", "Market closed", "snoozed_until", "2026-12-13T22:00:00Z",
                    "2026-12-13T23:00:00Z"}},
        StatusCase{"NotUtf8",
                   {"none", "\xC3(", "ok", {}},
                   R"({"text":"\ufffd(","tooltip":"ok","class":"none"})",
                   {"none", "\xC3(", "ok", {}}},
        StatusCase{
            "LongTextsAreCut",
            {"flat", LONG, LONG, {}},
            R"({"text":")" + LONG + R"(","tooltip":")" + LONG + R"(","class":"flat"})",
            {"flat", std::string(STATUS_TEXT_MAX, '7'), std::string(STATUS_TOOLTIP_MAX, '7')}},
        StatusCase{
            "HeldAlertsCrossWithTheirEnd",
            {"snoozed", "1", "t", "quiet_until", "2026-12-08T07:00:00Z"},
            R"({"text":"1","tooltip":"t","class":"snoozed","quiet_until":"2026-12-08T07:00:00Z"})",
            {"snoozed", "1", "t", "quiet_until", "2026-12-08T07:00:00Z"}},
        StatusCase{"AHoldThatIsNotOneIsLeftOut",
                   {"up", "1", "t", "snoozed_until\"", "soon"},
                   R"({"text":"1","tooltip":"t","class":"up"})",
                   {"up", "1", "t"}}),
    [](const auto& param) { return param.param.name; });

// The floating window's line and its class, as the status bars get them (up and stale
// are seen end to end).
TEST(PriceLineTest, SaysThePriceAndTheClassOfItsChange) {
    const auto status = [](const char* last, const char* current) {
        const InstanceStatus made = MakeInstanceStatus(MakePriceView(last, current), false, "");
        return made.cssClass + " " + made.text;
    };
    EXPECT_EQ(status("1650.00", ""), "none Obtaining...");
    EXPECT_EQ(status("1662.50", "1650.00"), "down 1650.00 -12.50");
    EXPECT_EQ(status("", "1650.00"), "flat 1650.00 0.00");
    EXPECT_EQ(status("1650.001", "1650.00"), "down 1650.00 -0.00");
}

} // namespace
