// SPDX-License-Identifier: MIT
#pragma once

#include "core/app/PriceLine.h"

#include <QImage>
#include <QString>
#include <QWidget>
#include <string>

// The price panel: three labelled lines (last notified price, current price, change)
// drawn from the prices its owner hands it.
class CInfWnd final : public QWidget {
    Q_OBJECT
public:
    explicit CInfWnd(QWidget* parent = nullptr);
    Q_DISABLE_COPY(CInfWnd)

    // Shows these prices from the next paint on.
    void SetPrices(const PriceView& prices);
    const PriceView& Prices() const { return m_prices; }

    // The arrows shared by every panel, with pure white already made transparent, and
    // their partners drawn for twice the pixel density. Loaded by the first panel; a load
    // that failed is tried again by the next one.
    static QImage s_bmpUp;
    static QImage s_bmpDown;
    static QImage s_bmpUp2x;
    static QImage s_bmpDown2x;

    static constexpr QRgb CHANGE_UP_COLOR = 0xFF008000;   // RGB(0,128,0)
    static constexpr QRgb CHANGE_DOWN_COLOR = 0xFFFF0000; // RGB(255,0,0)

    // Room for the labels and the widest usual values in the panel's font.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PriceView m_prices;
};
