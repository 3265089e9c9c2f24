// SPDX-License-Identifier: MIT
#include "gui/dialogs/CSettingDlg.h"

#include "core/common/Globals.h"
#include "gui/app/COrvantisDlg.h"
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
#include <optional>

namespace {

constexpr int LEAVE = -1;

// The dialog font is the desktop's, wider or narrower than the template's: no text may
// run into the next item or out of the dialog.
TEST(SettingDlgLayoutTest, EveryTextHasItsRoom) {
    CSettingDlg dlg;
    const QList<QWidget*> items = dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (const QWidget* item : items) {
        const bool text = qobject_cast<const QLabel*>(item) || qobject_cast<const QCheckBox*>(item);
        const QRect needed(item->pos(),
                           text ? item->size().expandedTo(item->sizeHint()) : item->size());
        EXPECT_TRUE(dlg.rect().contains(needed)) << item->objectName().toStdString();
        for (const QWidget* other : items) {
            EXPECT_TRUE(other == item || !needed.intersects(other->geometry()))
                << item->objectName().toStdString() << " runs into "
                << other->objectName().toStdString();
        }
    }
}

const std::string FRESH_SHOWN = "threshold=10 email=0 popup=1 address='' enabled=0 startup=0";
const std::string FRESH_AFTER = "[Option]\nSendEmail=0\nPriceChange=10\n";

struct SettingCase {
    const char* name;
    std::string ini{};                      // gold.ini before
    const char* autostart = nullptr;        // the autostart entry before, or none
    std::string shown = FRESH_SHOWN;        // the controls as the dialog opens
    std::optional<std::string> threshold{}; // typed, or left as shown
    int email = LEAVE;                      // ticked (1) or unticked (0) with a click, or left
    std::optional<std::string> address{};
    int popup = LEAVE;
    int startup = LEAVE;
    bool cancel = false;
    std::string iniAfter = FRESH_AFTER;
    bool warned = false; // "Please input your Email address!", the dialog stays open
    bool autostartAfter = false;
    const char* label = "10"; // the threshold in the main window's label afterwards
};

std::ostream& operator<<(std::ostream& out, const SettingCase& c) {
    return out << c.name;
}

std::string Tick(const QCheckBox* box) {
    return box->isChecked() ? "1" : "0";
}

// The dialog's state in one line, with the three e-mail controls' enabled state together.
std::string Shown(const CSettingDlg& dlg) {
    const int enabled = int(dlg.m_btnPopup->isEnabled()) + int(dlg.m_lblEmail->isEnabled()) +
                        int(dlg.m_editEmail->isEnabled());
    return "threshold=" + dlg.m_editThreshold->text().toStdString() +
           " email=" + Tick(dlg.m_btnEmail) + " popup=" + Tick(dlg.m_btnPopup) + " address='" +
           dlg.m_editEmail->text().toStdString() + "' enabled=" +
           (enabled == 3   ? "1"
            : enabled == 0 ? "0"
                           : "mixed") +
           " startup=" + Tick(dlg.m_btnStartup);
}

void SetTick(QCheckBox* box, int tick) {
    if (tick != LEAVE && box->isChecked() != (tick == 1)) {
        box->click();
    }
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
    if (c.autostart != nullptr) {
        std::filesystem::create_directories(m_config.File("autostart"));
        std::ofstream(platform::AutostartEntryPath()) << c.autostart;
    }
    COrvantisDlg main;
    main.UpdateThresholdLabel();
    std::string warning;
    bool focusOnAddress = false;

    CModalDriver driver;
    driver.Arm([&](QDialog& dialog) {
        auto* dlg = qobject_cast<CSettingDlg*>(&dialog);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(Shown(*dlg), c.shown);
        const QString addressShown = dlg->m_editEmail->text();
        if (c.threshold) {
            dlg->m_editThreshold->setText(QString::fromStdString(*c.threshold));
        }
        SetTick(dlg->m_btnEmail, c.email);
        if (c.address) {
            dlg->m_editEmail->setText(QString::fromUtf8(c.address->data(), c.address->size()));
        }
        SetTick(dlg->m_btnPopup, c.popup);
        SetTick(dlg->m_btnStartup, c.startup);
        // The e-mail controls follow the e-mail box at once and keep their contents.
        EXPECT_EQ(dlg->m_editEmail->isEnabled(), dlg->m_btnEmail->isChecked());
        EXPECT_EQ(dlg->m_btnPopup->isEnabled(), dlg->m_btnEmail->isChecked());
        EXPECT_TRUE(c.address || dlg->m_editEmail->text() == addressShown);

        if (c.cancel) {
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
            focusOnAddress = dlg->focusWidget() == dlg->m_editEmail;
            dlg->reject();
        }
    });
    main.OnSettings();

    EXPECT_TRUE(driver.Fired());
    EXPECT_EQ(m_ini.ReadIni(), c.iniAfter);
    EXPECT_EQ(warning, c.warned ? "Please input your Email address!" : "");
    EXPECT_EQ(focusOnAddress, c.warned);
    EXPECT_EQ(platform::IsAutostartEnabled(), c.autostartAfter);
    EXPECT_EQ(main.m_staticNotify->text().toStdString(),
              std::string("The monitor will notify you every ") + c.label + " dollar change");
}

const char* const ENTRY_ON = "[Desktop Entry]\nType=Application\nExec=orvantis -s\n";
const char* const ENTRY_HIDDEN = "[Desktop Entry]\nExec=orvantis -s\nHidden=true\n";

// Pasted control characters, a forged line, text that is not UTF-8 and far too much of it.
constexpr char HOSTILE_START[] = "  user@example.com\r\n[Option]\nPriceChange=0\0\xFF";
const std::string HOSTILE_ADDRESS =
    std::string(HOSTILE_START, sizeof(HOSTILE_START) - 1) + std::string(100000, 'x');
// The field holds the 259 characters that can be read back; the controls are dropped.
const std::string HOSTILE_SAVED = "  user@example.com[Option]PriceChange=0\xEF\xBF\xBD" +
                                  std::string(259 - (sizeof(HOSTILE_START) - 1), 'x');

SettingCase Threshold(const char* name, const std::string& typed, const char* saved) {
    return {.name = name,
            .threshold = typed,
            .iniAfter = std::string("[Option]\nSendEmail=0\nPriceChange=") + saved + "\n",
            .label = saved};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingDlgTest,
    ::testing::Values(
        SettingCase{.name = "FreshSystem"}, Threshold("Rounded", "7.499", "7.5"),
        Threshold("NumberThenText", "12abc", "12"), Threshold("NoNumber", "abc", "5"),
        Threshold("Empty", "", "5"), Threshold("Zero", "0", "10"),
        Threshold("Negative", "-3", "10"), Threshold("StoredAsZero", "0.004", "10"),
        Threshold("FarTooLong", std::string(100000, '9'), "5"),
        SettingCase{.name = "CancelWritesNothing",
                    .ini = "[Option]\nPriceChange=7.50\n",
                    .shown = "threshold=7.5 email=0 popup=1 address='' enabled=0 startup=0",
                    .threshold = "3",
                    .email = 1,
                    .address = "user@example.com",
                    .startup = 1,
                    .cancel = true,
                    .iniAfter = "[Option]\nPriceChange=7.50\n",
                    .label = "7.5"},
        SettingCase{.name = "EmptyAddressWritesNothing",
                    .ini = "[Option]\nPriceChange=7\n",
                    .shown = "threshold=7 email=0 popup=1 address='' enabled=0 startup=0",
                    .threshold = "3",
                    .email = 1,
                    .address = "",
                    .startup = 1,
                    .iniAfter = "[Option]\nPriceChange=7\n",
                    .warned = true,
                    .label = "7"},
        SettingCase{.name = "ControlCharactersAreNoAddress",
                    .email = 1,
                    .address = "\r\n\t",
                    .iniAfter = "",
                    .warned = true},
        SettingCase{
            .name = "EmailOn",
            .threshold = "2.5",
            .email = 1,
            .address = "user@example.com",
            .popup = 0,
            .iniAfter = "[Option]\nEmail=user@example.com\nSendEmail=1\nPopup=0\nPriceChange=2.5\n",
            .label = "2.5"},
        SettingCase{
            .name = "UntickingKeepsTheStoredAddress",
            .ini = "[Option]\nSendEmail=1\nEmail=old@example.com\nPopup=0\n",
            .shown = "threshold=10 email=1 popup=0 address='old@example.com' enabled=1 startup=0",
            .email = 0,
            .address = "new@example.org",
            .iniAfter = "[Option]\nSendEmail=0\nEmail=old@example.com\nPopup=0\nPriceChange=10\n"},
        SettingCase{
            .name = "TickingEnablesTheControlsWithTheirContents",
            .ini = "[Option]\nSendEmail=yes\nEmail=kept@example.com\nPopup=yes\n",
            .shown = "threshold=10 email=0 popup=0 address='kept@example.com' enabled=0 startup=0",
            .email = 1,
            .iniAfter = "[Option]\nSendEmail=1\nEmail=kept@example.com\nPopup=0\nPriceChange=10\n"},
        SettingCase{.name = "HostileInput",
                    .threshold = "1e400",
                    .email = 1,
                    .address = HOSTILE_ADDRESS,
                    .iniAfter = "[Option]\nEmail=" + HOSTILE_SAVED +
                                "\nSendEmail=1\nPopup=1\nPriceChange=5\n",
                    .label = "5"},
        SettingCase{.name = "LoadAtLoginWritesTheEntry", .startup = 1, .autostartAfter = true},
        SettingCase{.name = "AnEntrySwitchedOffShowsUnticked",
                    .autostart = ENTRY_HIDDEN,
                    .startup = 1,
                    .autostartAfter = true},
        SettingCase{.name = "UntickingDeletesTheEntry",
                    .autostart = ENTRY_ON,
                    .shown = "threshold=10 email=0 popup=1 address='' enabled=0 startup=1",
                    .startup = 0}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
