// SPDX-License-Identifier: MIT
#include "gui/app/COrvantisApp.h"

#include "core/acquisition/PollStatus.h"
#include "core/alerts/AlertVerbs.h"
#include "core/app/CommandLine.h"
#include "core/app/DisplayChoice.h"
#include "core/app/InstanceProtocol.h"
#include "core/common/Globals.h"
#include "core/common/ServerConfig.h"
#include "core/settings/ProfileFile.h"
#include "gui/app/COrvantisDlg.h"
#include "gui/common/GuiGlobals.h"
#include "platform/common/WallClock.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <optional>
#include <thread>
#include <vector>

namespace {
constexpr int HAND_OVER_TIMEOUT_MS = 3000;
constexpr int X_PROBE_TIMEOUT_MS = 500;
} // namespace

void COrvantisApp::FixPaths() {
    g_strExePath = platform::ExecutablePath();
    const auto slash = g_strExePath.rfind('/');
    g_szExeDir = slash == std::string::npos ? std::string() : g_strExePath.substr(0, slash);
    g_strAppDataDir = platform::UserConfigDir() + "/" + APP_FOLDER_VENDOR + "/" + APP_FOLDER_NAME;
    platform::CreateFolderChain(g_strAppDataDir);
    g_strIniFile = g_strAppDataDir + "/gold.ini";
}

namespace {
// The request's answer line, or nothing when the instance is not reachable or refuses.
std::optional<std::string> Ask(const std::string& socketPath, const std::string& request) {
    std::string answer;
    if (!platform::LocalSocketExchange(socketPath, request + "\n", &answer, HAND_OVER_TIMEOUT_MS)) {
        return std::nullopt;
    }
    return answer;
}

bool HasMainWindow(const std::string& socketPath) {
    const std::optional<std::string> answer = Ask(socketPath, INSTANCE_REQUEST_MAINWND);
    const std::string prefix = INSTANCE_ANSWER_MAINWND;
    if (!answer || answer->compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    // "0" while the first instance has no main window (yet).
    const std::string id = answer->substr(prefix.size());
    return !id.empty() && id.find_first_not_of('0') != std::string::npos;
}

bool OpenWithToken(const std::string& socketPath, const std::string& token) {
    return IsActivationToken(token) &&
           Ask(socketPath, INSTANCE_REQUEST_OPEN + token) == std::string("OK");
}

// A first instance from before the token was handed over knows only the command.
bool OpenByCommand(const std::string& socketPath) {
    return Ask(socketPath, INSTANCE_REQUEST_COMMAND + std::to_string(ID_TRAY_OPEN)) ==
           std::string("OK");
}
} // namespace

bool COrvantisApp::HandOverHistory(const std::string& socketPath,
                                   const std::string& activationToken) {
    std::string request = INSTANCE_REQUEST_HISTORY;
    if (IsActivationToken(activationToken)) {
        request += " " + activationToken;
    }
    return Ask(socketPath, request) == std::string("OK");
}

bool COrvantisApp::HandOverToFirstInstance(const std::string& socketPath,
                                           const std::string& activationToken) {
    return HasMainWindow(socketPath) &&
           (OpenWithToken(socketPath, activationToken) || OpenByCommand(socketPath));
}

std::string COrvantisApp::ActivationToken() {
    // The launcher gives a start both where it can; the X11 startup id carries the launch
    // time, which window managers without a list of launches go by.
    for (const char* name : {"DESKTOP_STARTUP_ID", "XDG_ACTIVATION_TOKEN"}) {
        if (const char* token = std::getenv(name); token != nullptr && IsActivationToken(token)) {
            return token;
        }
    }
    return {};
}

int COrvantisApp::Run(int argc, char* argv[]) {
    // First thing: from here on a logout or kill ends the program like "Exit", also one
    // that comes before the window exists.
    const int termination = platform::TerminationRequestFd();

    // A mistyped server must not quietly send the user's data to the built-in one, nor a
    // mistyped stale limit quietly become ten minutes, nor a mistyped clock quietly the real one.
    for (const std::string& error :
         {ServerEnvironmentError(), StaleSecondsError(), WallClock::StartFromEnvironment()}) {
        if (!error.empty()) {
            std::fprintf(stderr, "orvantis: %s\n", error.c_str());
            return EXIT_BAD_ENVIRONMENT;
        }
    }

    const VerbParse verb =
        ParseCommandVerb(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (!verb.error.empty()) {
        std::fprintf(stderr, "orvantis: %s\n", verb.error.c_str());
        return EXIT_BAD_ARGUMENT;
    }
    m_verb = verb.verb;

    FixPaths();
    m_historyStart = IsHistoryStart(CommandLineRest(argc, argv));

    // Only one instance per user, and never none: the check needs no display, so a second
    // start ends without ever connecting to one.
    if (const int status = TakeInstanceLock(); status != EXIT_RUN) {
        return status;
    }
    // The font configuration takes about as long to load as the application object takes
    // to set up, and the main window cannot be laid out without it: it loads on another
    // core meanwhile, instead of afterwards.
    std::jthread fontConfiguration([] { FcInit(); });

    // Only now is this the one copy that writes the settings file.
    RemoveProfileLeftovers(g_strIniFile);
    if (platform::TerminationRequested()) {
        return 0;
    }
    if (m_verb) {
        if (const int status = RunVerbHere(*m_verb); status != EXIT_RUN) {
            return status;
        }
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
    // The launcher's name: task bars and Wayland compositors find the icon and name there.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tamberlo.Orvantis"));
    SetHttpTransport(m_transport);

    fontConfiguration.join();
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

        // A logout or kill asks the program to end.
        QSocketNotifier* notifier = nullptr;
        if (termination >= 0) {
            notifier = new QSocketNotifier(termination, QSocketNotifier::Read, &dlg);
            QObject::connect(notifier, &QSocketNotifier::activated, &dlg,
                             [&dlg] { dlg.OnEndSession(); });
        }

        // Qt has taken its own options out of argv by now. A start for the history
        // opens that window alone.
        const bool ending = platform::TerminationRequested();
        if (!ending && m_historyStart) {
            dlg.OnOpenHistory();
        } else if (!ending && !IsSilentStart(CommandLineRest(qtArgc, qtArgs.data()))) {
            dlg.show();
        }
        if (m_verb && m_verb->name == VERB_RULES) {
            QMetaObject::invokeMethod(&dlg, &COrvantisDlg::OnAlertRules, Qt::QueuedConnection);
        }
        QApplication::exec();
        dlg.Shutdown();
    }
    return status;
}

int COrvantisApp::TakeInstanceLock() {
    bool usedFallback = false;
    g_strRuntimeDir =
        platform::InstanceFolder(g_strAppDataDir + "/" + INSTANCE_FALLBACK_FOLDER, &usedFallback);
    if (g_strRuntimeDir.empty()) {
        std::fprintf(stderr,
                     "orvantis: no private folder for the single-instance lock (neither "
                     "$XDG_RUNTIME_DIR, /tmp/orvantis-%ld nor %s/%s); not starting\n",
                     platform::CurrentUserId(), g_strAppDataDir.c_str(), INSTANCE_FALLBACK_FOLDER);
        return EXIT_NO_LOCK;
    }
    if (usedFallback) {
        std::fprintf(stderr,
                     "orvantis: $XDG_RUNTIME_DIR and /tmp/orvantis-%ld are not private to this "
                     "user; the single-instance lock and socket are in %s\n",
                     platform::CurrentUserId(), g_strRuntimeDir.c_str());
    }
    switch (m_instanceLock.Acquire(g_strRuntimeDir + "/" + INSTANCE_LOCK_NAME)) {
    case platform::CInstanceLock::Result::Acquired:
        return EXIT_RUN;
    case platform::CInstanceLock::Result::HeldByAnother:
        if (m_verb) {
            return HandVerbToFirstInstance(g_strRuntimeDir + "/" + INSTANCE_SOCKET_NAME, *m_verb);
        }
        if (m_historyStart) {
            HandOverHistory(g_strRuntimeDir + "/" + INSTANCE_SOCKET_NAME, ActivationToken());
            return 0;
        }
        HandOverToFirstInstance(g_strRuntimeDir + "/" + INSTANCE_SOCKET_NAME, ActivationToken());
        return 0;
    case platform::CInstanceLock::Result::Unavailable:
        break;
    }
    std::fprintf(stderr, "orvantis: the single-instance lock in %s cannot be taken; not starting\n",
                 g_strRuntimeDir.c_str());
    return EXIT_NO_LOCK;
}

int COrvantisApp::HandVerbToFirstInstance(const std::string& socketPath, const CommandVerb& verb) {
    // The running copy is the one writer of the settings file: this start never writes it
    // behind its back, also when it does not answer.
    const std::optional<std::string> answer = Ask(socketPath, EncodeVerbRequest(verb));
    if (!answer) {
        std::fprintf(stderr, "orvantis: the running copy did not take --%s\n", verb.name.c_str());
        return EXIT_VERB_FAILED;
    }
    if (*answer == "OK") {
        return 0;
    }
    const std::string lead = "ERR ";
    std::fprintf(stderr, "orvantis: %s\n",
                 answer->compare(0, lead.size(), lead) == 0
                     ? answer->substr(lead.size()).c_str()
                     : "the running copy gave no answer that it understood");
    return EXIT_VERB_FAILED;
}

int COrvantisApp::RunVerbHere(const CommandVerb& verb) {
    const std::optional<std::string> error = RunSettingsVerb(verb);
    if (!error) {
        return EXIT_RUN;
    }
    if (!error->empty()) {
        std::fprintf(stderr, "orvantis: %s\n", error->c_str());
        return EXIT_VERB_FAILED;
    }
    return 0;
}
