// SPDX-License-Identifier: MIT
#include "core/common/Globals.h"
#include "gui/common/GuiGlobals.h"
#include "gui/desktop/CFloatWnd.h"
#include "gui/desktop/SkinRegion.h"
#include "gui/support/PixelProbe.h"
#include "support/TempDir.h"

#include <QFontMetrics>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

constexpr int W = CFloatWnd::WIDTH;
constexpr int H = CFloatWnd::HEIGHT;

bool IsInk(QRgb p) {
    return IsDark(p) || IsGreenish(p) || IsReddish(p);
}

bool IsBlack(QRgb p) {
    return qGray(p) < 100;
}

// The stale grey, antialiased on a light skin: no colour, never black.
bool IsGrey(QRgb p) {
    return qGray(p) < 200 && !IsBlack(p) && std::abs(qRed(p) - qGreen(p)) < 8 &&
           std::abs(qGreen(p) - qBlue(p)) < 8;
}

// Paints the window over a plain light skin, so every mark left is text.
class FloatWndPaintTest : public ::testing::Test {
protected:
    FloatWndPaintTest() {
        g_boldFont = QFont(QStringLiteral("DejaVu Sans"));
        g_boldFont.setBold(true);
        g_boldFont.setPixelSize(12);
        m_oldSkin = CFloatWnd::s_bmpSkin;
        QImage plain(W, H, QImage::Format_RGB32);
        plain.fill(qRgb(250, 250, 250));
        CFloatWnd::s_bmpSkin = plain;
    }
    ~FloatWndPaintTest() override { CFloatWnd::s_bmpSkin = m_oldSkin; }

    QImage Paint(const QString& current, double change) {
        m_wnd.SetPrices({"", current.toStdString(), change});
        return m_wnd.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QImage m_oldSkin;
    CFloatWnd m_wnd;
};

struct PaintCase {
    const char* name;
    const char* current;
    double change;
    const char* changeText; // as it must read
    bool (*changeColour)(QRgb);
    bool stale = false; // the whole line grey
};

class FloatWndLineTest : public FloatWndPaintTest,
                         public ::testing::WithParamInterface<PaintCase> {};

TEST_P(FloatWndLineTest, DrawsPriceAndChangeAsOneCentredLine) {
    const PaintCase& c = GetParam();
    m_wnd.SetStale(c.stale);
    const QImage image = Paint(QString::fromLatin1(c.current), c.change);
    const QFontMetrics metrics(g_boldFont);
    const int widthPrice =
        metrics.horizontalAdvance(QString::fromLatin1(c.current) + QLatin1Char(' '));
    const int widthChange = metrics.horizontalAdvance(QString::fromLatin1(c.changeText));
    const int x0 = (W - widthChange - widthPrice) / 2;
    const QRect pricePart(x0, 0, widthPrice, H);
    const QRect changePart(x0 + widthPrice, 0, widthChange, H);

    const Box line = Find(image, image.rect(), IsInk);
    ASSERT_FALSE(line.Empty());
    EXPECT_GE(line.left, x0);
    EXPECT_LE(line.left, x0 + 2);
    EXPECT_LE(line.right, x0 + widthPrice + widthChange);
    EXPECT_GE(line.right, x0 + widthPrice + widthChange - 3);
    // The price is black, the change in its colour, and no other colour shows anywhere;
    // while stale, nothing is black and everything grey.
    EXPECT_TRUE(
        Find(image, pricePart, [](QRgb p) { return IsGreenish(p) || IsReddish(p); }).Empty());
    EXPECT_EQ(Find(image, image.rect(), IsBlack).Empty(), c.stale);
    const Box change = Find(image, changePart, c.changeColour);
    ASSERT_FALSE(change.Empty());
    EXPECT_LE(change.left, changePart.left() + 2);
    for (const auto other : {IsGreenish, IsReddish}) {
        if (other != c.changeColour) {
            EXPECT_TRUE(Find(image, image.rect(), other).Empty());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, FloatWndLineTest,
    ::testing::Values(
        PaintCase{"Rise", "1234.50", 3.25, "+3.25", IsGreenish},
        PaintCase{"Fall", "1234.50", -3.25, "-3.25", IsReddish},
        PaintCase{"NoChange", "1234.50", 0.0, "0.00", IsDark},
        PaintCase{"TinyFallRoundsToRedMinusZero", "1234.50", -0.001, "-0.00", IsReddish},
        PaintCase{"TinyRiseRoundsToGreenPlusZero", "1234.50", 0.004, "+0.00", IsGreenish},
        PaintCase{"PriceTextAsStored", "1,234.5", 12.0, "+12.00", IsGreenish},
        PaintCase{"StaleRiseIsAllGrey", "1234.50", 3.25, "+3.25", IsGrey, true},
        PaintCase{"StaleFallIsAllGrey", "1234.50", -3.25, "-3.25", IsGrey, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(FloatWndPaintTest, ShowsObtainingCentredInBlackUntilAPriceIsKnown) {
    const QImage image = Paint(QString(), 25.0);
    const int width = QFontMetrics(g_boldFont).horizontalAdvance(QStringLiteral("Obtaining..."));
    const Box text = Find(image, image.rect(), IsInk);
    ASSERT_FALSE(text.Empty());
    EXPECT_NEAR(text.left, (W - width) / 2, 2);
    EXPECT_NEAR(text.right, (W + width) / 2, 3);
    EXPECT_NEAR(text.top + text.bottom, H, 3); // vertically centred
    EXPECT_TRUE(
        Find(image, image.rect(), [](QRgb p) { return IsGreenish(p) || IsReddish(p); }).Empty());
}

TEST_F(FloatWndPaintTest, ALongPriceIsCutAtBothEdges) {
    const QImage image = Paint(QStringLiteral("123456789012345678901234567890.50"), 3.25);
    EXPECT_FALSE(Find(image, QRect(0, 0, 2, H), IsDark).Empty());
    EXPECT_FALSE(Find(image, QRect(W - 2, 0, 2, H), IsDark).Empty());
    // The change lies wholly beyond the right edge.
    EXPECT_TRUE(Find(image, image.rect(), IsGreenish).Empty());
}

TEST_F(FloatWndPaintTest, GreyShowsOnlyWhereTheSkinDoesNotReach) {
    CFloatWnd::s_bmpSkin = CFloatWnd::s_bmpSkin.copy(0, 0, 60, 20);
    const QImage image = Paint(QString(), 0.0);
    EXPECT_EQ(image.pixel(70, 5), CFloatWnd::BACKGROUND_COLOR);
    EXPECT_EQ(image.pixel(5, 22), CFloatWnd::BACKGROUND_COLOR);
    EXPECT_EQ(image.pixel(5, 5), qRgb(250, 250, 250));
}

struct MaskCase {
    const char* name;
    bool skinFile;
    bool allKey;
};

class FloatWndMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(FloatWndMaskTest, ShowsOnlyTheSkinAndNothingWithoutOne) {
    const QImage saved = CFloatWnd::s_bmpSkin;
    const std::string oldExeDir = g_szExeDir;
    TempDir empty;
    CFloatWnd::s_bmpSkin = QImage();
    if (!GetParam().skinFile) {
        g_szExeDir = empty.Path();
    } else if (GetParam().allKey) {
        CFloatWnd::s_bmpSkin = QImage(W, H, QImage::Format_RGB32);
        CFloatWnd::s_bmpSkin.fill(qRgb(255, 0, 255));
    }
    {
        CFloatWnd wnd;
        wnd.CreateEx(QPoint(10, 10));
        EXPECT_TRUE(wnd.isVisible());
        if (GetParam().skinFile && !GetParam().allKey) {
            EXPECT_EQ(wnd.mask(), BuildRegionFromBitmap(CFloatWnd::s_bmpSkin));
            EXPECT_FALSE(wnd.mask().contains(QPoint(0, 0)));
        } else {
            // Not empty (that would mean no mask at all), yet nothing of the window.
            EXPECT_FALSE(wnd.mask().isEmpty());
            EXPECT_FALSE(wnd.mask().intersects(wnd.rect()));
        }
    }
    g_szExeDir = oldExeDir;
    CFloatWnd::s_bmpSkin = saved;
}

INSTANTIATE_TEST_SUITE_P(Skins, FloatWndMaskTest,
                         ::testing::Values(MaskCase{"Shipped", true, false},
                                           MaskCase{"Missing", false, false},
                                           MaskCase{"AllKeyColour", true, true}),
                         [](const auto& test) { return std::string(test.param.name); });

struct PositionCase {
    const char* name;
    const char* stored;
    QList<QRect> screens; // the first is the primary one
    QPoint expected;
};

class FloatPositionTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(FloatPositionTest, KeepsAStoredPositionOnlyWhenItIsOnSomeScreen) {
    const PositionCase& c = GetParam();
    EXPECT_EQ(FloatWindowPosition(c.stored, c.screens.first(), c.screens), c.expected);
}

const QList<QRect> ONE{QRect(0, 0, 1920, 1080)};
const QList<QRect> TWO{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
const QPoint DEFAULT_POS{1760, 60};

INSTANTIATE_TEST_SUITE_P(
    Stored, FloatPositionTest,
    ::testing::Values(PositionCase{"Missing", "", ONE, DEFAULT_POS},
                      PositionCase{"Stored", "300,200", ONE, {300, 200}},
                      PositionCase{"Junk", "left,top", ONE, DEFAULT_POS},
                      PositionCase{"OneNumber", "300", ONE, DEFAULT_POS},
                      PositionCase{"Overflow", "99999999999,60", ONE, DEFAULT_POS},
                      PositionCase{"HugeButInRange", "2147483647,2147483647", ONE, DEFAULT_POS},
                      PositionCase{"MostNegative", "-2147483648,-2147483648", ONE, DEFAULT_POS},
                      PositionCase{"PartlyOffTheRight", "1900,60", ONE, {1900, 60}},
                      PositionCase{"OnePixelOnScreen", "-111,1079", ONE, {-111, 1079}},
                      PositionCase{"JustOffTheRight", "1920,60", ONE, DEFAULT_POS},
                      PositionCase{"JustAboveTheTop", "100,-25", ONE, DEFAULT_POS},
                      PositionCase{"OnTheSecondScreen", "2500,300", TWO, {2500, 300}},
                      PositionCase{"SecondScreenUnplugged", "2500,300", ONE, DEFAULT_POS},
                      PositionCase{"BelowTheShorterScreen", "2500,1050", TWO, DEFAULT_POS},
                      PositionCase{"PrimaryRightOfAnother",
                                   "",
                                   {QRect(1920, 0, 1280, 1024), QRect(0, 0, 1920, 1080)},
                                   {3040, 60}}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
