// SPDX-License-Identifier: MIT
#include "gui/desktop/CMinimizer.h"

#include "desktop/WindowActivation.h"

#include <QWidget>

namespace {
// How long a window manager may take to minimise the window before it counts as refused.
constexpr int MINIMIZE_CHECK_MS = 1000;
} // namespace

CMinimizer::CMinimizer(QWidget* window) : QObject(window), m_window(window) {
    m_check.setSingleShot(true);
    m_check.setInterval(MINIMIZE_CHECK_MS);
    connect(&m_check, &QTimer::timeout, this, &CMinimizer::Check);
}

void CMinimizer::Minimize() {
    AllowMinimize(m_window->windowHandle());
    // Qt counts the window minimised as soon as it asks: a window that is in fact still on
    // screen is asked again.
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->showMinimized();
    m_check.start();
}

void CMinimizer::Check() {
    // A window manager that refuses leaves the window as it was and says nothing.
    if (m_window->isMinimized() && m_window->isVisible() && MinimizeRefused(m_window->winId())) {
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    }
}
