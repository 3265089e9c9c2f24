// SPDX-License-Identifier: MIT
#include "gui/app/COrvantisDlg.h"
#include "gui/notify/CInfWnd.h"
#include "gui/notify/CTipDialog.h"
#include "gui/support/Controls.h"
#include "support/IniFixture.h"
#include "support/LoopbackServer.h"
#include "support/ScopedEnv.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace {

// The captions of the open notification dialogs, each once.
std::set<QString> DistinctCaptions(const std::vector<CTipDialog*>& dialogs) {
    std::set<QString> captions;
    for (const CTipDialog* tip : dialogs) {
        captions.insert(tip->windowTitle());
    }
    return captions;
}

std::vector<CTipDialog*> OpenTipDialogs() {
    std::vector<CTipDialog*> dialogs;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* tip = qobject_cast<CTipDialog*>(w); tip != nullptr && tip->isVisible()) {
            dialogs.push_back(tip);
        }
    }
    return dialogs;
}

class TipDialogTest : public ::testing::Test {
protected:
    IniFixture m_ini;
};

struct PanelCase {
    const char* ini;
    const char* last;
    const char* current;
    double change;
};

class TipPanelTest : public TipDialogTest, public ::testing::WithParamInterface<PanelCase> {};

TEST_P(TipPanelTest, FillsThePanelFromThePreviousAndTheNewReference) {
    m_ini.WriteIni(GetParam().ini);
    const std::string before = m_ini.ReadIni();
    CTipDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Gold Price Changed"));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    const PriceView& shown = Control<CInfWnd>(dialog, "IDC_INF").Prices();
    EXPECT_EQ(shown.lastNotify, GetParam().last);
    EXPECT_EQ(shown.current, GetParam().current);
    EXPECT_DOUBLE_EQ(shown.change, GetParam().change);
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(m_ini.ReadIni(), before); // the dialog writes nothing
}

INSTANTIATE_TEST_SUITE_P(
    StoredPrices, TipPanelTest,
    ::testing::Values(
        PanelCase{"[Option]\nTipLastPrice=1650.00\nLastPrice=1662.50\n", "1650.00", "1662.50",
                  12.5},
        PanelCase{"[Option]\nTipLastPrice=1662.50\nLastPrice=1650.00\n", "1662.50", "1650.00",
                  -12.5},
        PanelCase{"[Option]\nTipLastPrice=1650.00\nLastPrice=1650.00\n", "1650.00", "1650.00", 0.0},
        PanelCase{"[Option]\nLastPrice=1650.00\n", "", "1650.00", 0.0},
        PanelCase{"[Option]\nTipLastPrice=abc\nLastPrice=1650.00\n", "abc", "1650.00", 1650.0},
        PanelCase{"[Option]\nTipLastPrice=1650.00\n", "1650.00", "", 0.0}));

TEST_F(TipDialogTest, ClosesOnOk) {
    CTipDialog dialog;
    QTimer::singleShot(0, &dialog,
                       [&] { dialog.findChild<QPushButton*>(QStringLiteral("IDOK"))->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

TEST_F(TipDialogTest, ASecondNotificationOpensASecondDialogOverTheFirst) {
    m_ini.WriteIni("[Option]\nTipLastPrice=1650.00\nLastPrice=1662.50\nCurrentPrice=1662.50\n");
    COrvantisDlg dlg;
    dlg.show();

    size_t seen = 0;
    std::set<QString> captions;
    QTimer::singleShot(0, &dlg, [&] {
        ASSERT_EQ(OpenTipDialogs().size(), 1u);
        dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0); // nested, like a posted message would be
    });
    // Runs inside the second dialog's loop: both are open then.
    QTimer::singleShot(50, &dlg, [&] {
        seen = OpenTipDialogs().size();
        captions = DistinctCaptions(OpenTipDialogs());
        for (CTipDialog* tip : OpenTipDialogs()) {
            tip->reject();
        }
    });
    QTimer::singleShot(100, &dlg, [&] {
        for (CTipDialog* tip : OpenTipDialogs()) {
            tip->reject();
        }
    });
    dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);
    EXPECT_EQ(seen, 2u);
    // The first keeps the plain caption; the second is told apart by its time.
    ASSERT_EQ(captions.size(), 2u);
    EXPECT_EQ(*captions.begin(), QStringLiteral("Gold Price Changed"));
    EXPECT_TRUE(captions.rbegin()->startsWith(QStringLiteral("Gold Price Changed (")));
    EXPECT_TRUE(OpenTipDialogs().empty());
}

// A notification at every poll (a threshold of 0) must not stack dialogs without end: the
// eleventh opens none, while its e-mail request still goes out.
TEST_F(TipDialogTest, AtMostTenNotificationDialogsAreOpenAtOnce) {
    m_ini.WriteIni("[Option]\nSendEmail=1\nEmail=user@example.com\nLastPrice=1650.00\n");
    LoopbackServer notifyServer(LoopbackServer::Reply(200, "OK"));
    const ScopedEnv useIt("ORVANTIS_NOTIFY_SERVER", notifyServer.Url());
    COrvantisDlg dlg;
    dlg.show();

    std::size_t openAtTheTop = 0;
    std::size_t openAfterTheEleventh = 0;
    std::size_t captionsAtTheTop = 0;
    // Runs inside the newest dialog's loop, one level deeper each time.
    std::function<void()> notifyAgain = [&] {
        openAtTheTop = OpenTipDialogs().size();
        captionsAtTheTop = DistinctCaptions(OpenTipDialogs()).size();
        // Each request is out before the next notification: none waits to be dropped.
        EXPECT_TRUE(notifyServer.WaitForRequests(openAtTheTop));
        if (openAtTheTop < COrvantisDlg::MAX_OPEN_TIP_DIALOGS) {
            QTimer::singleShot(0, &dlg, notifyAgain);
            dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);
            return;
        }
        // Counts and closes from whichever loop runs then, so a dialog too many would
        // fail the test instead of hanging it.
        QTimer::singleShot(100, &dlg, [&] {
            openAfterTheEleventh = OpenTipDialogs().size();
            for (CTipDialog* tip : OpenTipDialogs()) {
                tip->reject();
            }
        });
        dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);
    };
    QTimer::singleShot(0, &dlg, notifyAgain);
    dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);

    EXPECT_EQ(openAtTheTop, 10u);
    EXPECT_EQ(captionsAtTheTop, 10u); // never two of one caption, which KWin would number
    EXPECT_EQ(openAfterTheEleventh, 10u);
    EXPECT_TRUE(OpenTipDialogs().empty());
    EXPECT_TRUE(notifyServer.WaitForRequests(11));
    dlg.Shutdown();
    EXPECT_EQ(notifyServer.Requests().size(), 11u);
}

} // namespace
