// SPDX-License-Identifier: MIT
#include "core/settings/Settings.h"

#include "core/common/Globals.h"
#include "core/settings/ProfileFile.h"
#include "support/IniFixture.h"

#include <gtest/gtest.h>

namespace {

TEST(SettingsTest, AMissingThresholdIsTenAndAnUnreadableOneFive) {
    const IniFixture ini;
    EXPECT_EQ(ReadSetting(KEY_PRICE_CHANGE), 10);
    ini.WriteIni("[Option]\nPopup=1\n");
    EXPECT_EQ(ReadSetting(KEY_PRICE_CHANGE), 10);
    ini.WriteIni("[Option]\nPriceChange=abc\n");
    EXPECT_EQ(ReadSetting(KEY_PRICE_CHANGE), 5);
    ini.WriteIni("[Option]\nPriceChange=\n");
    EXPECT_EQ(ReadSetting(KEY_PRICE_CHANGE), 5);
    ini.WriteIni("[Option]\nPriceChange=7.50\n");
    EXPECT_EQ(ReadSetting(KEY_PRICE_CHANGE), 7.5);
    EXPECT_EQ(FormatThreshold(ReadSetting(KEY_PRICE_CHANGE)), "7.5");
}

TEST(SettingsTest, SettingsLiveInSectionOption) {
    const IniFixture ini;
    ini.WriteIni("[Other]\nEmail=other\n");
    ASSERT_TRUE(WriteSetting(KEY_EMAIL, "me@example.com"));
    EXPECT_EQ(ReadSetting(KEY_EMAIL), "me@example.com");
    ASSERT_TRUE(WriteSetting(KEY_PRICE_CHANGE, FormatThreshold(0.25)));
    EXPECT_EQ(ReadSetting(KEY_PRICE_CHANGE), 0.25);
    EXPECT_EQ(GetProfileString(g_strIniFile, "Other", KEY_EMAIL.name, ""), "other");
}

} // namespace
