// SPDX-License-Identifier: MIT
#include "platform/common/JsonString.h"

#include <gtest/gtest.h>

namespace {

struct JsonCase {
    const char* name;
    std::string text;
    std::string utf8;     // as the status bars get it
    std::string question; // as the notification service writes it
};

class JsonStringTest : public ::testing::TestWithParam<JsonCase> {};

// The status bars and the notification service's webhooks (whose bodies are signed) must
// get the same bytes as ever from the one escaper.
TEST_P(JsonStringTest, EscapesByTheRuleOfItsReader) {
    const JsonCase& c = GetParam();
    EXPECT_EQ(JsonString(c.text, JsonNonAscii::Utf8), c.utf8);
    EXPECT_EQ(JsonString(c.text, JsonNonAscii::Question), c.question);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonStringTest,
    ::testing::Values(JsonCase{"Empty", "", R"("")", R"("")"},
                      JsonCase{"QuotesBackslashesControls", "a\"b\\c\nd\x01\t",
                               R"("a\"b\\c\nd\u0001\u0009")", R"("a\"b\\c\nd\u0001\u0009")"},
                      JsonCase{"Delete", "x\x7Fy", R"("x\u007fy")", "\"x\x7Fy\""},
                      JsonCase{"Utf8AndLineSeparator", "\xC3\xA9\xE2\x80\xA8",
                               "\"\xC3\xA9\\u2028\"", R"("?????")"},
                      JsonCase{"BrokenSequences", "\xC3(\xE2\x80", R"("\ufffd(\ufffd")",
                               R"("?(??")"}),
    [](const auto& param) { return param.param.name; });

} // namespace
