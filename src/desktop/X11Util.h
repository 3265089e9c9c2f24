// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QWindow>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

class QRegion;
struct xcb_connection_t;

// The little the desktop windows need of X11 beyond Qt, for a window by its native id. Every call
// does nothing (or answers null) when the program does not run on an X server.

// How the program's windows reach the screen, which decides what a window may do there.
enum class WindowRoute {
    X11,      // an X server with an X window manager: places, stacking, shapes all honoured
    XWayland, // X11 inside a Wayland compositor, which manages X windows its own way
    Wayland,  // a Wayland compositor natively: it places windows and ignores shapes
    Other,    // no real display (offscreen)
};
WindowRoute CurrentWindowRoute();

// The application's X connection, or null.
xcb_connection_t* X11Connection();

// The atom of that name, or 0.
std::uint32_t InternAtom(xcb_connection_t* connection, const QByteArray& name);

// Sends a client message of type about window, with up to five 32-bit values, to the
// receiver (the root window when 0) for the clients selecting mask there.
void SendClientMessage(xcb_connection_t* connection, std::uint32_t receiver, std::uint32_t window,
                       std::uint32_t type, std::initializer_list<std::uint32_t> values,
                       std::uint32_t mask);

// Makes the window a torn-off toolbar of the program, left out of taskbars, pagers and task
// switchers. Window managers give such a window no focus and, unlike a utility window,
// never mark it as demanding attention when it appears while another program is active.
// Call it before the window is first shown: the window manager reads it when it maps it.
void PrepareFloatingWindow(WId window);

// Puts the window above its siblings without activating it, and sends the request at
// once. A managed window asks the window manager as a pager would, which it grants
// whichever program is active; a window the manager does not manage restacks itself.
void RaiseWithoutActivating(WId window, bool managed);

// Where a managed window lies in the stacking the window manager publishes on the root
// (_NET_CLIENT_LIST_STACKING): the windows above it, bottom first, and whether one may
// cover it.
struct StackPlace {
    std::vector<std::uint32_t> above;
    bool covered = false;
};
// Nullopt when nobody tells (no X connection, no window manager, the window not managed).
std::optional<StackPlace> PlaceInStack(WId window);

// Cuts the window to the region, given in the display's own pixels (finer than Qt's at
// a device pixel ratio above 1). An empty region leaves nothing of the window.
void SetWindowShape(WId window, const QRegion& devicePixels);
