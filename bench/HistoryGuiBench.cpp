// SPDX-License-Identifier: MIT
// The price history on a simulated year (90 days of two-minute readings, the rest
// hourly: some 71,000 rows): the window from its creation to its first paint with the
// readings, one reading kept as the polling thread keeps it, and the database's size.
#include "core/history/HistoryStore.h"
#include "gui/history/CHistoryWnd.h"
#include "support/SimulatedHistory.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QSignalSpy>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr std::int64_t NOW = 1796000000;

const TempDir& YearFolder() {
    static const TempDir dir;
    static const std::size_t rows = WriteSimulatedYear(dir.File("history.sqlite3"), NOW);
    (void)rows;
    return dir;
}

// The resident memory of this process, in KiB.
long RssKib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void BM_HistoryWindowToFirstPaint(benchmark::State& state) {
    const std::string path = YearFolder().File("history.sqlite3");
    {
        // What the running program has loaded anyway (style, fonts, an empty history's
        // window) is not counted.
        const TempDir empty;
        CHistoryWnd warm(empty.File("none.sqlite3"), NOW);
        QSignalSpy loaded(&warm, &CHistoryWnd::Loaded);
        warm.show();
        loaded.wait(60000);
        warm.repaint();
    }
    const long before = RssKib();
    long open = 0;
    long firstClosed = 0;
    for (auto _ : state) {
        auto* window = new CHistoryWnd(path, NOW);
        QSignalSpy loaded(window, &CHistoryWnd::Loaded);
        window->show();
        loaded.wait(60000);
        window->repaint();
        state.PauseTiming();
        open = RssKib();
        window->hide();
        delete window; // as closing it does, at once
        firstClosed = firstClosed == 0 ? RssKib() : firstClosed;
        state.ResumeTiming();
    }
    state.counters["rss_before_kib"] = static_cast<double>(before);
    state.counters["rss_open_kib"] = static_cast<double>(open);
    state.counters["rss_closed_first_kib"] = static_cast<double>(firstClosed);
    state.counters["rss_closed_kib"] = static_cast<double>(RssKib());
}
BENCHMARK(BM_HistoryWindowToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_HistoryInsertOneReading(benchmark::State& state) {
    const TempDir dir;
    std::filesystem::copy_file(YearFolder().File("history.sqlite3"), dir.File("h.sqlite3"));
    CHistoryStore store;
    store.Open(dir.File("h.sqlite3"));
    std::int64_t t = NOW;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.Insert({t, 234567, HistoryState::Live, {}, false}));
        t += 120;
    }
}
BENCHMARK(BM_HistoryInsertOneReading)->Unit(benchmark::kMicrosecond);

void BM_HistoryYearSize(benchmark::State& state) {
    std::uintmax_t size = 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        const TempDir dir;
        rows = WriteSimulatedYear(dir.File("year.sqlite3"), NOW);
        size = std::filesystem::file_size(dir.File("year.sqlite3"));
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_HistoryYearSize)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
