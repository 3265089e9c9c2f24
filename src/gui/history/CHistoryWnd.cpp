// SPDX-License-Identifier: MIT
#include "gui/history/CHistoryWnd.h"

#include "core/history/HistoryCsv.h"
#include "core/history/HistoryStore.h"
#include "platform/Platform.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QVBoxLayout>
#include <array>

namespace {
constexpr std::int64_t DAY = 24 * 3600;
constexpr std::array<std::int64_t, 4> SPAN_SECONDS = {DAY, 7 * DAY, 31 * DAY, 366 * DAY};

std::vector<ChartPoint> ChartPointsOf(CHistoryStore& store, std::int64_t sinceUtc) {
    std::vector<ChartPoint> points;
    store.Visit(sinceUtc, INT64_MAX, [&points](const HistoryReading& row) {
        const bool live = row.state == HistoryState::Live && row.cents.has_value();
        points.push_back({row.timeUtc, row.cents.value_or(0), live, row.notified});
    });
    // Sized to fit: the window keeps it while it is open.
    points.shrink_to_fit();
    return points;
}

bool WriteCsv(const std::string& path, const QString& fileName) {
    CHistoryStore store;
    if (!store.Open(path, true)) {
        return false;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(HistoryCsvHeader().c_str());
    store.Visit(0, INT64_MAX,
                [&file](const HistoryReading& row) { file.write(HistoryCsvLine(row).c_str()); });
    return file.commit();
}
} // namespace

CHistoryWnd::CHistoryWnd(std::string path, std::int64_t now, QWidget* parent)
    : QWidget(parent, Qt::Window), m_path(std::move(path)), m_now(now),
      m_chart(new CHistoryChart(this)), m_note(new QLabel(tr("Reading the history…"), this)),
      m_spans(new QButtonGroup(this)), m_export(new QPushButton(tr("&Export CSV…"), this)) {
    setWindowTitle(tr("Price History"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* buttons = new QHBoxLayout;
    const std::array<QString, 4> names = {tr("&Day"), tr("&Week"), tr("&Month"), tr("&Year")};
    for (int span = SPAN_DAY; span <= SPAN_YEAR; ++span) {
        auto* button = new QPushButton(names[static_cast<std::size_t>(span)], this);
        button->setCheckable(true);
        m_spans->addButton(button, span);
        buttons->addWidget(button);
    }
    buttons->addWidget(m_note, 1);
    buttons->addWidget(m_export);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_chart, 1);
    connect(m_spans, &QButtonGroup::idClicked, this, &CHistoryWnd::ShowSpan);
    connect(m_export, &QPushButton::clicked, this, &CHistoryWnd::OnExport);
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            &QWidget::close);
    m_spans->button(SPAN_DAY)->setChecked(true);
    ShowSpan(SPAN_DAY);
    m_chart->setFocus();

    // A year at most: the longest span there is.
    StartWork([this, path = m_path, since = m_now - SPAN_SECONDS[SPAN_YEAR]] {
        CHistoryStore store;
        std::vector<ChartPoint> points;
        if (store.Open(path, true)) {
            points = ChartPointsOf(store, since);
        }
        QMetaObject::invokeMethod(
            this, [this, loaded = std::move(points)]() mutable { OnLoaded(std::move(loaded)); },
            Qt::QueuedConnection);
    });
}

CHistoryWnd::~CHistoryWnd() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    // The readings were freed in the worker's and this thread's heaps, which would keep
    // them for later: the window gives them back now.
    m_chart->SetPoints({});
    platform::ReturnFreeMemory();
}

void CHistoryWnd::StartWork(std::function<void()> work) {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_worker = std::thread(std::move(work));
}

void CHistoryWnd::ShowSpan(int span) {
    m_chart->SetSpan(m_now - SPAN_SECONDS[static_cast<std::size_t>(span)], m_now);
}

void CHistoryWnd::OnLoaded(std::vector<ChartPoint> points) {
    m_note->setText(points.empty() ? tr("No readings kept yet") : QString());
    m_chart->SetPoints(std::move(points));
    emit Loaded();
}

void CHistoryWnd::OnExport() {
    const QString fileName = QFileDialog::getSaveFileName(
        this, tr("Export CSV"), QStringLiteral("price-history.csv"), tr("CSV files (*.csv)"));
    if (!fileName.isEmpty()) {
        ExportTo(fileName);
    }
}

void CHistoryWnd::ExportTo(const QString& fileName) {
    m_export->setEnabled(false);
    m_note->setText(tr("Exporting…"));
    StartWork([this, path = m_path, fileName] {
        const bool ok = WriteCsv(path, fileName);
        QMetaObject::invokeMethod(
            this,
            [this, ok] {
                m_export->setEnabled(true);
                m_note->setText(ok ? tr("Exported") : tr("The export failed"));
                emit Exported(ok);
            },
            Qt::QueuedConnection);
    });
}
