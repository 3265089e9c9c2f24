// SPDX-License-Identifier: MIT
#include "core/app/InstanceProtocol.h"
#include "core/settings/Settings.h"
#include "gui/app/COrvantisDlg.h"
#include "gui/dialogs/CAboutDlg.h"
#include "gui/notify/CInfWnd.h"
#include "gui/notify/CTipDialog.h"
#include "gui/support/Controls.h"
#include "gui/support/ModalDriver.h"
#include "gui/support/UrlRecorder.h"
#include "support/IniFixture.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnv.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace {

const PriceView& PanelOf(const COrvantisDlg& dlg) {
    return Control<CInfWnd>(dlg, "IDC_INF").Prices();
}

class MainWindowTest : public ::testing::Test {
protected:
    IniFixture m_ini;
};

struct ThresholdCase {
    const char* ini;
    const char* label;
};

class ThresholdLabelTest : public MainWindowTest,
                           public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(ThresholdLabelTest, ShowsTheStoredThresholdInWords) {
    m_ini.WriteIni(GetParam().ini);
    COrvantisDlg dlg;
    dlg.UpdateThresholdLabel();
    EXPECT_EQ(Control<QLabel>(dlg, "IDC_NOTIFY").text().toStdString(),
              std::string("The monitor will notify you every ") + GetParam().label +
                  " dollar change");
}

INSTANTIATE_TEST_SUITE_P(StoredValues, ThresholdLabelTest,
                         ::testing::Values(ThresholdCase{"", "10"},
                                           ThresholdCase{"[Option]\nPriceChange=abc\n", "5"},
                                           ThresholdCase{"[Option]\nPriceChange=\n", "5"},
                                           ThresholdCase{"[Option]\nPriceChange=7.50\n", "7.5"},
                                           ThresholdCase{"[Option]\nPriceChange=100\n", "100"},
                                           ThresholdCase{"[Option]\nPriceChange=0.25\n", "0.25"}));

TEST_F(MainWindowTest, StartsWithObtainingEvenWhenAnEarlierRunStoredAPrice) {
    m_ini.WriteIni("[Option]\nLastPrice=1650.00\nCurrentPrice=1662.50\n");
    COrvantisDlg dlg;
    dlg.RefreshPriceDisplay(false);
    EXPECT_EQ(PanelOf(dlg), (PriceView{"1650.00", "", 0.0}));
    EXPECT_EQ(dlg.StatusForBars().text, "Obtaining...");

    dlg.RefreshPriceDisplay(true);
    EXPECT_EQ(PanelOf(dlg), (PriceView{"1650.00", "1662.50", 12.5}));
    EXPECT_EQ(dlg.StatusForBars().text, "1662.50 +12.50");
}

TEST_F(MainWindowTest, WithoutATrayMinimizeAndTheCloseBoxMinimiseTheWindow) {
    COrvantisDlg dlg;
    QSignalSpy ended(&dlg, &COrvantisDlg::EndModal);
    dlg.show();
    dlg.findChild<QPushButton*>(QStringLiteral("IDC_MINIMIZE"))->click();
    EXPECT_TRUE(dlg.isMinimized());
    // mutter minimises only a window that says it may be.
    EXPECT_TRUE(dlg.windowHandle()->flags() & Qt::WindowMinimizeButtonHint);

    dlg.OnOpenMainWindow();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.isMinimized());
    dlg.close();
    EXPECT_TRUE(dlg.isMinimized());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(ended.count(), 0);

    dlg.OnCommand(ID_TRAY_OPEN);
    EXPECT_FALSE(dlg.isMinimized());
}

TEST_F(MainWindowTest, ExitAndEscapeEndTheRunWithStatusZero) {
    COrvantisDlg dlg;
    QSignalSpy ended(&dlg, &COrvantisDlg::EndModal);
    dlg.show();
    dlg.findChild<QPushButton*>(QStringLiteral("IDC_EXIT"))->click();
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.at(0).at(0).toInt(), 0);

    QTest::keyClick(&dlg, Qt::Key_Escape);
    ASSERT_EQ(ended.count(), 2);
    EXPECT_EQ(ended.at(1).at(0).toInt(), 0);
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonElseTheDefaultMinimize) {
    COrvantisDlg dlg;
    QSignalSpy ended(&dlg, &COrvantisDlg::EndModal);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    auto* minimize = dlg.findChild<QPushButton*>(QStringLiteral("IDC_MINIMIZE"));
    auto* exitButton = dlg.findChild<QPushButton*>(QStringLiteral("IDC_EXIT"));
    EXPECT_TRUE(minimize->isDefault());

    auto& panel = Control<CInfWnd>(dlg, "IDC_INF");
    panel.setFocusPolicy(Qt::StrongFocus);
    panel.setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isMinimized());
    EXPECT_EQ(ended.count(), 0);

    dlg.OnOpenMainWindow();
    exitButton->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(dlg.isMinimized());
}

enum class Moved { ByDrag, ByWindowManager };

struct ExitCase {
    const char* name;
    bool floatShown;
    bool escape;
    const char* floatPos; // what gold.ini holds afterwards
    Moved moved = Moved::ByDrag;
};

class ExitPositionTest : public MainWindowTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitPositionTest, ExitStoresTheFloatingWindowPositionOnlyWhileItShows) {
    m_ini.WriteIni("[Option]\nFloatPos=5,6\n");
    COrvantisDlg dlg;
    if (GetParam().floatShown) {
        dlg.OnInitDialog();
        // Moved from where FloatPos put it (5, 6) to (300, 200): dragged by the user, or
        // by the window manager (Alt+drag), which only tells the window where it is now.
        auto& floating = TopLevel<CFloatWnd>("CFloatWnd");
        if (GetParam().moved == Moved::ByWindowManager) {
            floating.move(300, 200);
        } else {
            QTest::mousePress(&floating, Qt::LeftButton, {}, QPoint(10, 10));
            QTest::mouseMove(&floating, QPoint(305, 204));
            QTest::mouseRelease(&floating, Qt::LeftButton, {}, QPoint(10, 10));
        }
    }
    QSignalSpy ended(&dlg, &COrvantisDlg::EndModal);
    if (GetParam().escape) {
        dlg.show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
    } else {
        dlg.OnCommand(ID_TRAY_EXIT);
    }
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(ReadSetting(KEY_FLOAT_POS, "none"), GetParam().floatPos);
}

INSTANTIATE_TEST_SUITE_P(Exits, ExitPositionTest,
                         ::testing::Values(ExitCase{"Shown", true, false, "300,200"},
                                           ExitCase{"MovedByTheWindowManager", true, false,
                                                    "300,200", Moved::ByWindowManager},
                                           ExitCase{"NeverCreated", false, false, "5,6"},
                                           ExitCase{"Escape", true, true, "5,6"}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(MainWindowTest, KeepsTheTemplateProportions) {
    COrvantisDlg dlg;
    auto* minimize = dlg.findChild<QPushButton*>(QStringLiteral("IDC_MINIMIZE"));
    auto* exitButton = dlg.findChild<QPushButton*>(QStringLiteral("IDC_EXIT"));
    // Exit sits left of Minimize on the same row, both 50 x 14 dialog units.
    EXPECT_LT(exitButton->x(), minimize->x());
    EXPECT_EQ(exitButton->y(), minimize->y());
    EXPECT_EQ(exitButton->size(), minimize->size());
    EXPECT_LT(minimize->geometry().bottom(), dlg.height());
    EXPECT_EQ(Control<QLabel>(dlg, "IDC_NOTIFY").width(), dlg.width());
}

struct NotifyCase {
    const char* ini;
    bool email;
    bool dialog;
};

class PriceUpdateTableTest : public MainWindowTest,
                             public ::testing::WithParamInterface<NotifyCase> {};

TEST_P(PriceUpdateTableTest, StartsTheRequestBeforeTheDialogAsTheSettingsSay) {
    m_ini.WriteIni(std::string("[Option]\nEmail=user@example.com\nLastPrice=1650.00\n"
                               "CurrentPrice=1650.00\n") +
                   GetParam().ini);
    LoopbackServer notifyServer(LoopbackServer::Reply(200, "OK"));
    const ScopedEnv useIt("ORVANTIS_NOTIFY_SERVER", notifyServer.Url());
    COrvantisDlg dlg;
    dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);
    const auto* tip = dlg.findChild<CTipDialog*>();
    EXPECT_EQ(tip != nullptr && tip->isVisible(), GetParam().dialog);
    // Asked for before the dialog opened, so it goes out while the dialog is open.
    if (GetParam().email) {
        EXPECT_TRUE(notifyServer.WaitForRequests(1));
    }
    dlg.Shutdown();

    EXPECT_EQ(notifyServer.Requests().size(), GetParam().email ? 1u : 0u);
    EXPECT_EQ(PanelOf(dlg).current, "1650.00");
}

INSTANTIATE_TEST_SUITE_P(SendEmailAndPopup, PriceUpdateTableTest,
                         ::testing::Values(NotifyCase{"SendEmail=1\nPopup=0\n", true, false},
                                           NotifyCase{"SendEmail=1\nPopup=1\n", true, true},
                                           NotifyCase{"SendEmail=1\n", true, true},
                                           NotifyCase{"SendEmail=1\nPopup=no\n", true, true},
                                           NotifyCase{"SendEmail=0\nPopup=0\n", false, true},
                                           NotifyCase{"SendEmail=true\nPopup=0\n", false, true},
                                           NotifyCase{"SendEmail=1 \nPopup=0\n", true, false},
                                           NotifyCase{"SendEmail=\"1 \"\nPopup=0\n", false, true},
                                           NotifyCase{"", false, true}));

TEST_F(MainWindowTest, RefreshShowsTheSignedChangeAndOtherCodesDoNothing) {
    m_ini.WriteIni("[Option]\nSendEmail=1\nEmail=user@example.com\nLastPrice=1650.00\n"
                   "CurrentPrice=1640.01\n");
    LoopbackServer notifyServer(LoopbackServer::Reply(200, "OK"));
    const ScopedEnv useIt("ORVANTIS_NOTIFY_SERVER", notifyServer.Url());
    COrvantisDlg dlg;
    dlg.OnPriceUpdate(2, 0);
    EXPECT_TRUE(PanelOf(dlg).current.empty());

    dlg.OnPriceUpdate(PRICE_UPDATE_REFRESH, 0);
    EXPECT_EQ(PanelOf(dlg).current, "1640.01");
    EXPECT_NEAR(PanelOf(dlg).change, -9.99, 1e-9);
    dlg.Shutdown();
    EXPECT_EQ(dlg.findChild<CTipDialog*>(), nullptr);
    EXPECT_EQ(notifyServer.ConnectionCount(), 0);
}

TEST_F(MainWindowTest, APriceMessagePostedFromAnotherThreadArrivesOnTheWindowThread) {
    m_ini.WriteIni("[Option]\nLastPrice=1650.00\nCurrentPrice=1651.00\n");
    COrvantisDlg dlg;
    ASSERT_EQ(g_pMainDlg.load(), &dlg);
    std::thread poller([] {
        g_pMainDlg.load()->PostPriceUpdate({PRICE_UPDATE_REFRESH, {}, "1650.00", "1651.00"});
    });
    poller.join();
    EXPECT_TRUE(PanelOf(dlg).current.empty()); // queued, not run on the poller
    EXPECT_TRUE(WaitUntil([&] { return !PanelOf(dlg).current.empty(); }, std::chrono::seconds(2),
                          [] { QApplication::processEvents(QEventLoop::AllEvents, 20); }));
    EXPECT_DOUBLE_EQ(PanelOf(dlg).change, 1.0);
}

TEST_F(MainWindowTest, AboutOpensTheAboutBoxAndLiveGoldPricesTheChartServersHomePage) {
    CUrlRecorder recorder;
    COrvantisDlg dlg;
    dlg.OnInitDialog();
    dlg.show();
    CModalDriver driver;
    driver.Arm([](QDialog& dialog) {
        EXPECT_NE(qobject_cast<CAboutDlg*>(&dialog), nullptr);
        dialog.accept();
    });
    auto& about = Control<CHyperLink>(dlg, "IDC_ABOUT");
    QTest::mouseClick(&about, Qt::LeftButton);
    EXPECT_TRUE(driver.Fired());
    EXPECT_FALSE(about.IsVisited());

    auto& live = Control<CHyperLink>(dlg, "IDC_LIVE");
    QTest::mouseClick(&live, Qt::LeftButton);
    // The test's chart server, as the environment sets it.
    EXPECT_EQ(recorder.m_opened, QStringList{QStringLiteral("http://127.0.0.1:9/")});
    EXPECT_TRUE(live.IsVisited());
}

TEST_F(MainWindowTest, ThePanelTheFloatingWindowAndTheTraySayWhatKeepsTheMonitorFromWorking) {
    std::filesystem::create_directory(m_ini.IniPath());
    COrvantisDlg dlg;
    const auto& panel = Control<CInfWnd>(dlg, "IDC_INF");
    const auto& floating = TopLevel<CFloatWnd>("CFloatWnd");
    // The price read is shown though the file could not take it.
    WriteSetting(KEY_CURRENT_PRICE, "1650.00");
    dlg.OnPriceUpdate(PriceUpdate{PRICE_UPDATE_REFRESH, {}, "1640.00", "1650.00"});
    EXPECT_EQ(PanelOf(dlg), MakePriceView("1640.00", "1650.00"));
    const QString line = QStringLiteral("Settings cannot be saved: the file is a folder");
    EXPECT_EQ(panel.toolTip(), line);
    EXPECT_EQ(floating.toolTip(), line);
    EXPECT_EQ(dlg.Tray().Tip(), QStringLiteral("Orvantis\n") + line);

    // A stale price as well: both lines, and the floating window grey.
    PollStatusSnapshot stale;
    stale.stale = true;
    stale.last = {PollResult::HttpStatus, 404, {}};
    dlg.ShowPollStatus(stale);
    const QString both =
        QStringLiteral("No price read yet: the chart server answered with HTTP status 404\n") +
        line;
    EXPECT_EQ(panel.toolTip(), both);
    EXPECT_EQ(floating.toolTip(), both);
    EXPECT_EQ(dlg.Tray().Tip(), QStringLiteral("Orvantis\n") + both);
    EXPECT_TRUE(floating.IsStale());
    EXPECT_EQ(dlg.StatusForBars().cssClass, STATUS_CLASS_STALE);

    std::filesystem::remove(m_ini.IniPath());
    WriteSetting(KEY_CURRENT_PRICE, "1650.00");
    dlg.ShowPollStatus(PollStatusSnapshot{});
    dlg.RefreshPriceDisplay(true);
    EXPECT_TRUE(panel.toolTip().isEmpty());
    EXPECT_TRUE(floating.toolTip().isEmpty());
    EXPECT_EQ(dlg.Tray().Tip(), QStringLiteral("Orvantis"));
    EXPECT_FALSE(floating.IsStale());
}

TEST_F(MainWindowTest, ShutdownClearsTheWindowPointerForWorkers) {
    auto dlg = std::make_unique<COrvantisDlg>();
    EXPECT_EQ(g_pMainDlg.load(), dlg.get());
    dlg->Shutdown();
    EXPECT_EQ(g_pMainDlg.load(), nullptr);
}

} // namespace
