// SPDX-License-Identifier: MIT
#pragma once

#include "core/history/HistoryReading.h"

#include <QWidget>
#include <cstdint>
#include <vector>

// One reading as the chart draws it: small, since a year holds some 71,000 of them.
struct ChartPoint {
    std::int64_t timeUtc = 0;
    std::int64_t cents = 0;
    bool hasPrice = false; // a live reading
    bool notified = false;
};

// The price as a line over a span of time, the notified points marked, the stale and
// closed periods (and the times the program did not run) left as gaps. The pointer, or
// the arrow keys, pick a reading whose local time and price it shows. Colours come from
// the palette, so a dark theme gives a dark chart.
class CHistoryChart final : public QWidget {
    Q_OBJECT
public:
    explicit CHistoryChart(QWidget* parent = nullptr);

    // The readings, oldest first, and the span to show.
    void SetPoints(std::vector<ChartPoint> points);
    void SetSpan(std::int64_t fromUtc, std::int64_t toUtc);
    // The index of the picked reading, -1 for none.
    int Picked() const { return m_picked; }

    QSize sizeHint() const override;
    // Where the line is drawn, inside the axes' labels.
    QRectF PlotArea() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double XOf(std::int64_t timeUtc) const;
    double YOf(std::int64_t cents) const;
    void FitPrices();
    void DrawAxes(QPainter& painter) const;
    void DrawLine(QPainter& painter) const;
    void DrawPicked(QPainter& painter) const;
    // Picks the reading nearest to the time at x.
    void PickAt(double x);
    void MovePick(int step);

    std::vector<ChartPoint> m_points;
    std::size_t m_first = 0; // the readings of the span: [m_first, m_last)
    std::size_t m_last = 0;
    std::int64_t m_from = 0;
    std::int64_t m_to = 1;
    std::int64_t m_low = 0; // the price axis, in cents
    std::int64_t m_high = 1;
    int m_picked = -1;
};
