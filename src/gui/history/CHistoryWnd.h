// SPDX-License-Identifier: MIT
#pragma once

#include "gui/history/CHistoryChart.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class QButtonGroup;
class QLabel;
class QPushButton;

// "Price History": the kept readings of the last day, week, month or year, and their
// export as CSV. The database is read on a worker thread; the window frees everything it
// holds when it closes.
class CHistoryWnd final : public QWidget {
    Q_OBJECT
public:
    // path: the database; now: the wall clock's "now" in seconds (UTC).
    explicit CHistoryWnd(std::string path, std::int64_t now, QWidget* parent = nullptr);
    ~CHistoryWnd() override; // waits for its worker
    Q_DISABLE_COPY(CHistoryWnd)

    // Written to the path on the worker thread; the window says how it went.
    void ExportTo(const QString& fileName);

signals:
    // The readings are shown (and painted with the next paint).
    void Loaded();
    void Exported(bool ok);

private:
    enum Span { SPAN_DAY, SPAN_WEEK, SPAN_MONTH, SPAN_YEAR };
    void ShowSpan(int span);
    void OnLoaded(std::vector<ChartPoint> points);
    void OnExport();
    void StartWork(std::function<void()> work);

    std::string m_path;
    std::int64_t m_now;
    CHistoryChart* m_chart;
    QLabel* m_note;
    QButtonGroup* m_spans;
    QPushButton* m_export;
    std::thread m_worker;
};
