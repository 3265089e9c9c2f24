// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <cstdint>

class QWidget;
struct xcb_connection_t;

// The little the desktop windows need of X11 beyond Qt. Every call does nothing (or
// answers null) when the program does not run on an X server.

// The application's X connection, or null.
xcb_connection_t* X11Connection();

// The atom of that name, or 0.
std::uint32_t InternAtom(xcb_connection_t* connection, const QByteArray& name);

// Asks taskbars and pagers (and so task switchers) to leave the window out. Call it
// before the window is first shown: the window manager reads the state when it maps it.
void SkipTaskbarAndPager(QWidget* window);
