// SPDX-License-Identifier: MIT
#include "gui/app/COrvantisDlg.h"
#include "support/IniFixture.h"

#include <QApplication>
#include <QLabel>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// Relative luminance plus 0.05, so that two of them divide into a contrast ratio.
double Luminance(QRgb p) {
    double sum = 0;
    for (const auto& [value, weight] :
         {std::pair{qRed(p), 0.2126}, {qGreen(p), 0.7152}, {qBlue(p), 0.0722}}) {
        const double s = value / 255.0;
        sum += weight * (s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4));
    }
    return sum + 0.05;
}

TEST(DarkTheme, LabelsOnTheMainWindowsFixedBackgroundStayReadable) {
    const IniFixture ini;
    const QPalette saved = QApplication::palette();
    QPalette dark(QColor(53, 53, 53));
    dark.setColor(QPalette::WindowText, QColor(238, 238, 236));
    QApplication::setPalette(dark);
    COrvantisDlg window;
    const QImage image = window.grab().toImage();
    const double background = Luminance(image.pixel(1, image.height() - 2));
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    ASSERT_GE(labels.size(), 3);
    for (const QLabel* label : labels) {
        double best = 1;
        const QRect text = label->geometry();
        for (int y = text.top(); y <= text.bottom(); ++y) {
            for (int x = text.left(); x <= text.right(); ++x) {
                const double ink = Luminance(image.pixel(x, y));
                best = std::max(best, std::max(ink, background) / std::min(ink, background));
            }
        }
        EXPECT_GE(best, 4.5) << label->objectName().toStdString();
    }
    QApplication::setPalette(saved);
}

} // namespace
