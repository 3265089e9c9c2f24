// SPDX-License-Identifier: MIT
#include "core/settings/SettingText.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

struct ThresholdText {
    double value;
    const char* text;
};

std::ostream& operator<<(std::ostream& out, const ThresholdText& c) {
    return out << c.value;
}

class FormatThresholdTest : public ::testing::TestWithParam<ThresholdText> {};

TEST_P(FormatThresholdTest, DropsTrailingZerosThenThePoint) {
    EXPECT_EQ(FormatThreshold(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, FormatThresholdTest,
                         ::testing::Values(ThresholdText{10, "10"}, ThresholdText{7.5, "7.5"},
                                           ThresholdText{0.25, "0.25"}, ThresholdText{100, "100"},
                                           ThresholdText{0.004, "0"}, ThresholdText{0, "0"},
                                           ThresholdText{1000.1, "1000.1"},
                                           ThresholdText{2.675, "2.67"}, // 2.67499999...
                                           ThresholdText{9.999, "10"},
                                           ThresholdText{-0.004, "-0"}));

TEST(FormatPriceTest, MatchesPrintfWhateverTheValue) {
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> exponent(-4, 20);
    std::vector<double> values = {0.0,    -0.0,  -0.001,  0.005,      0.015, 0.125,
                                  1662.5, 1e300, -1e-300, 123456.785, 2.675};
    for (int i = 0; i < 2000; ++i) {
        const double value = std::pow(10.0, exponent(random));
        values.push_back(i % 2 == 0 ? value : -value);
    }
    for (const double value : values) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%.2f", value);
        EXPECT_EQ(FormatPrice(value), expected) << value;
    }
}

struct DoubleText {
    const char* text;
    double expected; // NAN: the preset
};

std::ostream& operator<<(std::ostream& out, const DoubleText& c) {
    return out << '"' << c.text << '"';
}

class ParseDoubleTest : public ::testing::TestWithParam<DoubleText> {};

TEST_P(ParseDoubleTest, TakesTheLongestNumberOrThePreset) {
    constexpr double PRESET = -42;
    const double parsed = ParseDouble(GetParam().text, PRESET);
    if (std::isnan(GetParam().expected)) {
        EXPECT_EQ(parsed, PRESET);
    } else {
        EXPECT_EQ(parsed, GetParam().expected);
    }
}

constexpr double PRESET_TAKEN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseDoubleTest,
    ::testing::Values(DoubleText{"1662.50", 1662.5}, DoubleText{" \t\n\v\f\r7.5abc", 7.5},
                      DoubleText{"+5", 5}, DoubleText{"-5", -5}, DoubleText{".5", 0.5},
                      DoubleText{"5.", 5}, DoubleText{"1e3", 1000}, DoubleText{"1e", 1},
                      DoubleText{"2E-2x", 0.02}, DoubleText{"1,5", 1}, DoubleText{"0x1A", 26},
                      DoubleText{"0x.8", 0.5}, DoubleText{"0xg", 0}, DoubleText{"007", 7},
                      DoubleText{"", PRESET_TAKEN}, DoubleText{"abc", PRESET_TAKEN},
                      DoubleText{"   ", PRESET_TAKEN}, DoubleText{"-", PRESET_TAKEN},
                      DoubleText{"+-5", PRESET_TAKEN}, DoubleText{"--5", PRESET_TAKEN},
                      DoubleText{"- 5", PRESET_TAKEN}, DoubleText{".", PRESET_TAKEN},
                      DoubleText{"inf", PRESET_TAKEN}, DoubleText{"-Infinity", PRESET_TAKEN},
                      DoubleText{"nan", PRESET_TAKEN}, DoubleText{"1e999", PRESET_TAKEN}));

// Switches LC_NUMERIC to a locale with a decimal comma. A system without one gets a German
// locale compiled into `folder` (glibc finds it through LOCPATH).
bool SwitchToCommaLocale(const TempDir& folder) {
    const auto tryNames = [] {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
            if (std::setlocale(LC_NUMERIC, name) != nullptr) {
                return true;
            }
        }
        return false;
    };
    if (tryNames()) {
        return true;
    }
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + folder.File("de_DE.UTF-8") + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    setenv("LOCPATH", folder.Path().c_str(), 1);
    const bool switched = tryNames();
    unsetenv("LOCPATH");
    return switched;
}

TEST(ParseDoubleTest, IgnoresTheNumericLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    TempDir folder;
    if (!SwitchToCommaLocale(folder)) {
        GTEST_SKIP() << "no locale with a decimal comma can be had";
    }
    EXPECT_EQ(std::localeconv()->decimal_point, std::string(","));
    EXPECT_EQ(ParseDouble("1662.50", 0), 1662.5);
    EXPECT_EQ(FormatPrice(1662.5), "1662.50");
    EXPECT_EQ(FormatThreshold(7.5), "7.5");
    std::setlocale(LC_NUMERIC, previous.c_str());
}

struct PositionText {
    const char* text;
    std::optional<std::pair<int, int>> expected;
};

std::ostream& operator<<(std::ostream& out, const PositionText& c) {
    return out << '"' << c.text << '"';
}

class ParseFloatPosTest : public ::testing::TestWithParam<PositionText> {};

TEST_P(ParseFloatPosTest, NeedsBothIntegers) {
    EXPECT_EQ(ParseFloatPos(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseFloatPosTest,
    ::testing::Values(
        PositionText{"100,200", std::pair{100, 200}}, PositionText{"-5,20", std::pair{-5, 20}},
        PositionText{" 5,\t6", std::pair{5, 6}}, PositionText{"+5,+6", std::pair{5, 6}},
        PositionText{"5,6xyz", std::pair{5, 6}},
        PositionText{"2147483647,-2147483648", std::pair{2147483647, -2147483647 - 1}},
        PositionText{"100", std::nullopt}, PositionText{"x,y", std::nullopt},
        PositionText{"5 ,6", std::nullopt}, PositionText{"5,", std::nullopt},
        PositionText{"5,x", std::nullopt}, PositionText{"", std::nullopt},
        PositionText{"+-5,1", std::nullopt}, PositionText{"2147483648,0", std::nullopt},
        PositionText{"1,99999999999", std::nullopt}, PositionText{"1.5,2", std::nullopt}));

} // namespace
