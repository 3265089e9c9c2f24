// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QWindow>

// What the main window asks of the compositor or window manager beyond Qt, when a second
// start brings it back or the user minimises it without a tray.

// Brings the window to the front with the activation token of the start the user made:
// a startup id (DESKTOP_STARTUP_ID) on X11, an XDG activation token on Wayland. Focus
// stealing prevention lets a window through with the token of a launch the user just
// made, where a plain request of a program in the background only makes the window
// demand attention. An empty token does nothing.
void ActivateWithToken(QWindow* window, const QByteArray& token);

// Marks the window as one that may be minimised: mutter refuses to minimise an X11 window
// that has no minimise button in its hints, and Qt would then believe it minimised.
void AllowMinimize(QWindow* window);

// True when the window manager manages the window and keeps it out of the iconic state:
// asked of a window Qt believes minimised and visible, the window manager refused or undid
// the minimise. Only X11 says; elsewhere false.
bool MinimizeRefused(WId window);
