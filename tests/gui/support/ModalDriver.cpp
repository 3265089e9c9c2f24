// SPDX-License-Identifier: MIT
#include "ModalDriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

struct CModalDriver::Watch {
    QTimer timer;
    QElapsedTimer age;
};

CModalDriver::~CModalDriver() {
    delete m_watch;
}

void CModalDriver::Arm(Drive drive, const QDialog* after, int timeoutMs) {
    delete m_watch;
    m_watch = new Watch;
    m_fired = false;
    m_watch->age.start();
    // Polled from whichever event loop runs: the dialog's own once it is open.
    QObject::connect(&m_watch->timer, &QTimer::timeout, [this, drive, after, timeoutMs] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog != after && dialog->isVisible()) {
            m_watch->timer.stop();
            m_fired = true;
            drive(*dialog);
        } else if (m_watch->age.elapsed() > timeoutMs) {
            m_watch->timer.stop();
        }
    });
    m_watch->timer.start(10);
}
