// SPDX-License-Identifier: MIT
#include "gui/common/DialogTemplate.h"
#include "gui/notify/CInfWnd.h"
#include "gui/support/PixelProbe.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

namespace {

constexpr QRgb UP_ARROW = qRgb(0, 160, 0);   // the colour of images/up.bmp
constexpr QRgb DOWN_ARROW = qRgb(224, 0, 0); // the colour of images/down.bmp
constexpr QRgb BACKGROUND = qRgb(246, 246, 246);

class InfWndTest : public ::testing::Test {
protected:
    InfWndTest() {
        m_panel.setFont(DialogFont());
        m_panel.resize(220, 70);
        const QFontMetrics metrics(m_panel.font());
        m_cx = metrics.horizontalAdvance(QStringLiteral("Last Notify Price: "));
        m_cy = metrics.height();
    }

    QImage Render(const QString& last, const QString& current, double change) {
        m_panel.SetPrices({last.toStdString(), current.toStdString(), change});
        return m_panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QRect Line(int n) const { return {0, n * m_cy, m_panel.width(), m_cy}; }
    QRect Values(int n) const { return {m_cx, n * m_cy, m_panel.width() - m_cx, m_cy}; }

    CInfWnd m_panel;
    int m_cx = 0;
    int m_cy = 0;
};

TEST_F(InfWndTest, TheArrowBitmapsShipBesideTheProgram) {
    ASSERT_FALSE(CInfWnd::s_bmpUp.isNull());
    ASSERT_FALSE(CInfWnd::s_bmpDown.isNull());
    // Pure white is transparent, the arrow itself is not.
    EXPECT_EQ(qAlpha(CInfWnd::s_bmpUp.pixel(0, 0)), 0);
    EXPECT_EQ(CInfWnd::s_bmpUp.pixel(4, 0), UP_ARROW | 0xFF000000u);
}

struct ChangeCase {
    double change;
    QRgb arrow; // 0: none
    bool (*textColour)(QRgb);
};

class ChangeLineTest : public InfWndTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ChangeLineTest, ColoursTheChangeAndPlacesTheArrowOnePixelAboveTheLineBottom) {
    const ChangeCase& c = GetParam();
    const QImage image = Render(QStringLiteral("1650.00"), QStringLiteral("1662.50"), c.change);
    const Box arrow =
        Find(image, image.rect(), [&](QRgb p) { return (p & 0xFFFFFF) == (c.arrow & 0xFFFFFF); });
    const QImage* bitmap = c.change > 0 ? &CInfWnd::s_bmpUp : &CInfWnd::s_bmpDown;
    int textStart = m_cx;
    if (c.arrow != 0) {
        ASSERT_FALSE(arrow.Empty());
        EXPECT_EQ(arrow.left, m_cx);
        EXPECT_EQ(arrow.bottom, 3 * m_cy - 2);
        textStart = m_cx + bitmap->width() + 5;
    }
    const Box text = Find(image, Values(2), [&](QRgb p) {
        return c.textColour(p) && (p & 0xFFFFFF) != (c.arrow & 0xFFFFFF);
    });
    ASSERT_FALSE(text.Empty());
    EXPECT_GE(text.left, textStart);
    EXPECT_LE(text.left, textStart + 3);
    // Only the change is coloured: the labels and the other values stay black.
    EXPECT_TRUE(Find(image, QRect(0, 0, m_panel.width(), 2 * m_cy), IsGreenish).Empty());
    EXPECT_TRUE(Find(image, QRect(0, 0, m_panel.width(), 2 * m_cy), IsReddish).Empty());
}

INSTANTIATE_TEST_SUITE_P(Signs, ChangeLineTest,
                         ::testing::Values(ChangeCase{12.5, UP_ARROW, IsGreenish},
                                           ChangeCase{-12.5, DOWN_ARROW, IsReddish},
                                           ChangeCase{0.004, UP_ARROW, IsGreenish},
                                           ChangeCase{0.0, 0, IsDark}));

TEST_F(InfWndTest, AZeroChangeIsBlackWithoutAnyColour) {
    const QImage image = Render(QStringLiteral("1650.00"), QStringLiteral("1650.00"), 0.0);
    EXPECT_TRUE(Find(image, image.rect(), IsGreenish).Empty());
    EXPECT_TRUE(Find(image, image.rect(), IsReddish).Empty());
}

TEST_F(InfWndTest, WithoutACurrentPriceShowsObtainingAndOnlyTheChangeLabel) {
    const QImage expected = Render(QStringLiteral("1650.00"), QStringLiteral("Obtaining..."), 0.0);
    const QImage image = Render(QStringLiteral("1650.00"), QString(), 25.0);
    EXPECT_EQ(image.copy(Line(1)), expected.copy(Line(1)));
    EXPECT_TRUE(Find(image, Values(2), [](QRgb p) { return p != BACKGROUND; }).Empty());
    EXPECT_FALSE(Find(image, QRect(0, 2 * m_cy, m_cx, m_cy), IsDark).Empty());
}

TEST_F(InfWndTest, AnEmptyLastPriceLeavesItsValueBlank) {
    const QImage image = Render(QString(), QStringLiteral("1650.00"), 0.0);
    EXPECT_TRUE(Find(image, Values(0), [](QRgb p) { return p != BACKGROUND; }).Empty());
}

TEST_F(InfWndTest, AMissingUpArrowDrawsTheGreenChangeAtTheValueColumn) {
    const QImage saved = CInfWnd::s_bmpUp;
    CInfWnd::s_bmpUp = QImage();
    const QImage image = Render(QStringLiteral("1650.00"), QStringLiteral("1662.50"), 12.5);
    CInfWnd::s_bmpUp = saved;
    const Box text = Find(image, Values(2), IsGreenish);
    ASSERT_FALSE(text.Empty());
    EXPECT_LE(text.left, m_cx + 3);
    EXPECT_TRUE(Find(image, image.rect(), [](QRgb p) {
                    return (p & 0xFFFFFF) == (UP_ARROW & 0xFFFFFF);
                }).Empty());
}

} // namespace
