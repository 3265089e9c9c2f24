// SPDX-License-Identifier: MIT
// The file's encodings: whatever they are, the bytes a write does not touch stay.
#include "core/settings/ProfileFile.h"

#include "support/IniFixture.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Every byte that the edit does not touch stays, whatever the file's encoding.
struct EncodingCase {
    const char* name;
    std::string before;
    std::string appended; // what writing Option/Key=v adds at the end
};

std::ostream& operator<<(std::ostream& out, const EncodingCase& c) {
    return out << c.name;
}

class UneditedBytes : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(UneditedBytes, SurviveAWrite) {
    const EncodingCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    WriteFileBytes(path, c.before);
    ASSERT_TRUE(WriteProfileString(path, "Option", "Key", "v"));
    EXPECT_EQ(ReadFileBytes(path), c.before + c.appended);
    EXPECT_EQ(GetProfileString(path, "Option", "Key", ""), "v");
}

std::string EveryByte() {
    std::string bytes = "[Other]\r\n;";
    for (int b = 0; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    return bytes + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, UneditedBytes,
    ::testing::Values(
        EncodingCase{"Windows1252", EveryByte(), "[Option]\r\nKey=v\r\n"},
        EncodingCase{"Utf8", "[Other]\nA=\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\n",
                     "[Option]\nKey=v\n"},
        EncodingCase{"Utf8MarkWithBrokenBytes", UTF8_MARK + "[Other]\nA=\xC3\xA9\xE9\xC0\xAF\n",
                     "[Option]\nKey=v\n"},
        EncodingCase{"Utf16WithLoneSurrogates",
                     Utf16Le(u"[Other]\r\nA=\xD800x\xDC00\U0001F600\r\n"),
                     Utf16Le(u"[Option]\r\nKey=v\r\n").substr(2)}),
    CaseName());

// Hostile files: whatever is in them, nothing crashes and what can be kept is kept.
struct GarbageCase {
    const char* name;
    std::string prefix;
    unsigned seed;
};

std::ostream& operator<<(std::ostream& out, const GarbageCase& c) {
    return out << c.name;
}

class GarbageFile : public ::testing::TestWithParam<GarbageCase> {};

TEST_P(GarbageFile, IsReadAndExtendedWithoutLosingABit) {
    const GarbageCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    std::mt19937 random(c.seed);
    std::string garbage = c.prefix;
    for (int i = 0; i < 64 * 1024; ++i) {
        garbage.push_back(static_cast<char>(random() & 0xFF));
    }
    WriteFileBytes(path, garbage);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "1");
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "0");
    EXPECT_EQ(ReadFileBytes(path).substr(0, garbage.size()), garbage);
}

INSTANTIATE_TEST_SUITE_P(Bytes, GarbageFile,
                         ::testing::Values(GarbageCase{"Plain", "", 1},
                                           GarbageCase{"AfterUtf8Mark", UTF8_MARK, 2},
                                           GarbageCase{"AfterUtf16Mark", "\xFF\xFE", 3}),
                         CaseName());

TEST(TextCodecsTest, WhatTheSizeLimitCutsIsNotReadInHalf) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string head = "[Option]\nName=\xC3\xA9\n;";
    auto fill = [&head](std::size_t tail) {
        return head + std::string(PROFILE_FILE_MAX - head.size() - tail, 'x');
    };
    // A key line that crosses the limit: its first characters are not a value.
    WriteFileBytes(path, fill(4) + "\nA=123456\n");
    EXPECT_EQ(GetProfileString(path, "Option", "A", "none"), "none");
    // A character that crosses it leaves the rest of the file UTF-8.
    WriteFileBytes(path, fill(1) + "\xE2\x82\xAC\n");
    EXPECT_EQ(GetProfileString(path, "Option", "Name", ""), "\xC3\xA9");
}

} // namespace
