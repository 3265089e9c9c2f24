// SPDX-License-Identifier: MIT
#include "desktop/X11Util.h"

#include <QGuiApplication>
#include <QRegion>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <vector>
#include <xcb/shape.h>
#include <xcb/xcb.h>

namespace {
// EWMH: the source of a request that a user action stands behind, as a pager's.
constexpr std::uint32_t SOURCE_PAGER = 2;

xcb_window_t RootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// A property of 32-bit values of that type (atoms, windows); empty when it is another.
std::vector<std::uint32_t> PropertyList(xcb_connection_t* connection, xcb_window_t window,
                                        xcb_atom_t property, xcb_atom_t type) {
    // Longer lists than this are cut: 4 bytes a value, a few thousand windows.
    constexpr std::uint32_t MOST_VALUES = 16384;
    std::vector<std::uint32_t> values;
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, property, type, 0, MOST_VALUES);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr)) {
        if (reply->format == 32 && reply->type == type) {
            const auto* first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
            values.assign(first, first + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
    }
    return values;
}

std::vector<xcb_atom_t> AtomList(xcb_connection_t* connection, xcb_window_t window,
                                 xcb_atom_t property) {
    return PropertyList(connection, window, property, XCB_ATOM_ATOM);
}

void SetAtomList(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                 const std::vector<xcb_atom_t>& atoms) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_ATOM, 32,
                        static_cast<std::uint32_t>(atoms.size()), atoms.data());
}

// Whether the window manager restacks on request (_NET_RESTACK_WINDOW). Asked at every
// raise, not once: a window manager may come up after the program, or be replaced.
bool ManagerRestacks(xcb_connection_t* connection) {
    const std::vector<xcb_atom_t> supported =
        AtomList(connection, RootWindow(connection), InternAtom(connection, "_NET_SUPPORTED"));
    const xcb_atom_t restack = InternAtom(connection, "_NET_RESTACK_WINDOW");
    return restack != XCB_ATOM_NONE &&
           std::find(supported.begin(), supported.end(), restack) != supported.end();
}
} // namespace

WindowRoute CurrentWindowRoute() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        // Xwayland names its outputs XWAYLAND0, XWAYLAND1 ...
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->name().startsWith(QLatin1String("XWAYLAND"))) {
                return WindowRoute::XWayland;
            }
        }
        return WindowRoute::X11;
    }
    return platform.startsWith(QLatin1String("wayland")) ? WindowRoute::Wayland
                                                         : WindowRoute::Other;
}

xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

std::uint32_t InternAtom(xcb_connection_t* connection, const QByteArray& name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.constData());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    if (reply == nullptr) {
        return XCB_ATOM_NONE;
    }
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

void SendClientMessage(xcb_connection_t* connection, std::uint32_t receiver, std::uint32_t window,
                       std::uint32_t type, std::initializer_list<std::uint32_t> values,
                       std::uint32_t mask) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    std::copy_n(values.begin(), std::min<std::size_t>(values.size(), 5), event.data.data32);
    xcb_send_event(connection, 0, receiver != 0 ? receiver : RootWindow(connection), mask,
                   reinterpret_cast<const char*>(&event));
}

void PrepareFloatingWindow(WId window) {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr || window == 0) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window);
    // Qt adds its own states (above all others) to what it finds here when it maps the
    // window.
    const xcb_atom_t state = InternAtom(connection, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states = AtomList(connection, id, state);
    for (const char* name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t atom = InternAtom(connection, name);
        if (atom != XCB_ATOM_NONE &&
            std::find(states.begin(), states.end(), atom) == states.end()) {
            states.push_back(atom);
        }
    }
    SetAtomList(connection, id, state, states);
    // The first type a window manager knows counts; the utility type is Qt's own.
    SetAtomList(connection, id, InternAtom(connection, "_NET_WM_WINDOW_TYPE"),
                {InternAtom(connection, "_NET_WM_WINDOW_TYPE_TOOLBAR"),
                 InternAtom(connection, "_NET_WM_WINDOW_TYPE_UTILITY")});
    xcb_flush(connection);
}

void RaiseWithoutActivating(WId window, bool managed) {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr || window == 0) {
        return;
    }
    const auto id = static_cast<xcb_window_t>(window);
    if (managed && ManagerRestacks(connection)) {
        // No sibling: above all of its layer.
        SendClientMessage(connection, 0, id, InternAtom(connection, "_NET_RESTACK_WINDOW"),
                          {SOURCE_PAGER, XCB_NONE, XCB_STACK_MODE_ABOVE},
                          XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY |
                              XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
    } else {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
    // Qt would hold the request back until it next sends something itself, which an idle
    // program may not do for minutes.
    xcb_flush(connection);
}

std::optional<StackPlace> PlaceInStack(WId window) {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr || window == 0) {
        return std::nullopt;
    }
    // The managed windows as the window manager stacks them, bottom first.
    const xcb_atom_t stacking = InternAtom(connection, "_NET_CLIENT_LIST_STACKING");
    const std::vector<std::uint32_t> clients =
        stacking == XCB_ATOM_NONE
            ? std::vector<std::uint32_t>()
            : PropertyList(connection, RootWindow(connection), stacking, XCB_ATOM_WINDOW);
    const auto at = std::find(clients.begin(), clients.end(), static_cast<std::uint32_t>(window));
    if (at == clients.end()) {
        return std::nullopt; // no window manager that says, or it does not manage the window
    }
    // A window above may move over this one without a restack: any of them counts.
    StackPlace place{{at + 1, clients.end()}, false};
    place.covered = !place.above.empty();
    return place;
}

void SetWindowShape(WId window, const QRegion& devicePixels) {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr || window == 0) {
        return;
    }
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(static_cast<std::size_t>(devicePixels.rectCount()));
    for (const QRect& r : devicePixels) {
        rects.push_back({static_cast<std::int16_t>(r.x()), static_cast<std::int16_t>(r.y()),
                         static_cast<std::uint16_t>(r.width()),
                         static_cast<std::uint16_t>(r.height())});
    }
    xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                         XCB_CLIP_ORDERING_UNSORTED, static_cast<xcb_window_t>(window), 0, 0,
                         static_cast<std::uint32_t>(rects.size()), rects.data());
    xcb_flush(connection);
}
