// SPDX-License-Identifier: MIT
#include "gui/notify/CInfWnd.h"

#include "core/settings/Settings.h"
#include "gui/common/GuiGlobals.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

QImage CInfWnd::s_bmpUp;
QImage CInfWnd::s_bmpDown;
QImage CInfWnd::s_bmpUp2x;
QImage CInfWnd::s_bmpDown2x;

namespace {
const QString LABEL_LAST = QStringLiteral("Last Notify Price: ");
const QString LABEL_CURRENT = QStringLiteral("Current Price: ");
const QString LABEL_CHANGE = QStringLiteral("Change: ");
const QString TEXT_OBTAINING = QStringLiteral("Obtaining...");

void LoadArrow(QImage& arrow, QImage& arrow2x, const char* fileName) {
    if (arrow.isNull()) {
        const QString name = QString::fromLatin1(fileName);
        const QImage normal = LoadSkinBitmap(name);
        arrow = ColourToTransparent(normal, qRgb(255, 255, 255));
        arrow2x = ColourToTransparent(LoadSkinBitmap2x(name, normal), qRgb(255, 255, 255));
    }
}

// Left- and top-aligned text clipped to its rectangle, line breaks honoured.
void DrawText(QPainter& painter, const QRect& rect, const QString& text) {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop, text);
    painter.restore();
}
} // namespace

CInfWnd::CInfWnd(QWidget* parent) : QWidget(parent) {
    LoadArrow(s_bmpUp, s_bmpUp2x, "up.bmp");
    LoadArrow(s_bmpDown, s_bmpDown2x, "down.bmp");
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize CInfWnd::sizeHint() const {
    const QFontMetrics metrics(font());
    const int arrow = std::max(s_bmpUp.width(), s_bmpDown.width());
    const int values = std::max(metrics.horizontalAdvance(TEXT_OBTAINING),
                                arrow + 5 + metrics.horizontalAdvance(QStringLiteral("+0000.00")));
    return {metrics.horizontalAdvance(LABEL_LAST) + values, 3 * metrics.height()};
}

void CInfWnd::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int w = width();
    painter.fillRect(rect(), BACKGROUND_COLOR);
    painter.setFont(font());

    const QFontMetrics metrics(font());
    const int cx = metrics.horizontalAdvance(LABEL_LAST);
    const int cy = metrics.height();
    painter.setPen(Qt::black);

    DrawText(painter, QRect(0, 0, w, cy), LABEL_LAST);
    DrawText(painter, QRect(cx, 0, w - cx, cy), m_strLastNotify);

    DrawText(painter, QRect(0, cy, w, cy), LABEL_CURRENT);
    DrawText(painter, QRect(cx, cy, w - cx, cy),
             m_strCurrent.isEmpty() ? TEXT_OBTAINING : m_strCurrent);

    DrawText(painter, QRect(0, 2 * cy, w, cy), LABEL_CHANGE);
    if (m_strCurrent.isEmpty()) {
        return;
    }

    // The sign test uses the number, not the rounded text: +0.004 is a green "+0.00".
    QString text = QString::fromStdString(FormatPrice(m_dChange));
    const QImage* arrow = nullptr;
    const QImage* arrow2x = nullptr;
    if (m_dChange > 0) {
        text.prepend(QLatin1Char('+'));
        painter.setPen(QColor::fromRgb(CHANGE_UP_COLOR));
        arrow = &s_bmpUp;
        arrow2x = &s_bmpUp2x;
    } else if (m_dChange < 0) {
        painter.setPen(QColor::fromRgb(CHANGE_DOWN_COLOR));
        arrow = &s_bmpDown;
        arrow2x = &s_bmpDown2x;
    }

    int textX = cx;
    if (arrow != nullptr && !arrow->isNull()) {
        // The arrow's bottom row lies one pixel above the bottom of the third line; at a
        // higher pixel density the picture drawn for it, or a smooth scaling.
        const QRect place(QPoint(cx, 3 * cy - arrow->height() - 1), arrow->size());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(place, SkinForRatio(*arrow, *arrow2x, devicePixelRatioF()));
        textX = cx + arrow->width() + 5;
    }
    DrawText(painter, QRect(textX, 2 * cy, w - textX, cy), text);
}

void FillPricePanel(CInfWnd& panel, const std::string& lastText, const std::string& currentText) {
    double change = 0.0;
    if (!lastText.empty() && !currentText.empty()) {
        change = ParseDouble(currentText, 0.0) - ParseDouble(lastText, 0.0);
    }
    panel.m_strLastNotify = QString::fromStdString(lastText);
    panel.m_strCurrent = QString::fromStdString(currentText);
    panel.m_dChange = change;
    panel.update();
}
