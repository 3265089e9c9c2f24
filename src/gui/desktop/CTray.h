// SPDX-License-Identifier: MIT
#pragma once

#include "gui/desktop/CSystemTray.h"

// The tray icon of the main window: a left click hides the main window into the tray or
// brings it back; while one of its modal dialogs is open, the window only comes forward.
class CTray final : public CSystemTray {
    Q_OBJECT
public:
    using CSystemTray::CSystemTray;
    Q_DISABLE_COPY(CTray)

    int OnIconNotify(int iconId, int mouseMessage) override;
};
