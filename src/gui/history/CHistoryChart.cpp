// SPDX-License-Identifier: MIT
#include "gui/history/CHistoryChart.h"

#include "core/history/HistoryStore.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {
constexpr int AXIS_TICKS = 5;
constexpr double MARK_RADIUS = 3.5;
// Readings further apart than this are not joined: the program did not run between
// them. Past the full period only the last of each hour is kept.
constexpr std::int64_t RECENT_GAP_SECONDS = 15 * 60;
constexpr std::int64_t HOURLY_GAP_SECONDS = 2 * 3600 + 60;

QString LocalTime(std::int64_t timeUtc, const QString& format) {
    return QDateTime::fromSecsSinceEpoch(timeUtc).toLocalTime().toString(format);
}

QString PriceLabel(std::int64_t cents) {
    return QString::fromStdString(CentsToPriceText(cents));
}
} // namespace

CHistoryChart::CHistoryChart(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setAccessibleName(tr("Price chart"));
}

QSize CHistoryChart::sizeHint() const {
    const int em = fontMetrics().height();
    return {em * 48, em * 22};
}

void CHistoryChart::SetPoints(std::vector<ChartPoint> points) {
    m_points = std::move(points);
    SetSpan(m_from, m_to);
}

void CHistoryChart::SetSpan(std::int64_t fromUtc, std::int64_t toUtc) {
    m_from = fromUtc;
    m_to = std::max(toUtc, fromUtc + 1);
    const auto byTime = [](const ChartPoint& point, std::int64_t t) { return point.timeUtc < t; };
    m_first = static_cast<std::size_t>(
        std::lower_bound(m_points.begin(), m_points.end(), m_from, byTime) - m_points.begin());
    m_last = static_cast<std::size_t>(
        std::lower_bound(m_points.begin(), m_points.end(), m_to + 1, byTime) - m_points.begin());
    m_picked = -1;
    FitPrices();
    update();
}

void CHistoryChart::FitPrices() {
    std::int64_t low = INT64_MAX;
    std::int64_t high = INT64_MIN;
    for (std::size_t i = m_first; i < m_last; ++i) {
        if (m_points[i].hasPrice) {
            low = std::min(low, m_points[i].cents);
            high = std::max(high, m_points[i].cents);
        }
    }
    if (low > high) {
        low = 0;
        high = 100;
    }
    // A little room above and below, and at least a dollar of height.
    const std::int64_t pad = std::max<std::int64_t>((high - low) / 10, 50);
    m_low = low - pad;
    m_high = high + pad;
}

QRectF CHistoryChart::PlotArea() const {
    const QFontMetrics metrics = fontMetrics();
    const double left = metrics.horizontalAdvance(QStringLiteral("0000000.00")) + 8.0;
    const double bottom = metrics.height() * 2.0;
    return QRectF(left, metrics.height(), width() - left - metrics.height(),
                  height() - bottom - metrics.height());
}

double CHistoryChart::XOf(std::int64_t timeUtc) const {
    const QRectF area = PlotArea();
    return area.left() + area.width() * static_cast<double>(timeUtc - m_from) /
                             static_cast<double>(m_to - m_from);
}

double CHistoryChart::YOf(std::int64_t cents) const {
    const QRectF area = PlotArea();
    return area.bottom() -
           area.height() * static_cast<double>(cents - m_low) / static_cast<double>(m_high - m_low);
}

void CHistoryChart::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawAxes(painter);
    if (m_first == m_last) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(PlotArea(), Qt::AlignCenter, tr("No readings kept for this period"));
        return;
    }
    DrawLine(painter);
    DrawPicked(painter);
}

void CHistoryChart::DrawAxes(QPainter& painter) const {
    const QRectF area = PlotArea();
    const QColor text = palette().color(QPalette::Text);
    QColor grid = text;
    grid.setAlphaF(0.18F);
    const std::int64_t span = m_to - m_from;
    const QString timeFormat = span > 62LL * 24 * 3600  ? QStringLiteral("MMM yyyy")
                               : span > 3LL * 24 * 3600 ? QStringLiteral("d MMM")
                                                        : QStringLiteral("HH:mm");
    const double lineHeight = fontMetrics().height();
    for (int i = 0; i <= AXIS_TICKS; ++i) {
        const double y = area.bottom() - area.height() * i / AXIS_TICKS;
        painter.setPen(grid);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(text);
        const std::int64_t cents = m_low + (m_high - m_low) * i / AXIS_TICKS;
        painter.drawText(QRectF(0, y - lineHeight / 2, area.left() - 6, lineHeight),
                         Qt::AlignRight | Qt::AlignVCenter, PriceLabel(cents));
        const double x = area.left() + area.width() * i / AXIS_TICKS;
        const std::int64_t t = m_from + (m_to - m_from) * i / AXIS_TICKS;
        // The first and the last label stay inside the widget.
        const double labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("0000 MMM 00"));
        const double left = std::clamp(x - labelWidth / 2, 0.0, width() - labelWidth);
        painter.drawText(QRectF(left, area.bottom() + 4, labelWidth, lineHeight),
                         Qt::AlignHCenter | Qt::AlignTop, LocalTime(t, timeFormat));
    }
}

void CHistoryChart::DrawLine(QPainter& painter) const {
    const std::int64_t hourlyBefore = m_to - HISTORY_FULL_SECONDS;
    QPainterPath line;
    bool joined = false;
    std::int64_t lastTime = 0;
    for (std::size_t i = m_first; i < m_last; ++i) {
        const ChartPoint& point = m_points[i];
        if (!point.hasPrice) {
            joined = false; // stale or closed: a gap, never a line across it
            continue;
        }
        const std::int64_t limit =
            point.timeUtc < hourlyBefore ? HOURLY_GAP_SECONDS : RECENT_GAP_SECONDS;
        const QPointF at(XOf(point.timeUtc), YOf(point.cents));
        if (joined && point.timeUtc - lastTime <= limit) {
            line.lineTo(at);
        } else {
            line.moveTo(at);
            // A lone reading between two gaps still shows.
            line.lineTo(at + QPointF(0.5, 0));
        }
        joined = true;
        lastTime = point.timeUtc;
    }
    painter.setClipRect(PlotArea().adjusted(-MARK_RADIUS, -MARK_RADIUS, MARK_RADIUS, MARK_RADIUS));
    painter.setPen(
        QPen(palette().color(QPalette::Text), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(line);
    painter.setPen(QPen(palette().color(QPalette::Base), 1.0));
    painter.setBrush(palette().color(QPalette::Highlight));
    for (std::size_t i = m_first; i < m_last; ++i) {
        if (m_points[i].notified && m_points[i].hasPrice) {
            painter.drawEllipse(QPointF(XOf(m_points[i].timeUtc), YOf(m_points[i].cents)),
                                MARK_RADIUS, MARK_RADIUS);
        }
    }
    painter.setClipping(false);
}

void CHistoryChart::DrawPicked(QPainter& painter) const {
    if (m_picked < 0) {
        return;
    }
    const ChartPoint& point = m_points[static_cast<std::size_t>(m_picked)];
    const QRectF area = PlotArea();
    const double x = XOf(point.timeUtc);
    QColor rule = palette().color(QPalette::Highlight);
    painter.setPen(QPen(rule, 1.0, Qt::DashLine));
    painter.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    const QString label = LocalTime(point.timeUtc, QStringLiteral("ddd d MMM yyyy HH:mm")) +
                          QStringLiteral("   ") +
                          (point.hasPrice ? PriceLabel(point.cents) : tr("no price"));
    const QFontMetrics metrics = fontMetrics();
    QRectF box(0, area.top(), metrics.horizontalAdvance(label) + 12.0, metrics.height() + 6.0);
    box.moveLeft(std::clamp(x + 8, area.left(), area.right() - box.width()));
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.setBrush(palette().color(QPalette::ToolTipBase));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, label);
}

void CHistoryChart::PickAt(double x) {
    if (m_first == m_last) {
        return;
    }
    const QRectF area = PlotArea();
    const auto t = m_from + static_cast<std::int64_t>((x - area.left()) / area.width() *
                                                      static_cast<double>(m_to - m_from));
    const auto begin = m_points.begin() + static_cast<std::ptrdiff_t>(m_first);
    const auto end = m_points.begin() + static_cast<std::ptrdiff_t>(m_last);
    auto it = std::lower_bound(begin, end, t, [](const ChartPoint& point, std::int64_t time) {
        return point.timeUtc < time;
    });
    if (it == end || (it != begin && t - (it - 1)->timeUtc < it->timeUtc - t)) {
        --it;
    }
    m_picked = static_cast<int>(it - m_points.begin());
    update();
}

void CHistoryChart::MovePick(int step) {
    if (m_first == m_last) {
        return;
    }
    const auto first = static_cast<int>(m_first);
    const auto last = static_cast<int>(m_last) - 1;
    m_picked = m_picked < 0 ? (step < 0 ? last : first) : std::clamp(m_picked + step, first, last);
    update();
}

void CHistoryChart::mouseMoveEvent(QMouseEvent* event) {
    PickAt(event->position().x());
}

void CHistoryChart::leaveEvent(QEvent* /*event*/) {
    m_picked = -1;
    update();
}

void CHistoryChart::keyPressEvent(QKeyEvent* event) {
    // Page keys move by a tenth of the readings in view.
    const int page = std::max(1, static_cast<int>(m_last - m_first) / 10);
    switch (event->key()) {
    case Qt::Key_Left:
        MovePick(-1);
        break;
    case Qt::Key_Right:
        MovePick(1);
        break;
    case Qt::Key_PageUp:
        MovePick(-page);
        break;
    case Qt::Key_PageDown:
        MovePick(page);
        break;
    case Qt::Key_Home:
        MovePick(-static_cast<int>(m_points.size()));
        break;
    case Qt::Key_End:
        MovePick(static_cast<int>(m_points.size()));
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}
