// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <optional>

class QTimer;
class QWidget;

// sway maps an X window as a new floating container each time it is shown, centred, and
// centres it again at each configure request: a window hidden and shown again cannot put
// itself back where it was. This one watches a window and, once the compositor has placed
// it after a show, asks the compositor through its IPC socket (the i3 protocol) to move it
// back by as much as it placed it off. It does nothing unless the program runs through
// XWayland under a compositor that names its socket in SWAYSOCK or I3SOCK.
class CSwayPlaceKeeper final : public QObject {
    Q_OBJECT
public:
    explicit CSwayPlaceKeeper(QWidget* window);
    Q_DISABLE_COPY(CSwayPlaceKeeper)

    // How long after a show the compositor's placement is waited for. One that leaves the
    // window where it was moves nothing, and a move the user makes later is the user's.
    static constexpr int PLACEMENT_WAIT_MS = 3000;
    // How long the compositor may take to take the request and answer it.
    static constexpr int ANSWER_WAIT_MS = 5000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnPlaced();
    void SendCommand(const QByteArray& command);

    QWidget* m_window;
    QString m_socketPath;
    // Where the window was when it was hidden, while its next placement is awaited.
    std::optional<QPoint> m_hiddenAt;
    bool m_awaitingPlacement = false;
    QTimer* m_placementWait;
};
