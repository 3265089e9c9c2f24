// SPDX-License-Identifier: MIT
#pragma once

#include "core/app/PriceLine.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <optional>
#include <string>

class QPainter;
enum class WindowRoute;

// The small skinned window that floats above all others with the current price and its
// change, as the main window hands them over.
class CFloatWnd final : public QWidget {
    Q_OBJECT
public:
    CFloatWnd();
    Q_DISABLE_COPY(CFloatWnd)

    static constexpr int WIDTH = 112;
    static constexpr int HEIGHT = 25;
    static constexpr int DEFAULT_RIGHT_OFFSET = 160; // from the primary screen's right edge
    static constexpr int DEFAULT_TOP = 60;
    static constexpr qreal OPACITY = 236 / 255.0;
    static constexpr QRgb BACKGROUND_COLOR = 0xFFBABABA; // RGB(186,186,186)
    static constexpr QRgb UP_COLOR = 0xFF008000;         // RGB(0,128,0)
    static constexpr QRgb DOWN_COLOR = 0xFFFF0000;       // RGB(255,0,0)
    static constexpr QRgb STALE_COLOR = 0xFF808080;      // RGB(128,128,128)

    // Shows the window at pos, frameless, above all other windows and without a taskbar
    // entry, shaped to the skin, without taking the focus.
    void CreateEx(const QPoint& pos);

    // Puts the window back above all others, without activating it, at once; on an X server
    // with a window manager only when another window is stacked above it.
    void KeepOnTop();

    // The place Exit stores: where the window is, however it got there; nothing where the window
    // system alone decides where windows go (a Wayland compositor), so that a place it chose is
    // never taken for the user's.
    std::optional<QPoint> PlaceToStore() const;

    // While stale the whole line is drawn in grey instead of its colours: the price shown
    // is not live.
    void SetStale(bool stale);
    bool IsStale() const { return m_bStale; }

    // Shows these prices from the next paint on.
    void SetPrices(const PriceView& prices);

    // The skin "float.bmp", loaded by the first window that finds it missing, and its
    // partner drawn for twice the pixel density; only the part the window shows is kept.
    static QImage s_bmpSkin;
    static QImage s_bmpSkin2x;
    // The shape built from the skin; empty when there is no skin or it is all key colour.
    QRegion m_hRgnShape;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Where the window system does not cut the window to its shape, the window is painted
    // with an alpha channel instead: the key colour and what lies outside the skin clear.
    bool IsTranslucent() const;
    void ApplyShape();
    void DrawSkin(QPainter& painter) const;
    void Raise();

    PriceView m_prices;
    WindowRoute m_route;
    bool m_bStale = false;
    // Set while the window is dragged by hand, where the window system does not move it.
    std::optional<QPoint> m_dragOffset;
};

// Where the floating window starts: the stored "x,y" (FloatPos), unless it is not two
// integers or it would put the window wholly outside every screen; else the default,
// 160 pixels left of the primary screen's right edge and 60 from its top.
QPoint FloatWindowPosition(const std::string& stored, const QRect& primary,
                           const QList<QRect>& screens);
