// SPDX-License-Identifier: MIT
#include "core/common/Globals.h"
#include "net/qt/QtHttpTransport.h"

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

// Widget tests share one application object; the images come from the build's bin folder.
int main(int argc, char* argv[]) {
    // No test reaches the internet: both servers point at a closed loopback port.
    setenv("ORVANTIS_CHART_SERVER", "http://127.0.0.1:9", 1);
    setenv("ORVANTIS_NOTIFY_SERVER", "http://127.0.0.1:9", 1);
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
