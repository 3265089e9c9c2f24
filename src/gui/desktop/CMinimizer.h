// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

// Minimises a window where there is no tray to hide it in, so that the program's idea of
// the window's state never parts from the window manager's: the window carries the
// minimise hint mutter asks for, and a minimise the window manager refused or undid is
// no longer believed, so the next "Minimize" or "Open Main Window" still acts.
class CMinimizer final : public QObject {
    Q_OBJECT
public:
    explicit CMinimizer(QWidget* window);
    Q_DISABLE_COPY(CMinimizer)

    void Minimize();

private:
    void Check();

    QWidget* m_window;
    QTimer m_check;
};
