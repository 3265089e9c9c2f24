// SPDX-License-Identifier: MIT
#include "gui/history/CHistoryWnd.h"

#include "support/SimulatedHistory.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>

namespace {

constexpr std::int64_t NOW = 1796000000; // 2026-11-30T00:53:20Z

double Luminance(QRgb pixel) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pixel)) + 0.7152 * channel(qGreen(pixel)) +
           0.0722 * channel(qBlue(pixel)) + 0.05;
}

struct Ink {
    int columnsWithLine = 0;
    int longestGap = 0; // columns in a row without the line
    int markPixels = 0; // of the notified points
};

// What the plot area of the picture holds: the line is drawn in the text colour, the
// notified points in the highlight colour.
Ink InkOf(const QImage& image, const QRect& plot, QColor mark) {
    const double background = Luminance(image.pixel(plot.left() + 1, plot.top() + 1));
    Ink ink;
    int gap = 0;
    for (int x = plot.left() + 4; x < plot.right() - 4; ++x) {
        bool line = false;
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            const QRgb pixel = image.pixel(x, y);
            const double l = Luminance(pixel);
            line = line || std::max(l, background) / std::min(l, background) >= 4.5;
            const QColor c(pixel);
            ink.markPixels += std::abs(c.red() - mark.red()) + std::abs(c.green() - mark.green()) +
                                          std::abs(c.blue() - mark.blue()) <
                                      30
                                  ? 1
                                  : 0;
        }
        ink.columnsWithLine += line ? 1 : 0;
        gap = line ? 0 : gap + 1;
        ink.longestGap = std::max(ink.longestGap, gap);
    }
    return ink;
}

void ClickButton(const QWidget& window, const char* text) {
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
        if (button->text() == QLatin1String(text)) {
            button->click();
            return;
        }
    }
    ADD_FAILURE() << "no button " << text;
}

TEST(HistoryWnd, AYearInADarkThemeShowsTheLineItsGapsAndTheNotifiedPoints) {
    const TempDir dir;
    ASSERT_GT(WriteSimulatedYear(dir.File("history.sqlite3"), NOW), 70000U);
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(53, 53, 53));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(238, 238, 236));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    QApplication::setPalette(dark);
    {
        CHistoryWnd window(dir.File("history.sqlite3"), NOW);
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy loaded(&window, &CHistoryWnd::Loaded);
        window.resize(960, 520);
        window.show();
        ASSERT_TRUE(loaded.wait(20000));
        auto* chart = window.findChild<CHistoryChart*>();
        ASSERT_NE(chart, nullptr);
        const QRect plot = chart->PlotArea().toRect().translated(chart->pos());

        // A week holds a weekend: the closed market is a gap of two days, not a line.
        ClickButton(window, "&Week");
        const Ink week = InkOf(window.grab().toImage(), plot, dark.color(QPalette::Highlight));
        EXPECT_GT(week.longestGap, plot.width() / 5);
        EXPECT_GT(week.columnsWithLine, plot.width() / 2);

        ClickButton(window, "&Year");
        const QImage year = window.grab().toImage();
        year.save(QStringLiteral(ORVANTIS_BIN_DIR "/../history-window-dark.png"));
        const Ink ink = InkOf(year, plot, dark.color(QPalette::Highlight));
        EXPECT_GT(ink.columnsWithLine, plot.width() / 2);
        EXPECT_GT(ink.markPixels, 20);
        EXPECT_LT(Luminance(year.pixel(plot.left() + 1, plot.top() + 1)), 0.1);

        // The pointer shows a reading.
        QTest::mouseMove(chart, QPoint(chart->width() / 2, chart->height() / 2));
        EXPECT_GE(chart->Picked(), 0);
    }
    QApplication::setPalette(saved);
}

} // namespace
