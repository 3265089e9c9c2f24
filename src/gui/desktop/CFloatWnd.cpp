// SPDX-License-Identifier: MIT
#include "gui/desktop/CFloatWnd.h"

#include "core/settings/Settings.h"
#include "desktop/X11Util.h"
#include "gui/common/GuiGlobals.h"
#include "gui/desktop/SkinRegion.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

QImage CFloatWnd::s_bmpSkin;
QImage CFloatWnd::s_bmpSkin2x;

namespace {
// One part of the price line: single line, vertically centred, left aligned, clipped to
// its rectangle.
void DrawPart(QPainter& painter, const QRect& rect, const QString& text, const QColor& color) {
    painter.setPen(color);
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}

// Only the part of a skin that the window shows matters: a bigger picture is cut to it.
QImage VisiblePart(const QImage& skin) {
    const qreal ratio = skin.devicePixelRatio();
    const QSize visible(qRound(CFloatWnd::WIDTH * ratio), qRound(CFloatWnd::HEIGHT * ratio));
    if (skin.width() <= visible.width() && skin.height() <= visible.height()) {
        return skin;
    }
    QImage part = skin.copy(QRect(QPoint(0, 0), visible));
    part.setDevicePixelRatio(ratio);
    return part;
}

Qt::WindowFlags FloatWindowFlags(WindowRoute route) {
    // Never a window that takes the keyboard: not when it appears, is raised or repainted.
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                            Qt::WindowDoesNotAcceptFocus;
    // Inside a Wayland compositor a managed X window is centred, kept at least 75 x 50 and
    // not kept above; one the compositor leaves alone keeps its size and place, and is
    // drawn above the managed ones.
    if (route == WindowRoute::XWayland) {
        flags |= Qt::BypassWindowManagerHint;
    }
    return flags;
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
    : QWidget(nullptr, FloatWindowFlags(CurrentWindowRoute())), m_route(CurrentWindowRoute()) {
    setObjectName(QStringLiteral("CFloatWnd"));
    // Never shown on the window, but window managers list it: without a title of its own
    // Qt gives it the program's name, and KWin then names one of the two "Orvantis <2>".
    setWindowTitle(QStringLiteral("Orvantis price"));
    if (s_bmpSkin.isNull()) {
        s_bmpSkin = VisiblePart(LoadSkinBitmap(QStringLiteral("float.bmp")));
        s_bmpSkin2x = VisiblePart(LoadSkinBitmap2x(QStringLiteral("float.bmp"), s_bmpSkin));
    }
    m_hRgnShape = BuildRegionFromBitmap(VisiblePart(s_bmpSkin));
    // Coming up at start-up must not take the focus from the window the user works in; and
    // as it is never the active window, its tooltip (why the price is stale) shows anyway.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(IsTranslucent() ? Qt::WA_TranslucentBackground : Qt::WA_OpaquePaintEvent);
    setFixedSize(WIDTH, HEIGHT);
}

bool CFloatWnd::IsTranslucent() const {
    return m_route == WindowRoute::XWayland || m_route == WindowRoute::Wayland;
}

void CFloatWnd::CreateEx(const QPoint& pos) {
    move(pos);
    if (!IsTranslucent()) {
        setWindowOpacity(OPACITY);
    }
    if (m_route == WindowRoute::X11) {
        PrepareFloatingWindow(winId());
    }
    winId();
    // A skin at another density than the screen's gets a shape at the new one.
    connect(windowHandle(), &QWindow::screenChanged, this, &CFloatWnd::ApplyShape,
            Qt::UniqueConnection);
    ApplyShape();
    if (m_route == WindowRoute::Wayland) {
        // A Wayland compositor stacks windows in the order they appear and lets none raise
        // itself: the floating window comes up after the main window, shown once the
        // start-up is through, so that it starts above it.
        QTimer::singleShot(0, this, [this] { show(); });
        return;
    }
    show();
    Raise();
}

void CFloatWnd::KeepOnTop() {
    if (m_route != WindowRoute::X11) {
        Raise(); // a compositor's own windows are not in the X server's stacking
        return;
    }
    // A raise wakes the window manager and the other programs: only when it is needed.
    const std::optional<StackPlace> place = PlaceInStack(winId());
    if (!place || place->covered) {
        Raise();
    }
}

void CFloatWnd::Raise() {
    if (m_route == WindowRoute::X11 || m_route == WindowRoute::XWayland) {
        RaiseWithoutActivating(winId(), m_route == WindowRoute::X11);
    } else {
        raise();
    }
}

std::optional<QPoint> CFloatWnd::PlaceToStore() const {
    if (m_route == WindowRoute::Wayland) {
        return std::nullopt;
    }
    // Wherever it is now: dragged by the program's own handler, or moved by the window
    // manager (Alt+drag, keyboard move), which only tells the program where it went.
    return frameGeometry().topLeft();
}

void CFloatWnd::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplyShape();
}

void CFloatWnd::ApplyShape() {
    if (m_route == WindowRoute::X11 || m_route == WindowRoute::XWayland) {
        // In the display's own pixels, from the skin drawn for its density, so that the
        // outline stays as fine as the picture.
        if (!testAttribute(Qt::WA_WState_Created)) {
            return;
        }
        const qreal ratio = devicePixelRatioF();
        const QImage& skin = SkinForRatio(s_bmpSkin, s_bmpSkin2x, ratio);
        const qreal scale = skin.isNull() ? 1.0 : ratio / skin.devicePixelRatio();
        SetWindowShape(winId(), BuildRegionFromBitmap(qFuzzyCompare(scale, 1.0)
                                                          ? skin
                                                          : skin.scaled(skin.size() * scale,
                                                                        Qt::IgnoreAspectRatio,
                                                                        Qt::FastTransformation)));
    } else if (m_hRgnShape.isEmpty()) {
        // An empty mask means no mask at all; one pixel outside the window leaves nothing
        // of it on screen, as a missing or all-key skin should.
        setMask(QRegion(-1, -1, 1, 1));
    } else {
        setMask(m_hRgnShape);
    }
}

void CFloatWnd::DrawSkin(QPainter& painter) const {
    const QImage& skin =
        SkinForRatio(s_bmpSkin, s_bmpSkin2x, painter.device()->devicePixelRatioF());
    if (skin.isNull()) {
        return;
    }
    // The skin at its own size from the top-left corner, cut to the window.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect target(QPoint(0, 0), s_bmpSkin.size());
    painter.drawImage(target, IsTranslucent() ? ColourToTransparent(skin, SKIN_KEY_COLOR) : skin);
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
    if (IsTranslucent()) {
        // Nothing shows but the skin, at the window's opacity, which the window system
        // does not apply here; the text stays inside the skin's outline.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(client, Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setOpacity(OPACITY);
        DrawSkin(painter);
        painter.setClipRegion(m_hRgnShape);
    } else {
        painter.fillRect(client, QColor::fromRgb(BACKGROUND_COLOR));
        DrawSkin(painter);
    }
    painter.setFont(g_boldFont);
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
    // The window manager moves the window where it can; a window it does not manage (or no
    // window manager at all) follows the mouse.
    if (m_route != WindowRoute::XWayland && windowHandle() != nullptr &&
        windowHandle()->startSystemMove()) {
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
