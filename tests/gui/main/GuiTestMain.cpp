// SPDX-License-Identifier: MIT
#include "core/common/Globals.h"
#include "net/qt/QtHttpTransport.h"
#include "support/TempDir.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

// Widget tests share one application object; the images come from the build's bin folder.
int main(int argc, char* argv[]) {
    // No test reaches the internet: both servers point at a closed loopback port.
    setenv("ORVANTIS_CHART_SERVER", "http://127.0.0.1:9", 1);
    setenv("ORVANTIS_NOTIFY_SERVER", "http://127.0.0.1:9", 1);
    // The price history the main window keeps of its polls goes to the run's own folder.
    const TempDir dataHome;
    setenv("XDG_DATA_HOME", dataHome.Path().c_str(), 1);
    // Headless unless a test run asks for a real display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    g_szExeDir = ORVANTIS_BIN_DIR;
    CQtHttpTransport transport; // the desktop program's own
    SetHttpTransport(transport);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
