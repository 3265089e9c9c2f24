// SPDX-License-Identifier: MIT
#include "gui/dialogs/CAboutDlg.h"

#include "gui/desktop/CHyperLink.h"
#include "gui/support/UrlRecorder.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(AboutDlgTest, ShowsTheVersionTheBuildWasMadeWith) {
    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("About Orvantis"));
    EXPECT_EQ(dlg.m_staticVersion->text(),
              QStringLiteral("Orvantis, Version " ORVANTIS_PROJECT_VERSION));
    const QRegularExpression fourNumbers(QStringLiteral("^\\d+\\.\\d+\\.\\d+\\.\\d+$"));
    EXPECT_TRUE(fourNumbers.match(CAboutDlg::GetProductVersionText()).hasMatch());
    EXPECT_EQ(dlg.font().pointSize(), 8);
    EXPECT_EQ(dlg.palette().color(QPalette::Window), QColor(Qt::white));

    bool logoFound = false;
    for (const QLabel* label : dlg.findChildren<QLabel*>()) {
        logoFound = logoFound || label->pixmap().size() == QSize(64, 48);
    }
    EXPECT_TRUE(logoFound);
}

TEST(AboutDlgTest, TheSiteLinkOpensTheMakersSiteAndTurnsVisited) {
    CUrlRecorder recorder;
    CAboutDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.m_linkSite->ControlId(), CAboutDlg::IDC_SITE);
    EXPECT_EQ(dlg.m_linkSite->toolTip(), QStringLiteral("http://www.tamberlo.com"));
    QTest::mouseClick(dlg.m_linkSite, Qt::LeftButton);
    EXPECT_EQ(recorder.m_opened, QStringList{QStringLiteral("http://www.tamberlo.com")});
    EXPECT_TRUE(dlg.m_linkSite->IsVisited());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
}

} // namespace
