// SPDX-License-Identifier: MIT
#include "gui/app/COrvantisApp.h"

#include "core/app/CommandLine.h"
#include "core/app/DisplayChoice.h"
#include "core/app/InstanceProtocol.h"
#include "core/common/Globals.h"
#include "gui/app/COrvantisDlg.h"
#include "gui/common/GuiGlobals.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
constexpr int HAND_OVER_TIMEOUT_MS = 3000;
constexpr int X_PROBE_TIMEOUT_MS = 500;
} // namespace

void COrvantisApp::FixPaths() {
    g_strExePath = platform::ExecutablePath();
    const auto slash = g_strExePath.rfind('/');
    g_szExeDir = slash == std::string::npos ? std::string() : g_strExePath.substr(0, slash);
    g_strAppDataDir = platform::UserConfigDir() + "/Tamberlo/Orvantis";
    platform::CreateFolderChain(g_strAppDataDir);
    g_strIniFile = g_strAppDataDir + "/gold.ini";
}

bool COrvantisApp::HandOverToFirstInstance(const std::string& socketPath) {
    std::string answer;
    if (!platform::LocalSocketExchange(socketPath, std::string(INSTANCE_REQUEST_MAINWND) + "\n",
                                       &answer, HAND_OVER_TIMEOUT_MS)) {
        return false;
    }
    const std::string prefix = INSTANCE_ANSWER_MAINWND;
    if (answer.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string id = answer.substr(prefix.size());
    if (id.empty() || id.find_first_not_of('0') == std::string::npos) {
        return false; // the first instance has no main window (yet)
    }
    std::string ok;
    return platform::LocalSocketExchange(
        socketPath, std::string(INSTANCE_REQUEST_COMMAND) + std::to_string(ID_TRAY_OPEN) + "\n",
        &ok, HAND_OVER_TIMEOUT_MS);
}

int COrvantisApp::Run(int argc, char* argv[]) {
    FixPaths();

    // Only one instance per user. The check needs no display, so a second start ends
    // without ever connecting to one.
    const std::string runtimeDir = platform::UserRuntimeDir();
    if (!runtimeDir.empty() && m_instanceLock.Acquire(runtimeDir + "/" + INSTANCE_LOCK_NAME) ==
                                   platform::CInstanceLock::Result::HeldByAnother) {
        HandOverToFirstInstance(runtimeDir + "/" + INSTANCE_SOCKET_NAME);
        return 0;
    }

    // The floating window must place itself, stay on top and take its shape, which a
    // Wayland compositor allows no window; XWayland does. Asked for on the command line
    // rather than in the environment, so that programs started from here (the browser of
    // a link) still choose for themselves.
    std::vector<char*> qtArgs(argv, argv + argc);
    const CSessionFacts facts{
        [](const char* name) { return std::getenv(name); },
        std::vector<std::string>(argv + std::min(argc, 1), argv + argc),
        [](int display) { return platform::LocalXServerReachable(display, X_PROBE_TIMEOUT_MS); }};
    if (ShouldRunOnXWayland(facts)) {
        static char platformOption[] = "-platform";
        static char xcb[] = "xcb";
        qtArgs.insert(qtArgs.begin() + std::min(argc, 1), {platformOption, xcb});
    }
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);

    QApplication app(qtArgc, qtArgs.data());
    QApplication::setApplicationName(QStringLiteral("Orvantis"));
    QApplication::setQuitOnLastWindowClosed(false);

    g_boldFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    g_boldFont.setStyleHint(QFont::SansSerif);
    g_boldFont.setBold(true);
    g_boldFont.setPixelSize(12);

    int status = 0;
    {
        COrvantisDlg dlg;
        QObject::connect(&dlg, &COrvantisDlg::EndModal, &app, [&status](int code) {
            status = code;
            QCoreApplication::exit(code);
        });
        dlg.OnInitDialog();

        // A logout or kill asks the program to end: it ends like "Exit".
        const int termination = platform::TerminationRequestFd();
        QSocketNotifier* notifier = nullptr;
        if (termination >= 0) {
            notifier = new QSocketNotifier(termination, QSocketNotifier::Read, &dlg);
            QObject::connect(notifier, &QSocketNotifier::activated, &dlg,
                             [&dlg] { dlg.OnCommand(ID_TRAY_EXIT); });
        }

        // Qt has taken its own options out of argv by now.
        if (!IsSilentStart(CommandLineRest(qtArgc, qtArgs.data()))) {
            dlg.show();
        }
        QApplication::exec();
        if (!dlg.Shutdown()) {
            // An e-mail request is still stuck after its second: end without running the
            // static destructors that it may still use. The settings file is always
            // complete on disk, so nothing is lost.
            std::fflush(nullptr);
            std::_Exit(status);
        }
    }
    return status;
}
