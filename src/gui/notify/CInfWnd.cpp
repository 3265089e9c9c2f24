// SPDX-License-Identifier: MIT
#include "gui/notify/CInfWnd.h"

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
    const int values = std::max(metrics.horizontalAdvance(QString::fromLatin1(OBTAINING_TEXT)),
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
    DrawText(painter, QRect(cx, 0, w - cx, cy), QString::fromStdString(m_prices.lastNotify));

    DrawText(painter, QRect(0, cy, w, cy), LABEL_CURRENT);
    DrawText(painter, QRect(cx, cy, w - cx, cy),
             QString::fromStdString(m_prices.current.empty() ? OBTAINING_TEXT : m_prices.current));

    DrawText(painter, QRect(0, 2 * cy, w, cy), LABEL_CHANGE);
    const ChangeSign sign = SignOfChange(m_prices);
    if (sign == ChangeSign::None) {
        return;
    }

    const QString text = QString::fromStdString(ChangeText(m_prices.change));
    const QImage* arrow = nullptr;
    const QImage* arrow2x = nullptr;
    if (sign == ChangeSign::Up) {
        painter.setPen(QColor::fromRgb(CHANGE_UP_COLOR));
        arrow = &s_bmpUp;
        arrow2x = &s_bmpUp2x;
    } else if (sign == ChangeSign::Down) {
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

void CInfWnd::SetPrices(const PriceView& prices) {
    m_prices = prices;
    update();
}
