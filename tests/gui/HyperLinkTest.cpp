// SPDX-License-Identifier: MIT
#include "gui/desktop/CHyperLink.h"
#include "gui/support/UrlRecorder.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QColor LINK(0, 0, 238);
const QColor VISITED(85, 26, 139);

// A window that handles the clicks on its link 1005 and declines the others.
class HandlingParent final : public QWidget, public CHyperLink::CallBack {
public:
    bool OnHyperLinkClicked(int controlId) override {
        m_asked << controlId;
        return controlId == 1005;
    }
    QList<int> m_asked;
};

QColor TextColor(const CHyperLink& link) {
    return link.palette().color(QPalette::WindowText);
}

void Hover(CHyperLink& link, bool over) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, over ? static_cast<QEvent*>(&enter) : &leave);
}

TEST(HyperLinkTest, ShowsItsTargetHoversOpensAndStaysVisited) {
    CUrlRecorder recorder;
    QWidget parent;
    auto* link = new CHyperLink(1018, QString(), &parent);
    link->setGeometry(20, 30, 300, 40);
    link->SetLinkUrl(QStringLiteral("http://127.0.0.1/"));
    link->PreSubclassWindow();
    // Left-aligned: it keeps its corner and takes exactly its text's size.
    const QFontMetrics metrics(link->font());
    EXPECT_EQ(link->geometry(),
              QRect(20, 30, metrics.horizontalAdvance(link->text()), metrics.height()));
    parent.show();
    // An empty text shows the target; the tooltip names it.
    EXPECT_EQ(link->text(), QStringLiteral("http://127.0.0.1/"));
    EXPECT_EQ(link->toolTip(), QStringLiteral("http://127.0.0.1/"));
    const QColor hover = QGuiApplication::palette().color(QPalette::Highlight);

    for (const QColor& rest : {LINK, VISITED}) {
        EXPECT_EQ(TextColor(*link), rest);
        Hover(*link, true);
        EXPECT_EQ(TextColor(*link), hover);
        Hover(*link, false);
        EXPECT_EQ(TextColor(*link), rest);
        QTest::mouseClick(link, Qt::LeftButton);
    }
    EXPECT_EQ(recorder.m_opened.size(), 2);
    EXPECT_EQ(recorder.m_opened.value(0), QStringLiteral("http://127.0.0.1/"));
}

TEST(HyperLinkTest, AClickTheParentHandlesOpensNothingAndStaysUnvisited) {
    CUrlRecorder recorder;
    HandlingParent parent;
    auto* handled = new CHyperLink(1005, QStringLiteral("About"), &parent);
    auto* declined = new CHyperLink(1006, QStringLiteral("http://127.0.0.1:9/"), &parent);
    handled->PreSubclassWindow();
    declined->PreSubclassWindow();
    parent.show();
    EXPECT_EQ(handled->toolTip(), QStringLiteral("About")); // no target: its own text

    QTest::mouseClick(handled, Qt::LeftButton);
    QTest::mouseClick(declined, Qt::LeftButton);
    EXPECT_EQ(parent.m_asked, (QList<int>{1005, 1006}));
    EXPECT_EQ(TextColor(*handled), LINK);
    EXPECT_EQ(TextColor(*declined), VISITED);
    EXPECT_EQ(recorder.m_opened, QStringList{QStringLiteral("http://127.0.0.1:9/")});
}

TEST(HyperLinkTest, OpensWhenTheLeftButtonGoesDownAndOnceForADoubleClick) {
    CUrlRecorder recorder;
    QWidget parent;
    auto* link = new CHyperLink(1006, QStringLiteral("http://127.0.0.1/"), &parent);
    link->PreSubclassWindow();
    parent.show();
    QTest::mousePress(link, Qt::LeftButton);
    EXPECT_EQ(recorder.m_opened.size(), 1); // before the button comes up
    QTest::mouseRelease(link, Qt::LeftButton);
    QTest::mouseClick(link, Qt::RightButton);
    EXPECT_EQ(recorder.m_opened.size(), 1);
    // A double click: a click, then a second press that Qt reports as a double click.
    QTest::mouseClick(link, Qt::LeftButton);
    QTest::mouseDClick(link, Qt::LeftButton);
    EXPECT_EQ(recorder.m_opened.size(), 2);
}

} // namespace
