// SPDX-License-Identifier: MIT
#include "gui/dialogs/CAlertRulesDlg.h"

#include "gui/support/Controls.h"
#include "gui/support/ModalDriver.h"
#include "support/IniFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

enum class End { Ok, Cancel, Esc };

struct RulesCase {
    const char* name;
    std::string ini;
    std::vector<std::pair<const char*, const char*>> typed; // field and text; IDC_STYLE: index
    End end;
    const char* warning; // a part of the message, or empty when none comes
    std::string iniAfter;
};

std::ostream& operator<<(std::ostream& out, const RulesCase& c) {
    return out << c.name;
}

class AlertRulesDlgTest : public ::testing::TestWithParam<RulesCase> {
protected:
    IniFixture m_ini;
};

TEST_P(AlertRulesDlgTest, ChecksTheValuesAndWritesOnlyWhatChanged) {
    const RulesCase& c = GetParam();
    m_ini.WriteIni(c.ini);
    CAlertRulesDlg dlg;
    std::string warning;
    CModalDriver driver;
    driver.Arm([&](QDialog& dialog) {
        for (const auto& [field, text] : c.typed) {
            if (std::string(field) == "IDC_STYLE") {
                Control<QComboBox>(dialog, field).setCurrentIndex(std::stoi(text));
            } else if (std::string(field) == "IDC_SNOOZE") {
                Control<QPushButton>(dialog, field).click();
            } else {
                Control<QLineEdit>(dialog, field).setText(QString::fromUtf8(text));
            }
        }
        if (c.end == End::Esc) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
            return;
        }
        if (c.end == End::Cancel) {
            Control<QPushButton>(dialog, "IDCANCEL").click();
            return;
        }
        CModalDriver box;
        box.Arm(
            [&](QDialog& shown) {
                auto* message = qobject_cast<QMessageBox*>(&shown);
                ASSERT_NE(message, nullptr);
                warning = message->text().toStdString();
                message->accept();
            },
            &dialog);
        // Enter on the focused OK.
        Control<QPushButton>(dialog, "IDOK").setFocus();
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
        if (dialog.isVisible()) {
            dialog.reject();
        }
    });
    dlg.exec();
    EXPECT_TRUE(driver.Fired());
    if (*c.warning == '\0') {
        EXPECT_EQ(warning, "");
    } else {
        EXPECT_NE(warning.find(c.warning), std::string::npos) << warning;
    }
    EXPECT_EQ(m_ini.ReadIni(), c.iniAfter);
}

const std::string PLAIN = "[Option]\nPriceChange=5\n";
const std::string RULES =
    "[Option]\nPriceChange=5\n[Alerts]\nAlertAbove=2400\nQuietHours=22:00-07:00\n";

RulesCase Refused(const char* name, const char* field, const char* text, const char* warning) {
    return {name, RULES, {{"IDC_STYLE", "1"}, {field, text}}, End::Ok, warning, RULES};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, AlertRulesDlgTest, ::testing::Values(
    RulesCase{"OkWithNothingChangedAddsNoSection", PLAIN, {}, End::Ok, "", PLAIN},
    RulesCase{"OnlyTheChangedKeyIsWritten", RULES, {{"IDC_STYLE", "1"}}, End::Ok, "",
              RULES + "Style=notification\n"},
    RulesCase{"LevelsBandAndQuietHours", PLAIN,
              {{"IDC_BELOW", " 1900.5 "}, {"IDC_BAND", "2.5"}, {"IDC_QUIET_FROM", "23:30"}, {"IDC_QUIET_TO", "06:00"}},
              End::Ok, "", PLAIN + "[Alerts]\nAlertBelow=1900.5\nLevelBand=2.5\nQuietHours=23:30-06:00\n"},
    RulesCase{"ClearedLevelAndQuietHoursTurnOff", RULES,
              {{"IDC_ABOVE", ""}, {"IDC_QUIET_FROM", ""}, {"IDC_QUIET_TO", ""}, {"IDC_PERCENT", "0.5"}},
              End::Ok, "", "[Option]\nPriceChange=5\n[Alerts]\nAlertAbove=\nQuietHours=\nPercentChange=0.5\n"},
    RulesCase{"CancelWritesNothing", RULES, {{"IDC_STYLE", "1"}, {"IDC_SNOOZE", ""}, {"IDC_ABOVE", "2500"}},
              End::Cancel, "", RULES},
    RulesCase{"EscWritesNothing", RULES, {{"IDC_SNOOZE", ""}, {"IDC_BELOW", "1800"}}, End::Esc, "", RULES},
    Refused("LevelNotANumber", "IDC_ABOVE", "2,400", "Alert at or above"),
    Refused("LevelZero", "IDC_BELOW", "0", "Alert at or below"),
    Refused("LevelNegative", "IDC_ABOVE", "-5", "Alert at or above"),
    Refused("BandBelowZero", "IDC_BAND", "-0.01", "level band"),
    Refused("BandEmpty", "IDC_BAND", "", "level band"),
    Refused("PercentText", "IDC_PERCENT", "five", "percent"),
    Refused("QuietTimeNotAClock", "IDC_QUIET_FROM", "25:00", "start of the quiet hours"),
    Refused("QuietTimeWithoutColon", "IDC_QUIET_TO", "0700", "end of the quiet hours"),
    Refused("QuietHoursOfNoLength", "IDC_QUIET_TO", "22:00", "another time"),
    RulesCase{"QuietHoursWithOneEnd", PLAIN, {{"IDC_QUIET_FROM", "22:00"}}, End::Ok,
              "end of the quiet hours", PLAIN}),
    CaseName());
// clang-format on

} // namespace
