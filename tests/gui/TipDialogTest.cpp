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

#include <algorithm>
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

// The open notification dialogs of the main window, the oldest first.
std::vector<CTipDialog*> TipDialogsOf(const COrvantisDlg& dlg) {
    std::vector<CTipDialog*> dialogs;
    for (CTipDialog* tip : dlg.findChildren<CTipDialog*>(Qt::FindDirectChildrenOnly)) {
        if (tip->isVisible()) {
            dialogs.push_back(tip);
        }
    }
    return dialogs;
}

struct AnswerCase {
    const char* name;
    std::function<void(CTipDialog&)> answer;
};

const AnswerCase ANSWERS[] = {
    {"OK", [](CTipDialog& tip) { tip.findChild<QPushButton*>(QStringLiteral("IDOK"))->click(); }},
    {"Enter", [](CTipDialog& tip) { QTest::keyClick(tip.focusWidget(), Qt::Key_Return); }},
    {"Esc", [](CTipDialog& tip) { QTest::keyClick(&tip, Qt::Key_Escape); }},
};

// A notification at every poll (a threshold of 0) must not stack dialogs without end: the
// eleventh opens none, while its e-mail request still goes out. A newer dialog opens over
// the older ones but holds none of them: each answers its own OK, Enter and Esc, whichever
// is answered first, and an answered dialog makes room again.
TEST_F(TipDialogTest, AtMostTenDialogsOpenEachAnsweringItsOwnKeysInAnyOrder) {
    m_ini.WriteIni("[Option]\nSendEmail=1\nEmail=user@example.com\nTipLastPrice=1650.00\n"
                   "LastPrice=1662.50\nCurrentPrice=1662.50\n");
    LoopbackServer notifyServer(LoopbackServer::Reply(200, "OK"));
    const ScopedEnv useIt("ORVANTIS_NOTIFY_SERVER", notifyServer.Url());
    COrvantisDlg dlg;
    dlg.show();
    for (int i = 1; i <= 11; ++i) {
        dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0); // returns with the dialog open
        // Each request is out before the next notification: none waits to be dropped.
        EXPECT_TRUE(notifyServer.WaitForRequests(static_cast<std::size_t>(i)));
    }
    const std::vector<CTipDialog*> open = TipDialogsOf(dlg);
    ASSERT_EQ(open.size(), 10u);
    // The first keeps the plain caption; the others are told apart by their time, so that
    // no window manager numbers them.
    EXPECT_EQ(open.front()->windowTitle(), QStringLiteral("Gold Price Changed"));
    EXPECT_EQ(DistinctCaptions(open).size(), 10u);
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);

    // A middle one first, then the newest, then the oldest.
    CTipDialog* const answered[] = {open[5], open.back(), open.front()};
    for (std::size_t i = 0; i < std::size(answered); ++i) {
        SCOPED_TRACE(ANSWERS[i].name);
        ANSWERS[i].answer(*answered[i]);
        QApplication::processEvents();
        const std::vector<CTipDialog*> left = TipDialogsOf(dlg);
        EXPECT_EQ(std::count(left.begin(), left.end(), answered[i]), 0);
        EXPECT_EQ(left.size(), open.size() - i - 1);
    }
    dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);
    EXPECT_EQ(TipDialogsOf(dlg).size(), 8u);
    for (CTipDialog* tip : TipDialogsOf(dlg)) {
        tip->reject();
    }
    EXPECT_TRUE(OpenTipDialogs().empty());
    EXPECT_TRUE(notifyServer.WaitForRequests(12));
    dlg.Shutdown();
    EXPECT_EQ(notifyServer.Requests().size(), 12u);
}

} // namespace
