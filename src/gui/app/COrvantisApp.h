// SPDX-License-Identifier: MIT
#pragma once

#include "core/app/CommandVerbs.h"
#include "net/qt/QtHttpTransport.h"
#include "platform/Platform.h"

#include <optional>
#include <string>

// Starts the process and ends it: fixes the paths, makes sure only one instance runs
// (a second start hands over to the first and ends), creates the main window and runs
// it until the user exits.
class COrvantisApp final {
public:
    COrvantisApp() = default;
    COrvantisApp(const COrvantisApp&) = delete;
    COrvantisApp& operator=(const COrvantisApp&) = delete;

    // Returns the process's exit status.
    int Run(int argc, char* argv[]);

    // The second-instance path: asks the running instance for its main window and, when
    // it has one, sends it "Open Main Window" with the activation token of this start
    // (empty for none). Silent when the first is not reachable.
    static bool HandOverToFirstInstance(const std::string& socketPath,
                                        const std::string& activationToken = {});
    // The second-instance path of "orvantis --history": asks the running instance to
    // open its history window. False when it is not reachable or refuses.
    static bool HandOverHistory(const std::string& socketPath,
                                const std::string& activationToken = {});
    // The activation token the launcher gave this start, or empty.
    static std::string ActivationToken();

    // Exit statuses besides 0.
    static constexpr int EXIT_NO_LOCK = 1; // no single-instance lock can be had
    // A server variable is not a server, or the stale limit not a number of seconds.
    static constexpr int EXIT_BAD_ENVIRONMENT = 2;
    // A verb of the command line with a bad argument: nothing was done.
    static constexpr int EXIT_BAD_ARGUMENT = 2;
    // A verb that could not be carried out (the settings file cannot be written).
    static constexpr int EXIT_VERB_FAILED = 1;

private:
    static constexpr int EXIT_RUN = -1; // not an exit: go on and run

    void FixPaths();
    // Fixes g_strRuntimeDir and takes the lock there; EXIT_RUN when this is the one
    // instance, else the status to end with (after handing over to the running one).
    int TakeInstanceLock();
    // A verb for the running instance: the status to end with.
    static int HandVerbToFirstInstance(const std::string& socketPath, const CommandVerb& verb);
    // A verb with no instance running: carried out on the settings file, or EXIT_RUN when
    // it needs the program itself.
    static int RunVerbHere(const CommandVerb& verb);

    platform::CInstanceLock m_instanceLock;
    std::optional<CommandVerb> m_verb;
    bool m_historyStart = false; // started as "orvantis --history"
    // The downloads' and the e-mail requests' HTTP, for as long as any thread may use it.
    CQtHttpTransport m_transport;
};
