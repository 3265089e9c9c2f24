// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>

// The exchange by which a second start hands over to the running instance, over a
// per-user local socket: ask for the main window, then send it the open command.
inline constexpr const char* INSTANCE_LOCK_NAME = "Tamberlo_Orvantis_g9jdiwikd.lock";
inline constexpr const char* INSTANCE_SOCKET_NAME = "Tamberlo-Orvantis-TrayWnd-32JEZMR5";

inline constexpr const char* INSTANCE_REQUEST_MAINWND = "GETMAINWND"; // -> "MAINWND <id>"
inline constexpr const char* INSTANCE_ANSWER_MAINWND = "MAINWND ";
inline constexpr const char* INSTANCE_REQUEST_COMMAND = "COMMAND "; // + id -> "OK"
// "Open Main Window" with the activation token of the second start, which lets the window
// come to the front: + token -> "OK". A first instance that does not know it drops the
// connection, and the second start sends the plain command instead.
inline constexpr const char* INSTANCE_REQUEST_OPEN = "OPEN ";
// -> "STATUS <class> <text> <tooltip>" (InstanceStatus.h), for status bars
inline constexpr const char* INSTANCE_REQUEST_STATUS = "STATUS";
// A verb of the command line for the running instance ("snooze 60", "resume", "history"):
// + verb and its argument -> "OK", or "ERR " and a message for the user. A first instance
// that does not know the request drops the connection.
inline constexpr const char* INSTANCE_REQUEST_VERB = "VERB ";
// "Price history": opens the history window, + " " + activation token or nothing -> "OK".
inline constexpr const char* INSTANCE_REQUEST_HISTORY = "HISTORY";
inline constexpr int INSTANCE_MAX_LINE = 320;
inline constexpr std::size_t INSTANCE_MAX_TOKEN = 255;
// The longest answer a client takes; the status answer is the longest.
inline constexpr int INSTANCE_MAX_ANSWER = 1088;
// Where the lock and the socket go when no runtime folder is private to the user: this
// folder inside the settings folder, which is the user's own.
inline constexpr const char* INSTANCE_FALLBACK_FOLDER = "run";

// Whether text can be an activation token: printable ASCII without spaces, not too long.
constexpr bool IsActivationToken(std::string_view text) {
    if (text.empty() || text.size() > INSTANCE_MAX_TOKEN) {
        return false;
    }
    for (const char c : text) {
        if (c <= ' ' || c > '~') {
            return false;
        }
    }
    return true;
}

// Commands of the main window.
constexpr int ID_TRAY_OPEN = 32771; // "Open Main Window"
constexpr int ID_TRAY_EXIT = 32772; // "Exit(&X)"
