// SPDX-License-Identifier: MIT
#include "desktop/CXEmbedTrayIcon.h"

#include "desktop/X11Util.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <xcb/xcb.h>

namespace {
// Qt's X11 platform docks a window of this name (its window is named after the widget
// with "Window" added) into the system tray instead of mapping it on the desktop.
const QString DOCKED_WINDOW_NAME = QStringLiteral("QSystemTrayIconSys");
// What trays that do not say otherwise give an icon.
constexpr int ICON_SIZE = 22;
constexpr std::uint32_t SYSTEM_TRAY_REQUEST_DOCK = 0;

void RequestDock(std::uint32_t tray, std::uint32_t window) {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr || tray == 0) {
        return;
    }
    SendClientMessage(connection, tray, tray, InternAtom(connection, "_NET_SYSTEM_TRAY_OPCODE"),
                      {XCB_CURRENT_TIME, SYSTEM_TRAY_REQUEST_DOCK, window},
                      XCB_EVENT_MASK_NO_EVENT);
    xcb_flush(connection);
}
} // namespace

CXEmbedTrayIcon::CXEmbedTrayIcon(QObject* parent)
    : QObject(parent),
      m_window(std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                                      Qt::BypassWindowManagerHint)) {
    m_window->setObjectName(DOCKED_WINDOW_NAME);
    m_window->setAttribute(Qt::WA_AlwaysShowToolTips);
    m_window->setAttribute(Qt::WA_QuitOnClose, false);
    m_window->setAttribute(Qt::WA_TranslucentBackground);
    m_window->setGeometry(0, 0, ICON_SIZE, ICON_SIZE);
    m_window->setMinimumSize(ICON_SIZE, ICON_SIZE);
    m_window->installEventFilter(this);
}

CXEmbedTrayIcon::~CXEmbedTrayIcon() {
    m_window->removeEventFilter(this);
}

void CXEmbedTrayIcon::Show(std::uint32_t tray) {
    if (tray == m_tray) {
        return;
    }
    m_tray = tray;
    // The window is made now; Qt maps it when the tray says it took it in.
    RequestDock(tray, static_cast<std::uint32_t>(m_window->winId()));
    m_window->show();
}

void CXEmbedTrayIcon::SetIcon(const QIcon& icon) {
    m_icon = icon;
    m_window->update();
}

void CXEmbedTrayIcon::SetTip(const QString& tip) {
    m_window->setToolTip(tip);
}

bool CXEmbedTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window.get()) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(m_window.get());
        m_icon.paint(&painter, m_window->rect());
        return true;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const bool released = event->type() == QEvent::MouseButtonRelease;
        if (mouse->button() == Qt::LeftButton) {
            emit Clicked(released ? TrayClick::Left : TrayClick::Double);
        } else if (released && mouse->button() == Qt::RightButton) {
            emit Clicked(TrayClick::Right);
        } else if (released && mouse->button() == Qt::MiddleButton) {
            emit Clicked(TrayClick::Middle);
        }
        return true;
    }
    default:
        return false;
    }
}
