// SPDX-License-Identifier: MIT
#include "gui/desktop/CTray.h"

#include "core/common/Globals.h"

#include <QWidget>

int CTray::OnIconNotify(int iconId, int mouseMessage) {
    const int message = mouseMessage & 0xFFFF;
    // The double click itself does nothing; each of its clicks counts on its own.
    if (iconId != IDR_TRAY || message == WM_LBUTTONDBLCLK) {
        return 0;
    }
    QWidget* window = m_callBack.TrayMainWindow();
    if (g_pMainDlg.load() != nullptr && window != nullptr && message == WM_LBUTTONUP) {
        // A window the window manager minimised (its own button) is out of sight too: the
        // click brings it back rather than hiding it from the task bar as well.
        if (m_callBack.IsHeldByModal() || !window->isVisible() || window->isMinimized()) {
            RestoreFromTray(window);
        } else {
            HideToTray(window);
        }
    }
    return CSystemTray::OnIconNotify(iconId, mouseMessage);
}
