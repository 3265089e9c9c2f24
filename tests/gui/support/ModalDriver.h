// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <functional>

// Drives a modal dialog from inside its own event loop, the way a user would: the test
// arms the driver, then calls the code that runs the dialog. When the next modal dialog
// of the program is open (or a dialog already open becomes the top one), `drive` runs
// with it and must end it (accept, reject, a click or a key). Nothing happens when no
// dialog opens within timeoutMs; Fired() tells whether one did.
class CModalDriver final {
public:
    using Drive = std::function<void(QDialog& dialog)>;

    CModalDriver() = default;
    ~CModalDriver();
    CModalDriver(const CModalDriver&) = delete;
    CModalDriver& operator=(const CModalDriver&) = delete;

    // Drives the next dialog that is modal and not below `after` (or any, when null).
    void Arm(Drive drive, const QDialog* after = nullptr, int timeoutMs = 5000);
    bool Fired() const { return m_fired; }

private:
    struct Watch;
    Watch* m_watch = nullptr;
    bool m_fired = false;
};
