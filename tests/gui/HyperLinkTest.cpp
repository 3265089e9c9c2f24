// SPDX-License-Identifier: MIT
#include "gui/desktop/CHyperLink.h"
#include "gui/support/UrlRecorder.h"

#include <QApplication>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A window that handles the clicks on the links whose id it was given.
class HandlingParent final : public QWidget, public CHyperLink::CallBack {
public:
    explicit HandlingParent(int handledId) : m_handledId(handledId) {}
    bool OnHyperLinkClicked(int controlId) override {
        m_asked << controlId;
        return controlId == m_handledId;
    }
    QList<int> m_asked;

private:
    int m_handledId;
};

QColor TextColor(const CHyperLink& link) {
    return link.palette().color(QPalette::WindowText);
}

void Hover(CHyperLink& link, bool over) {
    if (over) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(&link, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&link, &leave);
    }
}

TEST(HyperLinkTest, ALinkWithoutTargetTakesItsTextAsTargetAndTooltip) {
    QWidget parent;
    auto* link = new CHyperLink(1005, QStringLiteral("About"), &parent);
    link->PreSubclassWindow();
    EXPECT_EQ(link->LinkUrl(), QStringLiteral("About"));
    EXPECT_EQ(link->toolTip(), QStringLiteral("About"));
    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(TextColor(*link), QColor(0, 0, 238));

    // A target set later shows in the tooltip; an empty text shows the target.
    link->SetLinkUrl(QStringLiteral("http://127.0.0.1/"));
    EXPECT_EQ(link->toolTip(), QStringLiteral("http://127.0.0.1/"));
    auto* empty = new CHyperLink(1006, QString(), &parent);
    empty->SetLinkUrl(QStringLiteral("http://127.0.0.1/"));
    empty->PreSubclassWindow();
    EXPECT_EQ(empty->text(), QStringLiteral("http://127.0.0.1/"));
}

TEST(HyperLinkTest, HoversOpensAndStaysVisited) {
    CUrlRecorder recorder;
    QWidget parent;
    auto* link = new CHyperLink(1018, QStringLiteral("http://127.0.0.1/"), &parent);
    link->PreSubclassWindow();
    parent.show();
    const QColor hover = QGuiApplication::palette().color(QPalette::Highlight);

    Hover(*link, true);
    EXPECT_EQ(TextColor(*link), hover);
    Hover(*link, false);
    EXPECT_EQ(TextColor(*link), QColor(0, 0, 238));

    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(recorder.m_opened, QStringList{QStringLiteral("http://127.0.0.1/")});
    EXPECT_TRUE(link->IsVisited());
    EXPECT_EQ(TextColor(*link), QColor(85, 26, 139));
    Hover(*link, true);
    EXPECT_EQ(TextColor(*link), hover);
    Hover(*link, false);
    EXPECT_EQ(TextColor(*link), QColor(85, 26, 139));
}

TEST(HyperLinkTest, AClickTheParentHandlesOpensNothingAndStaysUnvisited) {
    CUrlRecorder recorder;
    HandlingParent parent(1005);
    auto* handled = new CHyperLink(1005, QStringLiteral("About"), &parent);
    auto* declined = new CHyperLink(1006, QStringLiteral("Live"), &parent);
    handled->PreSubclassWindow();
    declined->SetLinkUrl(QStringLiteral("http://127.0.0.1:9/"));
    declined->PreSubclassWindow();
    parent.show();

    QTest::mouseClick(handled, Qt::LeftButton);
    EXPECT_TRUE(recorder.m_opened.isEmpty());
    EXPECT_FALSE(handled->IsVisited());
    EXPECT_EQ(TextColor(*handled), QColor(0, 0, 238));

    QTest::mouseClick(declined, Qt::LeftButton);
    EXPECT_EQ(parent.m_asked, (QList<int>{1005, 1006}));
    EXPECT_EQ(recorder.m_opened, QStringList{QStringLiteral("http://127.0.0.1:9/")});
    EXPECT_TRUE(declined->IsVisited());
}

struct FitCase {
    Qt::Alignment alignment;
    // Which of the template rectangle's edges the fitted control keeps.
    bool keepsLeft;
    bool keepsRight;
    bool keepsTop;
};

class HyperLinkFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(HyperLinkFitTest, FitsTheControlToItsTextByItsAlignment) {
    QWidget parent;
    auto* link = new CHyperLink(1, QStringLiteral("Live Gold Prices"), &parent);
    link->setAlignment(GetParam().alignment);
    const QRect placed(20, 30, 301, 41);
    link->setGeometry(placed);
    link->PreSubclassWindow();
    const QFontMetrics metrics(link->font());
    const QRect fitted = link->geometry();
    // Centring halves the difference, truncated, so an odd one leaves a pixel over.
    EXPECT_NEAR(fitted.height(), metrics.height(), 1);
    EXPECT_NEAR(fitted.width(), metrics.horizontalAdvance(link->text()), 1);
    EXPECT_EQ(fitted.left() == placed.left(), GetParam().keepsLeft);
    EXPECT_EQ(fitted.right() == placed.right(), GetParam().keepsRight);
    EXPECT_EQ(fitted.top() == placed.top(), GetParam().keepsTop);
    if (!GetParam().keepsLeft && !GetParam().keepsRight) {
        EXPECT_NEAR(fitted.center().x(), placed.center().x(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Alignments, HyperLinkFitTest,
    ::testing::Values(FitCase{Qt::AlignLeft | Qt::AlignTop, true, false, true},
                      FitCase{Qt::AlignRight | Qt::AlignTop, false, true, true},
                      FitCase{Qt::AlignHCenter | Qt::AlignTop, false, false, true},
                      FitCase{Qt::AlignLeft | Qt::AlignVCenter, true, false, false}));

} // namespace
