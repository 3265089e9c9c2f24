// SPDX-License-Identifier: MIT
#include "gui/common/DialogTemplate.h"

#include "gui/common/GuiGlobals.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QWidget>
#include <algorithm>

namespace {
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    // Rounds half away from zero, as the dialog manager does.
    const long long rounded = product >= 0 ? product + c / 2 : product - c / 2;
    return static_cast<int>(rounded / c);
}
} // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (alphabet / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

QRect CDialogUnits::ToPixels(const DlgItem& item) const {
    return {MulDiv(item.x, m_baseX, 4), MulDiv(item.y, m_baseY, 8), MulDiv(item.cx, m_baseX, 4),
            MulDiv(item.cy, m_baseY, 8)};
}

QSize CDialogUnits::ToPixels(int cx, int cy) const {
    return {MulDiv(cx, m_baseX, 4), MulDiv(cy, m_baseY, 8)};
}

QFont DialogFont(int pointSize) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

CDialogUnits ApplyDialogTemplate(QWidget* dialog, const DlgItem& dialogItem, int pointSize,
                                 const QBrush& background) {
    dialog->setFont(DialogFont(pointSize));
    // The background is fixed, so the text on it is too: black, and grey when disabled, as
    // on the light desktops the layout comes from. A dark theme's light text would vanish
    // on it. Edits and buttons draw their own backgrounds and keep the theme's colours.
    QPalette pal = dialog->palette();
    pal.setBrush(QPalette::Window, background);
    pal.setColor(QPalette::Active, QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, DISABLED_TEXT_COLOR);
    dialog->setPalette(pal);
    dialog->setAutoFillBackground(true);
    const CDialogUnits units(dialog->font());
    dialog->setFixedSize(units.ToPixels(dialogItem.cx, dialogItem.cy));
    return units;
}

QLabel* StaticText(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void PlaceItem(QWidget* widget, const CDialogUnits& units, const DlgItem& item) {
    widget->setGeometry(units.ToPixels(item));
}

void PlaceTextItem(QWidget* widget, const CDialogUnits& units, const DlgItem& item,
                   int limitRightDu) {
    QRect rect = units.ToPixels(item);
    const int limit = units.ToPixels(limitRightDu, 0).width();
    const int wanted = std::min(widget->sizeHint().width(), limit - rect.x());
    if (wanted > rect.width()) {
        rect.setWidth(wanted);
    }
    widget->setGeometry(rect);
}

int MakeRoomForText(QWidget* label, const CDialogUnits& units,
                    std::initializer_list<QWidget*> itemsToTheRight, int gapDu) {
    const int gap = units.ToPixels(gapDu, 0).width();
    const int textRight = label->x() + label->sizeHint().width();
    int shift = 0;
    for (const QWidget* item : itemsToTheRight) {
        if (item->x() - gap < textRight) {
            shift = textRight + gap - item->x();
            break;
        }
    }
    if (shift > 0) {
        for (QWidget* item : itemsToTheRight) {
            item->move(item->x() + shift, item->y());
        }
        label->resize(label->sizeHint().width(), label->height());
    }
    return shift;
}

void WidenToFitItems(QWidget* dialog, const CDialogUnits& units, int marginDu) {
    int right = 0;
    for (const QWidget* item : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        right = std::max(right, item->geometry().right() + 1);
    }
    const int wanted = right + units.ToPixels(marginDu, 0).width();
    if (wanted > dialog->width()) {
        dialog->setFixedWidth(wanted);
    }
}
