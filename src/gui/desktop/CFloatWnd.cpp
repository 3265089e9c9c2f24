// SPDX-License-Identifier: MIT
#include "gui/desktop/CFloatWnd.h"

#include "core/app/Settings.h"
#include "gui/common/GuiGlobals.h"
#include "gui/desktop/SkinRegion.h"
#include "gui/desktop/X11Util.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

QImage CFloatWnd::s_bmpSkin;

namespace {
// One part of the price line: single line, vertically centred, left aligned, clipped to
// its rectangle.
void DrawPart(QPainter& painter, const QRect& rect, const QString& text, const QColor& color) {
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

bool TouchesAScreen(long long left, long long top, const QList<QRect>& screens) {
    const long long right = left + CFloatWnd::WIDTH;
    const long long bottom = top + CFloatWnd::HEIGHT;
    for (const QRect& screen : screens) {
        if (left < screen.x() + static_cast<long long>(screen.width()) && right > screen.x() &&
            top < screen.y() + static_cast<long long>(screen.height()) && bottom > screen.y()) {
            return true;
        }
    }
    return false;
}
} // namespace

CFloatWnd::CFloatWnd()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("CFloatWnd"));
    if (s_bmpSkin.isNull()) {
        s_bmpSkin = LoadSkinBitmap(QStringLiteral("float.bmp"));
    }
    m_hRgnShape = BuildRegionFromBitmap(s_bmpSkin);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Coming up at start-up must not take the focus from the window the user works in.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(WIDTH, HEIGHT);
}

void CFloatWnd::CreateEx(const QPoint& pos) {
    move(pos);
    setWindowOpacity(OPACITY);
    SkipTaskbarAndPager(this);
    show();
    raise();
}

void CFloatWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_hRgnShape.isEmpty()) {
        // An empty mask means no mask at all; one pixel outside the window leaves nothing
        // of it on screen, as a missing or all-key skin should.
        setMask(QRegion(-1, -1, 1, 1));
    } else {
        setMask(m_hRgnShape);
    }
}

void CFloatWnd::SetStale(bool stale) {
    if (stale != m_bStale) {
        m_bStale = stale;
        update();
    }
}

void CFloatWnd::SetPrices(const PriceView& prices) {
    m_prices = prices;
    update();
}

void CFloatWnd::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect client = rect();
    painter.fillRect(client, QColor::fromRgb(BACKGROUND_COLOR));
    painter.setFont(g_boldFont);
    // The skin at its own size from the top-left corner, cut to the window.
    if (!s_bmpSkin.isNull()) {
        painter.drawImage(QPoint(0, 0), s_bmpSkin, client);
    }
    const QColor stale = QColor::fromRgb(STALE_COLOR);

    const ChangeSign sign = SignOfChange(m_prices);
    if (sign == ChangeSign::None) {
        painter.setPen(m_bStale ? stale : QColor(Qt::black));
        painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine,
                         QString::fromStdString(PriceLine(m_prices)));
        return;
    }

    const QString pricePart = QString::fromStdString(m_prices.current) + QLatin1Char(' ');
    const QString changePart = QString::fromStdString(ChangeText(m_prices.change));
    QColor changeColor = Qt::black;
    if (sign == ChangeSign::Up) {
        changeColor = QColor::fromRgb(UP_COLOR);
    } else if (sign == ChangeSign::Down) {
        changeColor = QColor::fromRgb(DOWN_COLOR);
    }

    // Both parts centred as one line; a line wider than the window starts left of it and
    // is cut at both edges.
    const QFontMetrics metrics(painter.font());
    const int widthPrice = metrics.horizontalAdvance(pricePart);
    const int widthChange = metrics.horizontalAdvance(changePart);
    const int x0 = (client.width() - widthChange - widthPrice) / 2;
    DrawPart(painter, QRect(x0, 0, client.width() - x0, client.height()), pricePart,
             m_bStale ? stale : QColor(Qt::black));
    DrawPart(painter, QRect(x0 + widthPrice, 0, client.width() - x0 - widthPrice, client.height()),
             changePart, m_bStale ? stale : changeColor);
}

void CFloatWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window manager moves the window where it can; elsewhere it follows the mouse.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) {
        return;
    }
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void CFloatWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragOffset && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - *m_dragOffset);
    }
}

void CFloatWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragOffset.reset();
    }
}

QPoint FloatWindowPosition(const std::string& stored, const QRect& primary,
                           const QList<QRect>& screens) {
    if (const auto position = ParseFloatPos(stored);
        position && TouchesAScreen(position->first, position->second, screens)) {
        return {position->first, position->second};
    }
    return {primary.x() + primary.width() - CFloatWnd::DEFAULT_RIGHT_OFFSET,
            primary.y() + CFloatWnd::DEFAULT_TOP};
}
