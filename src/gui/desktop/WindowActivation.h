// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

class QWidget;

// What the main window asks of the compositor or window manager beyond Qt when a second
// start brings it back.

// Brings the window to the front with the activation token of the start the user made:
// a startup id (DESKTOP_STARTUP_ID) on X11, an XDG activation token on Wayland. Focus
// stealing prevention lets a window through with the token of a launch the user just
// made, where a plain request of a program in the background only makes the window
// demand attention. An empty token does nothing.
void ActivateWithToken(QWidget* window, const QByteArray& token);
