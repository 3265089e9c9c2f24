// SPDX-License-Identifier: MIT
#include "core/common/Globals.h"
#include "net/curl/CurlTransport.h"
#include "net/qt/QtHttpTransport.h"

#include <QCoreApplication>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string_view>

// The network tests run with the command-line tools' transport, and once more with the
// desktop program's when ORVANTIS_TEST_TRANSPORT is "qt".
int main(int argc, char* argv[]) {
    CCurlTransport curl;
    CQtHttpTransport qt;
    std::unique_ptr<QCoreApplication> app;
    const char* transport = std::getenv("ORVANTIS_TEST_TRANSPORT");
    if (transport != nullptr && std::string_view(transport) == "qt") {
        app = std::make_unique<QCoreApplication>(argc, argv);
        std::setlocale(LC_ALL, "C"); // as the other runs have it; Qt took the environment's
        SetHttpTransport(qt);
    } else {
        SetHttpTransport(curl);
    }
    g_szExeDir = ORVANTIS_BIN_DIR; // where the name lookup helper is
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
