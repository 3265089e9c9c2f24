// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QWidget>
#include <stdexcept>
#include <string>

// The control of that object name inside window, found the way a user finds it: by what
// it is, not by a member of the window. A missing control fails the test.
template <typename T = QWidget> T& Control(const QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no control ") + name);
    }
    return *found;
}

// The program's top-level window of that object name (the floating window).
template <typename T = QWidget> T& TopLevel(const char* name) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found && widget->objectName() == name) {
            return *found;
        }
    }
    throw std::runtime_error(std::string("no window ") + name);
}
