// SPDX-License-Identifier: MIT
#include "gui/dialogs/CSettingDlg.h"

#include "core/common/Globals.h"
#include "core/settings/Settings.h"
#include "gui/app/COrvantisDlg.h"
#include "gui/support/Controls.h"
#include "gui/support/ModalDriver.h"
#include "platform/Platform.h"
#include "support/IniFixture.h"
#include "support/ScopedEnv.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

enum class End { Ok, Cancel, Warned }; // Warned: "Please input your Email address!"

struct SettingCase {
    const char* name;
    std::string ini;   // gold.ini before
    const char* entry; // the autostart entry before, or none
    std::string shown; // the controls as the dialog opens
    std::function<void(CSettingDlg&)> edit;
    End end;
    std::string iniAfter;
    bool autostartAfter;
};

std::ostream& operator<<(std::ostream& out, const SettingCase& c) {
    return out << c.name;
}

std::string Tick(const CSettingDlg& dlg, const char* box) {
    return Control<QCheckBox>(dlg, box).isChecked() ? "1" : "0";
}

std::string Text(const CSettingDlg& dlg, const char* edit) {
    return Control<QLineEdit>(dlg, edit).text().toStdString();
}

// The dialog's state in one line, with the three e-mail controls' enabled state together.
std::string Shown(const CSettingDlg& dlg) {
    int enabled = 0;
    for (const char* control : {"IDC_POPUP", "IDC_EMAIL_LABEL", "IDC_EMAIL"}) {
        enabled += Control(dlg, control).isEnabled() ? 1 : 0;
    }
    return "threshold=" + Text(dlg, "IDC_THRESHOLD") + " email=" + Tick(dlg, "IDC_SEND_EMAIL") +
           " popup=" + Tick(dlg, "IDC_POPUP") + " address='" + Text(dlg, "IDC_EMAIL") +
           "' enabled=" +
           (enabled == 3   ? "1"
            : enabled == 0 ? "0"
                           : "mixed") +
           " startup=" + Tick(dlg, "IDC_STARTUP");
}

void Type(CSettingDlg& dlg, const char* edit, const std::string& text) {
    Control<QLineEdit>(dlg, edit).setText(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void Click(CSettingDlg& dlg, const char* box) {
    Control<QCheckBox>(dlg, box).click();
}

class SettingDlgTest : public ::testing::TestWithParam<SettingCase> {
protected:
    SettingDlgTest() : m_oldExePath(g_strExePath) { g_strExePath = "/opt/Orvantis/orvantis"; }
    ~SettingDlgTest() override { g_strExePath = m_oldExePath; }

    IniFixture m_ini;
    TempDir m_config;
    ScopedEnv m_useConfig{"XDG_CONFIG_HOME", m_config.Path()};
    std::string m_oldExePath;
};

TEST_P(SettingDlgTest, LoadsTheSettingsAndWritesThemBackOnlyOnOk) {
    const SettingCase& c = GetParam();
    m_ini.WriteIni(c.ini);
    if (c.entry != nullptr) {
        std::filesystem::create_directories(m_config.File("autostart"));
        std::ofstream(platform::AutostartEntryPath()) << c.entry;
    }
    COrvantisDlg main;
    std::string warning;
    bool focusOnAddress = false;

    CModalDriver driver;
    driver.Arm([&](QDialog& dialog) {
        auto* dlg = qobject_cast<CSettingDlg*>(&dialog);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(Shown(*dlg), c.shown);
        c.edit(*dlg);
        // The e-mail controls follow the e-mail box at once.
        const bool ticked = Control<QCheckBox>(*dlg, "IDC_SEND_EMAIL").isChecked();
        EXPECT_EQ(Control(*dlg, "IDC_EMAIL").isEnabled(), ticked);
        EXPECT_EQ(Control(*dlg, "IDC_POPUP").isEnabled(), ticked);
        if (c.end == End::Cancel) {
            dlg->findChild<QPushButton*>(QStringLiteral("IDCANCEL"))->click();
            return;
        }
        CModalDriver box;
        box.Arm(
            [&](QDialog& shown) {
                auto* message = qobject_cast<QMessageBox*>(&shown);
                ASSERT_NE(message, nullptr);
                EXPECT_EQ(message->windowTitle(), QStringLiteral("orvantis"));
                EXPECT_EQ(message->icon(), QMessageBox::Warning);
                warning = message->text().toStdString();
                message->accept();
            },
            dlg);
        dlg->findChild<QPushButton*>(QStringLiteral("IDOK"))->click();
        if (dlg->isVisible()) {
            focusOnAddress = dlg->focusWidget() == &Control(*dlg, "IDC_EMAIL");
            dlg->reject();
        }
    });
    main.OnSettings();

    EXPECT_TRUE(driver.Fired());
    EXPECT_EQ(m_ini.ReadIni(), c.iniAfter);
    const bool warned = c.end == End::Warned;
    EXPECT_EQ(warning, warned ? "Please input your Email address!" : "");
    EXPECT_EQ(focusOnAddress, warned);
    EXPECT_EQ(platform::IsAutostartEnabled(), c.autostartAfter);
    // After OK the label follows the new threshold; otherwise it still shows the template's.
    const std::string label =
        c.end == End::Ok ? FormatThreshold(ReadSetting(KEY_PRICE_CHANGE)) : "5";
    EXPECT_EQ(Control<QLabel>(main, "IDC_NOTIFY").text().toStdString(),
              "The monitor will notify you every " + label + " dollar change");
}

const std::string FRESH = "threshold=10 email=0 popup=1 address='' enabled=0 startup=0";
const std::string FRESH_AFTER = "[Option]\nSendEmail=0\nPriceChange=10\n";

// Pasted control characters, a forged line, text that is not UTF-8 and far too much of it:
// the field holds the 259 characters gold.ini gives back, the controls are dropped.
constexpr char HOSTILE[] = "  user@example.com\r\n[Option]\nPriceChange=0\0\xFF";
const std::string HOSTILE_SAVED = "  user@example.com[Option]PriceChange=0\xEF\xBF\xBD" +
                                  std::string(259 - (sizeof(HOSTILE) - 1), 'x');

SettingCase Threshold(const char* name, const std::string& typed, const std::string& saved) {
    return {name,
            "",
            nullptr,
            FRESH,
            [typed](CSettingDlg& d) { Type(d, "IDC_THRESHOLD", typed); },
            End::Ok,
            "[Option]\nSendEmail=0\nPriceChange=" + saved + "\n",
            false};
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SettingDlgTest, ::testing::Values(
    SettingCase{"FreshSystem", "", nullptr, FRESH, [](CSettingDlg&) {}, End::Ok, FRESH_AFTER, false},
    Threshold("Rounded", "7.499", "7.5"), Threshold("NumberThenText", "12abc", "12"),
    Threshold("NoNumber", "abc", "5"), Threshold("Empty", "", "5"), Threshold("Zero", "0", "10"),
    Threshold("Negative", "-3", "10"), Threshold("StoredAsZero", "0.004", "10"),
    SettingCase{"CancelWritesNothing", "[Option]\nPriceChange=7.50\n", nullptr,
        "threshold=7.5 email=0 popup=1 address='' enabled=0 startup=0",
        [](CSettingDlg& d) { Type(d, "IDC_THRESHOLD", "3"); Click(d, "IDC_SEND_EMAIL");
                             Type(d, "IDC_EMAIL", "user@example.com"); Click(d, "IDC_STARTUP"); },
        End::Cancel, "[Option]\nPriceChange=7.50\n", false},
    SettingCase{"EmptyAddressWritesNothing", "[Option]\nPriceChange=7\n", nullptr,
        "threshold=7 email=0 popup=1 address='' enabled=0 startup=0",
        [](CSettingDlg& d) { Type(d, "IDC_THRESHOLD", "3"); Click(d, "IDC_SEND_EMAIL"); Click(d, "IDC_STARTUP"); },
        End::Warned, "[Option]\nPriceChange=7\n", false},
    SettingCase{"EmailOn", "", nullptr, FRESH,
        [](CSettingDlg& d) { Type(d, "IDC_THRESHOLD", "2.5"); Click(d, "IDC_SEND_EMAIL");
                             Type(d, "IDC_EMAIL", "user@example.com"); Click(d, "IDC_POPUP"); },
        End::Ok, "[Option]\nEmail=user@example.com\nSendEmail=1\nPopup=0\nPriceChange=2.5\n", false},
    SettingCase{"UntickingKeepsTheStoredAddress", "[Option]\nSendEmail=1\nEmail=old@example.com\nPopup=0\n", nullptr,
        "threshold=10 email=1 popup=0 address='old@example.com' enabled=1 startup=0",
        [](CSettingDlg& d) { Click(d, "IDC_SEND_EMAIL"); Type(d, "IDC_EMAIL", "new@example.org"); },
        End::Ok, "[Option]\nSendEmail=0\nEmail=old@example.com\nPopup=0\nPriceChange=10\n", false},
    SettingCase{"TickingEnablesTheControlsWithTheirContents", "[Option]\nSendEmail=yes\nEmail=kept@example.com\nPopup=yes\n", nullptr,
        "threshold=10 email=0 popup=0 address='kept@example.com' enabled=0 startup=0",
        [](CSettingDlg& d) { Click(d, "IDC_SEND_EMAIL"); EXPECT_EQ(Text(d, "IDC_EMAIL"), "kept@example.com"); },
        End::Ok, "[Option]\nSendEmail=1\nEmail=kept@example.com\nPopup=0\nPriceChange=10\n", false},
    SettingCase{"HostileInput", "", nullptr, FRESH,
        [](CSettingDlg& d) { Type(d, "IDC_THRESHOLD", std::string(100000, '9')); Click(d, "IDC_SEND_EMAIL");
                             Type(d, "IDC_EMAIL", std::string(HOSTILE, sizeof(HOSTILE) - 1) + std::string(100000, 'x')); },
        End::Ok, "[Option]\nEmail=" + HOSTILE_SAVED + "\nSendEmail=1\nPopup=1\nPriceChange=5\n", false},
    SettingCase{"AnEntrySwitchedOffShowsUntickedAndTickingTurnsItOn", "", "[Desktop Entry]\nExec=orvantis -s\nHidden=true\n",
        FRESH, [](CSettingDlg& d) { Click(d, "IDC_STARTUP"); }, End::Ok, FRESH_AFTER, true},
    SettingCase{"UntickingDeletesTheEntry", "", "[Desktop Entry]\nExec=orvantis -s\n",
        "threshold=10 email=0 popup=1 address='' enabled=0 startup=1",
        [](CSettingDlg& d) { Click(d, "IDC_STARTUP"); }, End::Ok, FRESH_AFTER, false}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

} // namespace
