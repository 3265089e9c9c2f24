// SPDX-License-Identifier: MIT
#include "core/common/LocaleText.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

struct EncodeCase {
    const char* charset;
    std::string utf8;
    std::string expected;
};

class Utf8ToCharsetTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Utf8ToCharsetTest, UnrepresentableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCharset(GetParam().utf8, GetParam().charset), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, Utf8ToCharsetTest,
    ::testing::Values(EncodeCase{"ANSI_X3.4-1968", "a@b.c 1200.00", "a@b.c 1200.00"},
                      EncodeCase{"ANSI_X3.4-1968", "j\xC3\xBCrgen@b.c", "j?rgen@b.c"},
                      EncodeCase{"ANSI_X3.4-1968", "\xF0\x9F\x98\x80!", "?!"},
                      EncodeCase{"UTF-8", "j\xC3\xBCrgen \xE2\x82\xAC",
                                 "j\xC3\xBCrgen \xE2\x82\xAC"},
                      EncodeCase{"UTF-8",
                                 "a\xFF"
                                 "b\xC3",
                                 "a?b?"},
                      EncodeCase{"UTF-8", "\xED\xA0\x80", "???"}, // a surrogate
                      EncodeCase{"UTF-8", "\xC0\xAF", "??"},      // an overlong '/'
                      EncodeCase{"ISO-8859-1", "j\xC3\xBCrgen \xE2\x82\xAC", "j\xFCrgen ?"},
                      EncodeCase{"WINDOWS-1252", "\xE2\x82\xAC 5", "\x80 5"},
                      EncodeCase{"no-such-charset", "a\xC3\xBC", "a?"}));

struct DecodeCase {
    const char* charset;
    std::vector<std::string> pieces;
    std::string expected;
};

class CharsetDecoderTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(CharsetDecoderTest, DecodesPiecesIntoValidUtf8) {
    CCharsetDecoder decoder(GetParam().charset);
    std::string out;
    for (const std::string& piece : GetParam().pieces) {
        decoder.Feed(piece, out);
    }
    decoder.Finish(out);
    EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, CharsetDecoderTest,
    ::testing::Values(
        DecodeCase{"UTF-8", {"ok \xE2\x82", "\xAC!"}, "ok \xE2\x82\xAC!"}, // cut between pieces
        DecodeCase{"UTF-8", {"a\xE2\x82"}, "a\xEF\xBF\xBD"},               // cut at the end
        DecodeCase{"UTF-8",
                   {"\xFF"
                    "b"},
                   "\xEF\xBF\xBD"
                   "b"},
        DecodeCase{"ANSI_X3.4-1968", {"OK\xE9"}, "OK\xEF\xBF\xBD"},
        DecodeCase{"ISO-8859-1", {"caf\xE9"}, "caf\xC3\xA9"},
        DecodeCase{"SHIFT_JIS", {"\x82", "\xA0"}, "\xE3\x81\x82"},
        DecodeCase{"SHIFT_JIS", {"x\x82"}, "x\xEF\xBF\xBD"}));

TEST(LocaleTextTest, FollowsTheLocaleOfTheProgram) {
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    std::setlocale(LC_CTYPE, "C");
    EXPECT_EQ(Utf8ToLocale("\xC3\xBC"), "?");
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(LocaleCharset(), "UTF-8");
        EXPECT_EQ(Utf8ToLocale("\xC3\xBC"), "\xC3\xBC");
    }
    std::setlocale(LC_CTYPE, saved.c_str());
}

} // namespace
