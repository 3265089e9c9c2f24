// SPDX-License-Identifier: MIT
#include "gui/dialogs/CAboutDlg.h"

#include "gui/desktop/CHyperLink.h"
#include "gui/support/Controls.h"
#include "gui/support/UrlRecorder.h"

#include <QLabel>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

TEST(AboutDlgTest, ShowsTheBuildsVersionAndOpensTheMakersSite) {
    CUrlRecorder recorder;
    CAboutDlg dlg;
    dlg.show();
    // The four numbers of the project's version in CMake.
    EXPECT_EQ(Control<QLabel>(dlg, "IDC_VERSION").text(),
              QStringLiteral("Orvantis, Version " ORVANTIS_PROJECT_VERSION));
    EXPECT_EQ(QString::fromLatin1(ORVANTIS_PROJECT_VERSION).count(QLatin1Char('.')), 3);
    const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->pixmap().size() == QSize(64, 48);
    }));

    QTest::mouseClick(&Control<CHyperLink>(dlg, "IDC_SITE"), Qt::LeftButton);
    EXPECT_EQ(recorder.m_opened, QStringList{QStringLiteral("http://www.tamberlo.com")});
}

} // namespace
