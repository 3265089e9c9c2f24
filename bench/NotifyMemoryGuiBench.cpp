// SPDX-License-Identifier: MIT
// Memory of the program across notifications with e-mail on: the resident size after a
// warm-up and after 100 more notifications (each one e-mail request to the demo server
// and one notification dialog, closed at once).
#include "core/settings/Settings.h"
#include "gui/app/COrvantisDlg.h"
#include "gui/notify/CTipDialog.h"
#include "net/qt/QtHttpTransport.h"
#include "support/ChartServerProcess.h"
#include "support/IniFixture.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void Notify(COrvantisDlg& dlg, int i) {
    // Written the way the tracker writes them.
    WriteSetting(KEY_TIP_LAST_PRICE, std::to_string(1600 + i) + ".00");
    WriteSetting(KEY_LAST_PRICE, std::to_string(1620 + i) + ".00");
    WriteSetting(KEY_CURRENT_PRICE, std::to_string(1620 + i) + ".00");
    // The dialog closes itself as soon as it runs its loop.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* tip = qobject_cast<CTipDialog*>(w); tip != nullptr && tip->isVisible()) {
                tip->accept();
            }
        }
    });
    dlg.OnPriceUpdate(PRICE_UPDATE_NOTIFY, 0);
}

void WaitForPosts(const ChartServerProcess& server, std::size_t count) {
    for (int i = 0; i < 2000 && server.OutputLines("notify: ").size() < count; ++i) {
        QApplication::processEvents();
        usleep(5000);
    }
}

void BM_MemoryAcross100Notifications(benchmark::State& state) {
    TempDir folder;
    ChartServerProcess server(folder.Path(), {"--prices", "1650.00"});
    setenv("ORVANTIS_NOTIFY_SERVER", server.Url().c_str(), 1);
    IniFixture ini;
    WriteSetting(KEY_SEND_EMAIL, "1");
    WriteSetting(KEY_EMAIL, "bench@example.com");
    COrvantisDlg dlg;
    dlg.show();
    // Each request is out before the next notification, so none is dropped from the queue.
    std::size_t posts = 0;
    const auto notifyAndPost = [&](int i) {
        Notify(dlg, i);
        WaitForPosts(server, ++posts);
    };
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            notifyAndPost(i);
        }
        const long before = ResidentKiB();
        for (int i = 0; i < 100; ++i) {
            notifyAndPost(i);
        }
        QApplication::processEvents();
        const long after = ResidentKiB();
        state.counters["rss_before_KiB"] = static_cast<double>(before);
        state.counters["rss_after_KiB"] = static_cast<double>(after);
        state.counters["growth_KiB"] = static_cast<double>(after - before);
        state.counters["posts"] = static_cast<double>(server.OutputLines("notify: ").size());
    }
}
BENCHMARK(BM_MemoryAcross100Notifications)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    CQtHttpTransport transport;
    SetHttpTransport(transport);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
