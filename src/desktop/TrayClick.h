// SPDX-License-Identifier: MIT
#pragma once

// A click on the program's tray icon, as an icon of either kind reports it. The tray
// class turns it into the numbers its rules go by.
enum class TrayClick {
    Left,
    Right,
    Middle,
    Double, // a double click of the left button
};
