// SPDX-License-Identifier: MIT
#include "desktop/WindowActivation.h"

#include "desktop/X11Util.h"

#include <cstdlib>
#include <xcb/xcb.h>

namespace {
// EWMH: a request from the application itself; the window manager weighs its timestamp.
constexpr std::uint32_t SOURCE_APPLICATION = 1;
// ICCCM WM_STATE.
constexpr std::uint32_t ICONIC_STATE = 3;
// One _NET_STARTUP_INFO message carries 20 bytes.
constexpr int STARTUP_INFO_CHUNK = 20;

xcb_window_t RootOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// The X server time of the launch, which a startup id carries after "_TIME"; 0 when it
// carries none.
std::uint32_t LaunchTime(const QByteArray& token) {
    const qsizetype at = token.lastIndexOf("_TIME");
    if (at < 0) {
        return 0;
    }
    bool ok = false;
    const qulonglong time = token.mid(at + 5).toULongLong(&ok);
    return ok && time <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(time) : 0;
}

void SendToRoot(xcb_connection_t* connection, xcb_client_message_event_t& event,
                std::uint32_t mask) {
    event.response_type = XCB_CLIENT_MESSAGE;
    xcb_send_event(connection, 0, RootOf(connection), mask, reinterpret_cast<const char*>(&event));
}

// Ends the launch feedback (the busy cursor, the launcher's spinner) of that startup id,
// in the startup-notification protocol's 20-byte pieces.
void EndLaunchFeedback(xcb_connection_t* connection, xcb_window_t window, const QByteArray& id) {
    QByteArray message = "remove: ID=" + id;
    message.append('\0');
    const xcb_atom_t begin = InternAtom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = InternAtom(connection, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < message.size(); at += STARTUP_INFO_CHUNK) {
        xcb_client_message_event_t event{};
        event.format = 8;
        event.window = window;
        event.type = at == 0 ? begin : more;
        const QByteArray piece = message.mid(at, STARTUP_INFO_CHUNK);
        std::copy(piece.begin(), piece.end(), event.data.data8);
        SendToRoot(connection, event, XCB_EVENT_MASK_PROPERTY_CHANGE);
    }
}

void ActivateOnX11(xcb_connection_t* connection, QWindow* window, const QByteArray& token) {
    const auto id = static_cast<xcb_window_t>(window->winId());
    // A window manager that knows the launch (mutter, KWin) activates a window whose startup
    // id changes to it; others go by the launch time of the request below.
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id,
                        InternAtom(connection, "_NET_STARTUP_ID"),
                        InternAtom(connection, "UTF8_STRING"), 8,
                        static_cast<std::uint32_t>(token.size()), token.constData());
    if (const std::uint32_t time = LaunchTime(token); time != 0 && window->isVisible()) {
        SendClientMessage(connection, 0, id, InternAtom(connection, "_NET_ACTIVE_WINDOW"),
                          {SOURCE_APPLICATION, time},
                          XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                              XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
    }
    EndLaunchFeedback(connection, id, token);
    xcb_flush(connection);
}
} // namespace

void ActivateWithToken(QWindow* window, const QByteArray& token) {
    if (window == nullptr || token.isEmpty()) {
        return;
    }
    if (xcb_connection_t* connection = X11Connection()) {
        ActivateOnX11(connection, window, token);
        return;
    }
    if (CurrentWindowRoute() == WindowRoute::Wayland) {
        // Qt's Wayland activation takes the token of the environment once, at the next
        // activation request.
        qputenv("XDG_ACTIVATION_TOKEN", token);
        window->requestActivate();
    }
}

void AllowMinimize(QWindow* handle) {
    if (handle != nullptr && !(handle->flags() & Qt::WindowMinimizeButtonHint)) {
        // On the native window only: the widget's own flags would make Qt create it anew.
        handle->setFlags(handle->flags() | Qt::WindowMinimizeButtonHint);
    }
}

bool MinimizeRefused(WId window) {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr || window == 0) {
        return false;
    }
    const xcb_atom_t wmState = InternAtom(connection, "WM_STATE");
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window), wmState, wmState, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (reply == nullptr) {
        return false;
    }
    const bool iconic =
        reply->format == 32 && xcb_get_property_value_length(reply) >= 4 &&
        *static_cast<const std::uint32_t*>(xcb_get_property_value(reply)) == ICONIC_STATE;
    const bool managed = reply->type != XCB_ATOM_NONE;
    std::free(reply);
    return managed && !iconic;
}
