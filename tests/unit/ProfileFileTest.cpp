// SPDX-License-Identifier: MIT
#include "core/settings/ProfileFile.h"

#include "support/EditorRace.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf16Le(std::u16string_view text) {
    std::string out = "\xFF\xFE";
    for (const char16_t unit : text) {
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    return out;
}

const std::string UTF8_MARK = "\xEF\xBB\xBF";

// Names each instance of a parameterised test after its case.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& instance) const {
        return instance.param.name;
    }
};

// One call of a table case: a read with its default and expected result, or a write.
struct Step {
    bool write;
    std::string section;
    std::string key;
    std::string text; // the default of a read, the value of a write
    std::string expected;
};

Step Read(std::string key, std::string defaultText, std::string expected) {
    return {false, "Option", std::move(key), std::move(defaultText), std::move(expected)};
}
Step ReadIn(std::string section, std::string key, std::string defaultText, std::string expected) {
    return {false, std::move(section), std::move(key), std::move(defaultText), std::move(expected)};
}
Step Write(std::string key, std::string value) {
    return {true, "Option", std::move(key), std::move(value), {}};
}
Step WriteIn(std::string section, std::string key, std::string value) {
    return {true, std::move(section), std::move(key), std::move(value), {}};
}

struct IniCase {
    const char* name;
    std::optional<std::string> before; // no file when empty
    std::vector<Step> steps;
    std::optional<std::string> after; // when empty, the file stays as it was (or absent)
};

std::ostream& operator<<(std::ostream& out, const IniCase& c) {
    return out << c.name;
}

class WindowsProfileRules : public ::testing::TestWithParam<IniCase> {};

TEST_P(WindowsProfileRules, GiveTheSameResultsAndBytes) {
    const IniCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    if (c.before) {
        WriteBytes(path, *c.before);
    }
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + ": " + step.section + "/" + step.key);
        if (step.write) {
            EXPECT_TRUE(WriteProfileString(path, step.section, step.key, step.text));
        } else {
            EXPECT_EQ(GetProfileString(path, step.section, step.key, step.text), step.expected);
        }
    }
    const std::optional<std::string>& expected = c.after ? c.after : c.before;
    if (expected) {
        EXPECT_EQ(ReadBytes(path), *expected);
    } else {
        EXPECT_FALSE(fs::exists(path));
    }
}

const std::string X259(259, 'x');
const std::string EMOJI = "\xF0\x9F\x98\x80"; // two UTF-16 code units

INSTANTIATE_TEST_SUITE_P(
    IniCompat, WindowsProfileRules,
    ::testing::Values(
        IniCase{"NoFileGivesTheDefault", {}, {Read("PriceChange", "0", "0")}, {}},
        IniCase{"OtherSectionGivesTheDefault",
                "[Other]\r\nA=1\r\n",
                {Read("Popup", "1", "1"), Read("A", "", "")},
                {}},
        IniCase{
            "MissingKeyGivesTheDefault", "[Option]\r\nEmail=e\r\n", {Read("Popup", "1", "1")}, {}},
        IniCase{"FirstWriteCreatesAnLfUtf8File",
                {},
                {Write("PriceChange", "5")},
                "[Option]\nPriceChange=5\n"},
        IniCase{"EmptyFileIsFilledLikeANewOne",
                "",
                {Write("PriceChange", "5")},
                "[Option]\nPriceChange=5\n"},
        IniCase{"NewKeyFollowsTheLastKey",
                "[Option]\r\nPriceChange=5\r\n",
                {Write("LastPrice", "1.23")},
                "[Option]\r\nPriceChange=5\r\nLastPrice=1.23\r\n"},
        IniCase{"ReplacingChangesThatLineOnly",
                "[Option]\r\nPriceChange=5\r\nLastPrice=1.23\r\nPopup=1\r\n",
                {Write("LastPrice", "2.5")},
                "[Option]\r\nPriceChange=5\r\nLastPrice=2.5\r\nPopup=1\r\n"},
        IniCase{"KeysKeepTheOrderOfTheirFirstWrite",
                "[Option]\r\nb=value\r\na=value\r\n",
                {Write("z", ""), Write("b", ""), Write("y", ""), Write("a", "")},
                "[Option]\r\nb=\r\na=\r\nz=\r\ny=\r\n"},
        IniCase{"NamesMatchWithoutCase",
                "[OPTION]\r\nsendemail=1\r\n",
                {ReadIn("option", "SendEmail", "0", "1")},
                {}},
        IniCase{"WriteKeepsTheSpellingAndEndsWithABreak",
                "[OPTION]\r\nsendemail=0",
                {Write("SendEmail", "1")},
                "[OPTION]\r\nsendemail=1\r\n"},
        IniCase{"BlanksAroundNamesAndValuesAreTrimmed",
                "  [ Option\t]\r\n\tEmail \t=  x@y.z \t\r\n",
                {Read("Email", "", "x@y.z")},
                {}},
        IniCase{"ValuesAreWrittenVerbatimAndReadTrimmed",
                {},
                {Write("Email", "  a b  "), Read("Email", "", "a b")},
                "[Option]\nEmail=  a b  \n"},
        IniCase{"OuterQuotesGoAfterTrimming",
                "[Option]\r\nEmail=  \"  a b  \"  \r\nA='x'\r\nB=\"'x'\"\r\n",
                {Read("Email", "", "  a b  "), Read("A", "", "x"), Read("B", "", "'x'")},
                {}},
        IniCase{"MismatchedQuotesStay",
                "[Option]\r\nA=\"x'\r\nB=\"x\r\nC=\"\r\n",
                {Read("A", "", "\"x'"), Read("B", "", "\"x"), Read("C", "", "\"")},
                {}},
        IniCase{"QuotedValueReadsUnquoted",
                {},
                {Write("Email", "\"hi\""), Read("Email", "", "hi")},
                "[Option]\nEmail=\"hi\"\n"},
        IniCase{"SemicolonLinesAreComments",
                "[Option]\r\n;Popup=0\r\n \t;SendEmail=0\r\n#Email=e\r\nPopup=1\r\n",
                {Read("Popup", "0", "1"), Read("SendEmail", "1", "1"), Read("#Email", "", "e")},
                {}},
        IniCase{"ThereAreNoInlineComments",
                "[Option]\r\nPriceChange=5 ;percent\r\n",
                {Read("PriceChange", "", "5 ;percent")},
                {}},
        IniCase{"FirstOfEqualKeysIsReadAndWritten",
                "[Option]\r\nPopup=1\r\nPopup=0\r\n",
                {Read("Popup", "", "1"), Write("Popup", "5")},
                "[Option]\r\nPopup=5\r\nPopup=0\r\n"},
        IniCase{"OnlyTheFirstOfEqualSectionsIsReadAndWritten",
                "[Option]\r\nA=1\r\n[Option]\r\nPopup=0\r\n",
                {Read("Popup", "9", "9"), Write("Popup", "1")},
                "[Option]\r\nA=1\r\nPopup=1\r\n[Option]\r\nPopup=0\r\n"},
        IniCase{"LongValuesAreCut",
                "[Option]\r\nA=" + std::string(300, 'x') + "\r\nB=" + X259 + "\r\nC=" + X259 +
                    "x\r\n",
                {Read("A", "", X259), Read("B", "", X259), Read("C", "", X259)},
                {}},
        IniCase{"LongDefaultsAreCut",
                "[Option]\r\n",
                {Read("Email", std::string(300, 'y'), std::string(259, 'y'))},
                {}},
        IniCase{
            "DefaultsLoseTrailingSpacesOnly",
            "[Option]\r\n",
            {Read("A", "abc  ", "abc"), Read("A", "  abc", "  abc"), Read("A", "abc\t", "abc\t")},
            {}},
        IniCase{
            "EmptyValueIsNotMissing", "[Option]\r\nEmail=\r\n", {Read("Email", "none", "")}, {}},
        IniCase{"LineWithoutEqualsIsNoKey", "[Option]\r\nPopup\r\n", {Read("Popup", "1", "1")}, {}},
        IniCase{"LineSplitsAtItsFirstEquals",
                "[Option]\r\nEmail=a=b\r\n",
                {Read("Email", "", "a=b")},
                {}},
        IniCase{"TextAfterAHeaderIsIgnored",
                "[Option] ;main\r\nPopup=1\r\n[Next]Popup=0\r\n",
                {Read("Popup", "", "1"), ReadIn("Next", "Popup", "9", "9")},
                {}},
        IniCase{"HeaderEndsAtItsFirstBracket",
                "[Opt]ion]\r\nPopup=1\r\n",
                {ReadIn("Opt", "Popup", "", "1"), ReadIn("Opt]ion", "Popup", "9", "9")},
                {}},
        IniCase{"HeaderWithoutBracketCounts",
                "[Option   \r\nPopup=1\r\n",
                {Read("Popup", "", "1")},
                {}},
        IniCase{"LinesBeforeTheFirstSectionAreUnreachable",
                "Popup=1\r\n[Option]\r\nEmail=e\r\n",
                {Read("Popup", "9", "9"), ReadIn("", "Popup", "9", "9")},
                {}},
        IniCase{"CrOnlyAndLfOnlyFilesRead",
                "[Option]\rPopup=1\rEmail=e\r[Other]\nA=1\n",
                {Read("Email", "", "e"), ReadIn("Other", "A", "", "1")},
                {}},
        IniCase{"NewSectionGoesAtTheEnd",
                "[Other]\r\nA=1\r\n",
                {Write("Popup", "1")},
                "[Other]\r\nA=1\r\n[Option]\r\nPopup=1\r\n"},
        IniCase{"NewSectionGetsABreakBeforeIt",
                "[Other]\r\nA=1",
                {Write("Popup", "1")},
                "[Other]\r\nA=1\r\n[Option]\r\nPopup=1\r\n"},
        IniCase{"NewKeyAfterALastLineWithoutBreak",
                "[Option]\r\nA=1",
                {Write("B", "2")},
                "[Option]\r\nA=1\r\nB=2\r\n"},
        IniCase{"HeaderAloneGetsLfLines", "[Option]", {Write("A", "1")}, "[Option]\nA=1\n"},
        IniCase{"NewKeysGoBeforeTrailingComments",
                ";c0\r\n[Option]\r\n;c1\r\nb=value\r\n;c2\r\na=value\r\n",
                {Write("z", ""), Write(";x", ""), Write("y", ""), Write("a", ""), Write("b", "")},
                ";c0\r\n[Option]\r\n;c1\r\nb=\r\n;c2\r\na=\r\nz=\r\ny=\r\n;x=\r\n"},
        IniCase{"NewKeyGoesBeforeATrailingComment",
                "[Option]\r\nz=1\r\n;note\r\n",
                {Write("a", "2")},
                "[Option]\r\nz=1\r\na=2\r\n;note\r\n"},
        IniCase{"NewKeyGoesBeforeBlankLines",
                "[Option]\r\nPopup=1\r\n\r\n[Other]\r\nA=1\r\n",
                {Write("Email", "e")},
                "[Option]\r\nPopup=1\r\nEmail=e\r\n\r\n[Other]\r\nA=1\r\n"},
        IniCase{"CrOnlyFileKeepsItsBreaks",
                "[Option]\rPopup=1\r",
                {Write("Email", "e")},
                "[Option]\rPopup=1\rEmail=e\r"},
        IniCase{"LfFileKeepsItsBreaks",
                "[Option]\nPopup=1\n",
                {Write("Popup", "0"), Write("Email", "e")},
                "[Option]\nPopup=0\nEmail=e\n"},
        IniCase{"NewFileIsUtf8",
                {},
                {Write("Email", "x\xE2\x9D\xA4"), Read("Email", "", "x\xE2\x9D\xA4")},
                "[Option]\nEmail=x\xE2\x9D\xA4\n"},
        IniCase{"Windows1252FileStaysWindows1252",
                "[Option]\r\nName=caf\xE9\r\n",
                {Read("Name", "", "caf\xC3\xA9"), Write("Email", "x\xE2\x9D\xA4 \xE2\x82\xAC"),
                 Read("Email", "", "x? \xE2\x82\xAC")},
                "[Option]\r\nName=caf\xE9\r\nEmail=x? \x80\r\n"},
        IniCase{"Utf16FileIsReadLoneSurrogatesAsReplacements",
                Utf16Le(u"[Option]\r\nEmail=\u00e9\u2764\r\nA=x\xD800y\r\n"),
                {Read("Email", "", "\xC3\xA9\xE2\x9D\xA4"), Read("A", "", "x\xEF\xBF\xBDy")},
                {}},
        IniCase{
            "TheCutNeverSplitsASurrogatePair",
            "[Option]\nA=" + std::string(258, 'a') + EMOJI + "\nB=" + std::string(257, 'b') +
                EMOJI + "\n",
            {Read("A", "", std::string(258, 'a')), Read("B", "", std::string(257, 'b') + EMOJI)},
            {}},
        IniCase{"Utf16MarkAloneGetsABreakBeforeTheSection",
                "\xFF\xFE",
                {Write("Email", "x\xF0\x9F\x98\x80"), Read("Email", "", "x\xF0\x9F\x98\x80")},
                Utf16Le(u"\r\n[Option]\r\nEmail=x\U0001F600\r\n")},
        IniCase{"Utf16HalfCodeUnitAtTheEndIsDropped",
                Utf16Le(u"[Option]\r\nA=1\r\n") + "x",
                {Read("A", "", "1"), Write("B", "2")},
                Utf16Le(u"[Option]\r\nA=1\r\nB=2\r\n")},
        IniCase{"Utf8MarkIsRecognisedAndKept",
                UTF8_MARK + "[Option]\r\nPopup=0\r\n",
                {Read("Popup", "1", "0"), Write("Popup", "2"), Read("Popup", "1", "2")},
                UTF8_MARK + "[Option]\r\nPopup=2\r\n"},
        IniCase{"Utf8MarkAloneGetsABreakBeforeTheSection",
                UTF8_MARK,
                {Write("Popup", "1")},
                UTF8_MARK + "\n[Option]\nPopup=1\n"},
        IniCase{"ArgumentNamesLoseSpacesOnly",
                {},
                {WriteIn(" Option ", " Popup ", "1"), Write("Email", ""),
                 ReadIn("Option", "\tPopup", "9", "9")},
                "[Option]\nPopup=1\nEmail=\n"},
        IniCase{"NulEndsAValue", "[Option]\nA=x\0y\n"s, {Read("A", "", "x")}, {}},
        IniCase{"RewritingTheSameValueKeepsTheFile", "[Option]\r\nA=1\r\n", {Write("A", "1")}, {}},
        IniCase{"RewritingTheSameValueKeepsAHandFormattedLine",
                "[Option]\r\nEmail = x\t\r\nA=\"q\"",
                {Write("Email", "x"), Write("A", "\"q\"")},
                {}},
        IniCase{"ADifferentValueIsWrittenEvenIfItReadsTheSame",
                "[Option]\nA=\"q\"\n",
                {Write("A", "q")},
                "[Option]\nA=q\n"}),
    CaseName());

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
    WriteBytes(path, c.before);
    ASSERT_TRUE(WriteProfileString(path, "Option", "Key", "v"));
    EXPECT_EQ(ReadBytes(path), c.before + c.appended);
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

// A line break or NUL written verbatim would forge lines: headers, other keys.
struct Injection {
    const char* name;
    std::string section;
    std::string key;
    std::string value;
};

std::ostream& operator<<(std::ostream& out, const Injection& c) {
    return out << c.name;
}

class LineInjection : public ::testing::TestWithParam<Injection> {};

TEST_P(LineInjection, IsRefusedAndTheFileStays) {
    const Injection& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string before = "[Option]\nPriceChange=5\n";
    WriteBytes(path, before);
    EXPECT_FALSE(WriteProfileString(path, c.section, c.key, c.value));
    EXPECT_EQ(ReadBytes(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, LineInjection,
    ::testing::Values(Injection{"LfInValue", "Option", "Email", "a\nPriceChange=1"},
                      Injection{"CrInValue", "Option", "Email", "a\r[Option]"},
                      Injection{"NulInValue", "Option", "Email", "a\0b"s},
                      Injection{"LfInKey", "Option", "A\nPriceChange", "1"},
                      Injection{"NulInKey", "Option", "A\0"s, "1"},
                      Injection{"CrLfInSection", "Option]\r\n[Other", "A", "1"}),
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
    WriteBytes(path, garbage);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "1");
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "0");
    EXPECT_EQ(ReadBytes(path).substr(0, garbage.size()), garbage);
}

INSTANTIATE_TEST_SUITE_P(Bytes, GarbageFile,
                         ::testing::Values(GarbageCase{"Plain", "", 1},
                                           GarbageCase{"AfterUtf8Mark", UTF8_MARK, 2},
                                           GarbageCase{"AfterUtf16Mark", "\xFF\xFE", 3}),
                         CaseName());

TEST(ProfileFileTest, AnOversizedFileIsReadInPartAndNeverRewritten) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    std::string content = "[Option]\nPopup=0\n";
    const std::string filler = ";" + std::string(1022, 'x') + "\n";
    while (content.size() < 50 * 1024 * 1024) {
        content += filler;
    }
    content += "[Late]\nKey=1\n";
    WriteBytes(path, content);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "0");
    EXPECT_EQ(GetProfileString(path, "Late", "Key", "none"), "none");
    EXPECT_FALSE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_EQ(ReadBytes(path), content);
}

TEST(ProfileFileTest, WhatTheSizeLimitCutsIsNotReadInHalf) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string head = "[Option]\nName=\xC3\xA9\n;";
    auto fill = [&head](std::size_t tail) {
        return head + std::string(PROFILE_FILE_MAX - head.size() - tail, 'x');
    };
    // A key line that crosses the limit: its first characters are not a value.
    WriteBytes(path, fill(4) + "\nA=123456\n");
    EXPECT_EQ(GetProfileString(path, "Option", "A", "none"), "none");
    // A character that crosses it leaves the rest of the file UTF-8.
    WriteBytes(path, fill(1) + "\xE2\x82\xAC\n");
    EXPECT_EQ(GetProfileString(path, "Option", "Name", ""), "\xC3\xA9");
}

TEST(ProfileFileTest, AWriteThatWouldOutgrowTheLimitFails) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string before = "[Option]\nPopup=1\n";
    WriteBytes(path, before);
    EXPECT_FALSE(WriteProfileString(path, "Option", "Email", std::string(PROFILE_FILE_MAX, 'e')));
    EXPECT_EQ(ReadBytes(path), before);
}

// Where the file should be there is something else: readers get their defaults, writes
// fail, and nothing blocks or replaces it.
struct NotAFile {
    const char* name;
    void (*make)(const TempDir& dir);
    std::string path;
};

std::ostream& operator<<(std::ostream& out, const NotAFile& c) {
    return out << c.name;
}

class NotAFileTest : public ::testing::TestWithParam<NotAFile> {};

TEST_P(NotAFileTest, GivesDefaultsAndFailsWrites) {
    TempDir dir;
    GetParam().make(dir);
    const std::string path = dir.File(GetParam().path);
    const auto type = fs::symlink_status(path).type();
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "1");
    EXPECT_FALSE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(fs::symlink_status(path).type(), type);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NotAFileTest,
    ::testing::Values(NotAFile{"Folder",
                               [](const TempDir& d) { fs::create_directory(d.File("gold.ini")); },
                               "gold.ini"},
                      NotAFile{"Fifo",
                               [](const TempDir& d) { mkfifo(d.File("gold.ini").c_str(), 0600); },
                               "gold.ini"},
                      NotAFile{"MissingFolder", [](const TempDir&) {}, "missing/gold.ini"},
                      NotAFile{"SymlinkLoop",
                               [](const TempDir& d) {
                                   fs::create_symlink("b.ini", d.File("gold.ini"));
                                   fs::create_symlink("gold.ini", d.File("b.ini"));
                               },
                               "gold.ini"}),
    CaseName());

// Without any write permission bit the file is read-only, for root too.
TEST(ProfileFileTest, AReadOnlyFileIsReadButNotWritten) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string before = "[Option]\nPopup=0\n";
    WriteBytes(path, before);
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "0");
    EXPECT_FALSE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_FALSE(WriteProfileString(path, "Option", "Email", "e"));
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(ProfileFileTest, AnUnreadableFileGivesDefaultsAndIsNotOverwritten) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads files whatever their permission bits";
    }
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string before = "[Option]\nPopup=0\nEmail=e\n";
    WriteBytes(path, before);
    fs::permissions(path, fs::perms::owner_write);
    EXPECT_EQ(GetProfileString(path, "Option", "Popup", "1"), "1");
    EXPECT_FALSE(WriteProfileString(path, "Option", "Popup", "1"));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadBytes(path), before);
}

TEST(ProfileFileTest, AReadOnlyFolderFailsTheWrite) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into folders whatever their permission bits";
    }
    TempDir dir;
    const std::string folder = dir.File("ro");
    fs::create_directory(folder);
    WriteBytes(folder + "/gold.ini", "[Option]\nPopup=0\n");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(WriteProfileString(folder + "/gold.ini", "Option", "Popup", "1"));
    EXPECT_EQ(GetProfileString(folder + "/gold.ini", "Option", "Popup", "1"), "0");
}

TEST(ProfileFileTest, AWriteGoesThroughASymlinkToItsTarget) {
    TempDir dir;
    const std::string target = dir.File("real.ini");
    const std::string link = dir.File("gold.ini");
    WriteBytes(target, "[Option]\nPopup=0\n");
    fs::create_symlink("real.ini", link);
    ASSERT_TRUE(WriteProfileString(link, "Option", "Popup", "1"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadBytes(target), "[Option]\nPopup=1\n");

    // A link to nothing yet creates its target, as opening it for writing would.
    const std::string dangling = dir.File("dangling.ini");
    fs::create_symlink(dir.File("sub/../new.ini"), dangling);
    fs::create_directory(dir.File("sub"));
    ASSERT_TRUE(WriteProfileString(dangling, "Option", "A", "1"));
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadBytes(dir.File("new.ini")), "[Option]\nA=1\n");
}

TEST(ProfileFileTest, ARewriteKeepsThePermissionBitsAndANewFileIsPrivate) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    const fs::perms shared = fs::perms::owner_read | fs::perms::owner_write |
                             fs::perms::group_read | fs::perms::others_read;
    fs::permissions(path, shared);
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(fs::status(path).permissions(), shared);
}

TEST(ProfileFileTest, AFileDeletedBetweenCallsIsCreatedAgain) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    ASSERT_TRUE(WriteProfileString(path, "Option", "LastPrice", "1662.50"));
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "0"));
    EXPECT_EQ(GetProfileString(path, "Option", "LastPrice", ""), "1662.50");
    fs::remove(path);
    EXPECT_EQ(GetProfileString(path, "Option", "LastPrice", ""), "");
    ASSERT_TRUE(WriteProfileString(path, "Option", "Popup", "1"));
    EXPECT_EQ(ReadBytes(path), "[Option]\nPopup=1\n");
}

TEST(ProfileFileTest, AWriteLeavesNoTemporaryFileBehind) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(WriteProfileString(path, "Option", "Key" + std::to_string(i), "v"));
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"gold.ini"});
}

// The temporary file cannot be written in full (a file-size limit, as a full disk would):
// the old file keeps every byte and the temporary file is removed.
TEST(ProfileFileTest, AWriteThatFailsHalfWayLeavesTheOldBytes) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    const std::string before = "[Option]\nPopup=1\n";
    WriteBytes(path, before);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = WriteProfileString(path, "Option", "Email", std::string(200, 'e'));
        _exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write should have failed";
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

// What a kill during a write leaves (".gold.ini.XXXXXX", holding the e-mail address) is
// removed; nothing else is, not even a link or a folder of that name.
TEST(ProfileFileTest, LeftoversOfKilledWritesAreRemovedAndNothingElse) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    WriteBytes(path, "[Option]\nEmail=user@example.com\n");
    const std::vector<std::string> leftovers = {".gold.ini.a1B2c3", ".gold.ini.ZZZZZZ"};
    for (const std::string& name : leftovers) {
        WriteBytes(dir.File(name), "[Option]\nEmail=user@example.com\n");
    }
    const std::vector<std::string> kept = {
        "gold.ini",        ".gold.ini.abc",     ".gold.ini.abcdefg", ".gold.ini.ab-def",
        "gold.ini.abcdef", ".other.ini.abcdef", ".gold.ini.folder",  ".gold.ini.linkto"};
    for (std::size_t i = 1; i + 2 < kept.size(); ++i) {
        WriteBytes(dir.File(kept[i]), "x");
    }
    fs::create_directory(dir.File(".gold.ini.folder"));
    fs::create_symlink(dir.File(".gold.ini.abc"), dir.File(".gold.ini.linkto"));

    EXPECT_EQ(RemoveProfileLeftovers(path), 2);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

// An edit by hand while the program writes the file is never undone and never wiped,
// whether the editor saves by rename or in place.
class EditsByHand : public ::testing::TestWithParam<EditorRace::Style> {};

TEST_P(EditsByHand, SurviveProgramWrites) {
    // Rounds of two seconds until the two really raced, however busy the machine is.
    int edits = 0;
    int programWrites = 0;
    for (int round = 0; round < 15 && (edits <= 20 || programWrites <= 5); ++round) {
        TempDir dir;
        const EditorRace::Result race =
            EditorRace::Run(dir.Path(), GetParam(), std::chrono::milliseconds(2000), 500);
        edits += race.edits;
        programWrites += race.programWrites;
        EXPECT_EQ(race.reverted, 0);
        EXPECT_EQ(race.wiped, 0);
    }
    EXPECT_GT(edits, 20);
    EXPECT_GT(programWrites, 5);
}

INSTANTIATE_TEST_SUITE_P(Editors, EditsByHand,
                         ::testing::Values(EditorRace::Style::Rename, EditorRace::Style::InPlace),
                         [](const auto& param) {
                             return param.param == EditorRace::Style::Rename ? "SaveByRename"
                                                                             : "SaveInPlace";
                         });

TEST(ProfileFileTest, TwoThreadsWritingDifferentKeysLoseNothing) {
    TempDir dir;
    const std::string path = dir.File("gold.ini");
    constexpr int WRITES = 1000;
    auto writer = [&path](const std::string& key, int& failures) {
        for (int i = 0; i < WRITES; ++i) {
            const std::string value = std::to_string(i);
            if (!WriteProfileString(path, "Option", key, value) ||
                GetProfileString(path, "Option", key, "") != value) {
                ++failures;
            }
        }
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a(writer, "CurrentPrice", std::ref(failuresA));
    std::thread b(writer, "FloatPos", std::ref(failuresB));
    a.join();
    b.join();
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
    EXPECT_EQ(GetProfileString(path, "Option", "CurrentPrice", ""), "999");
    EXPECT_EQ(GetProfileString(path, "Option", "FloatPos", ""), "999");
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3) << bytes;
}

} // namespace
