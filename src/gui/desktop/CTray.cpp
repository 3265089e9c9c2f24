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
        if (m_callBack.IsHeldByModal() || !window->isVisible()) {
            RestoreFromTray(window);
        } else {
            HideToTray(window);
        }
    }
    return CSystemTray::OnIconNotify(iconId, mouseMessage);
}
