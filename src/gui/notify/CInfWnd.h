// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <string>

// The price panel: three labelled lines (last notified price, current price, change)
// drawn from its public members. The owner sets them and then calls update().
class CInfWnd final : public QWidget {
    Q_OBJECT
public:
    explicit CInfWnd(QWidget* parent = nullptr);
    Q_DISABLE_COPY(CInfWnd)

    QString m_strLastNotify;
    QString m_strCurrent; // empty: no price known yet
    double m_dChange = 0.0;

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
};

// Fills a panel from two stored price texts, as they are: the change is current - last
// when both texts are non-empty (a text without a number counts as 0), else 0. Then the
// panel repaints.
void FillPricePanel(CInfWnd& panel, const std::string& lastText, const std::string& currentText);
