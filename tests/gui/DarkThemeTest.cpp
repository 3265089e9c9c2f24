// SPDX-License-Identifier: MIT
// Windows with a fixed light background stay readable under a dark theme: every label and
// check box draws its text in a colour that stands out from that background.
#include "gui/app/COrvantisDlg.h"
#include "gui/dialogs/CSettingDlg.h"
#include "support/IniFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

double Luminance(QRgb p) {
    const auto channel = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(p)) + 0.7152 * channel(qGreen(p)) + 0.0722 * channel(qBlue(p));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Where a control draws its text, in the window's coordinates.
QRect TextArea(QWidget* control) {
    QRect area = control->rect();
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        area = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
    }
    return area.translated(control->mapTo(control->window(), QPoint(0, 0)));
}

struct ThemeCase {
    const char* name;
    std::function<std::unique_ptr<QWidget>()> make;
};

class DarkThemeTest : public ::testing::TestWithParam<ThemeCase> {
protected:
    DarkThemeTest() : m_saved(QApplication::palette()) {
        QPalette dark(QColor(53, 53, 53));
        dark.setColor(QPalette::WindowText, QColor(238, 238, 236));
        dark.setColor(QPalette::Text, QColor(238, 238, 236));
        dark.setColor(QPalette::Base, QColor(45, 45, 45));
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(145, 145, 145));
        QApplication::setPalette(dark);
    }
    ~DarkThemeTest() override { QApplication::setPalette(m_saved); }

    IniFixture m_ini;
    QPalette m_saved;
};

TEST_P(DarkThemeTest, TextOnTheFixedBackgroundIsReadable) {
    const std::unique_ptr<QWidget> window = GetParam().make();
    const QImage image = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = image.pixel(1, image.height() - 2);
    int controls = 0;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window.get()) || (qobject_cast<QLabel*>(control) == nullptr &&
                                                    qobject_cast<QCheckBox*>(control) == nullptr)) {
            continue;
        }
        const QRect area = TextArea(control).intersected(image.rect());
        double best = 1;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                best = std::max(best, Contrast(image.pixel(x, y), background));
            }
        }
        EXPECT_GE(best, 4.5) << control->metaObject()->className() << " "
                             << control->objectName().toStdString();
        ++controls;
    }
    EXPECT_GE(controls, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, DarkThemeTest,
    ::testing::Values(ThemeCase{"MainWindow", [] { return std::make_unique<COrvantisDlg>(); }},
                      // With e-mail off, the address label and the popup box are disabled.
                      ThemeCase{"Settings", [] { return std::make_unique<CSettingDlg>(); }}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
