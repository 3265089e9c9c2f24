// SPDX-License-Identifier: MIT
// The rules by which Windows reads and writes its profile files, through the two calls.
#include "core/settings/ProfileFile.h"

#include "support/IniFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

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
        WriteFileBytes(path, *c.before);
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
        EXPECT_EQ(ReadFileBytes(path), *expected);
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
    WriteFileBytes(path, before);
    EXPECT_FALSE(WriteProfileString(path, c.section, c.key, c.value));
    EXPECT_EQ(ReadFileBytes(path), before);
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

} // namespace
