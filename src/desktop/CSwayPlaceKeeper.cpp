// SPDX-License-Identifier: MIT
#include "desktop/CSwayPlaceKeeper.h"

#include "desktop/X11Util.h"

#include <QEvent>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr char IPC_MAGIC[] = "i3-ipc";
constexpr std::uint32_t IPC_RUN_COMMAND = 0;
// The answer is never read: a few bytes of it say the request was taken.
constexpr qint64 ANSWER_READ_LIMIT = 256;

QString CompositorSocket() {
    for (const char* name : {"SWAYSOCK", "I3SOCK"}) {
        const QString path = qEnvironmentVariable(name);
        if (path.startsWith(QLatin1Char('/'))) {
            return path;
        }
    }
    return {};
}

// A message of the i3 protocol: the magic, the payload's length and the message type in the
// machine's byte order, then the payload.
QByteArray IpcMessage(std::uint32_t type, const QByteArray& payload) {
    const std::uint32_t header[] = {static_cast<std::uint32_t>(payload.size()), type};
    QByteArray message(IPC_MAGIC, sizeof IPC_MAGIC - 1);
    message.append(reinterpret_cast<const char*>(header), sizeof header);
    return message + payload;
}

// Only a floating window is moved: one the user tiles would move within the tiling.
QByteArray MoveCommand(quintptr window, QPoint by) {
    QByteArrayList moves;
    if (by.x() != 0) {
        moves.append((by.x() > 0 ? "move right " : "move left ") +
                     QByteArray::number(std::abs(by.x())) + " px");
    }
    if (by.y() != 0) {
        moves.append((by.y() > 0 ? "move down " : "move up ") +
                     QByteArray::number(std::abs(by.y())) + " px");
    }
    return "[id=" + QByteArray::number(window) + " floating] " + moves.join(", ");
}

// The compositor counts in the display's pixels, finer than Qt's at a ratio above 1.
QPoint DevicePixels(QPoint point, qreal ratio) {
    return QPoint(qRound(point.x() * ratio), qRound(point.y() * ratio));
}
} // namespace

CSwayPlaceKeeper::CSwayPlaceKeeper(QWidget* window)
    : QObject(window), m_window(window), m_placementWait(new QTimer(this)) {
    m_placementWait->setSingleShot(true);
    m_placementWait->setInterval(PLACEMENT_WAIT_MS);
    connect(m_placementWait, &QTimer::timeout, this, [this] {
        m_awaitingPlacement = false;
        m_hiddenAt.reset();
    });
    if (CurrentWindowRoute() == WindowRoute::XWayland) {
        m_socketPath = CompositorSocket();
    }
    if (!m_socketPath.isEmpty()) {
        window->installEventFilter(this);
    }
}

bool CSwayPlaceKeeper::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window) {
        return false;
    }
    // The program hides and shows the window; the compositor's placement is a move it made.
    switch (event->type()) {
    case QEvent::Hide:
        if (!event->spontaneous()) {
            m_hiddenAt = m_window->pos();
            m_awaitingPlacement = false;
            m_placementWait->stop();
        }
        break;
    case QEvent::Show:
        if (!event->spontaneous() && m_hiddenAt) {
            m_awaitingPlacement = true;
            m_placementWait->start();
        }
        break;
    case QEvent::Move:
        // Before it maps the window, the compositor leaves it where it was hidden.
        if (event->spontaneous() && m_awaitingPlacement && m_window->pos() != m_hiddenAt) {
            OnPlaced();
        }
        break;
    default:
        break;
    }
    return false;
}

void CSwayPlaceKeeper::OnPlaced() {
    m_awaitingPlacement = false;
    m_placementWait->stop();
    const qreal ratio = m_window->devicePixelRatioF();
    const QPoint by = DevicePixels(*m_hiddenAt, ratio) - DevicePixels(m_window->pos(), ratio);
    m_hiddenAt.reset();
    if (!by.isNull()) {
        SendCommand(MoveCommand(m_window->winId(), by));
    }
}

void CSwayPlaceKeeper::SendCommand(const QByteArray& command) {
    // Asynchronous throughout: a compositor that is gone, refuses, never answers or answers
    // anything only leaves the window where it put it.
    auto* socket = new QLocalSocket(this);
    socket->setReadBufferSize(ANSWER_READ_LIMIT);
    const QByteArray message = IpcMessage(IPC_RUN_COMMAND, command);
    connect(socket, &QLocalSocket::connected, socket,
            [socket, message] { socket->write(message); });
    const auto done = [socket] {
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    };
    connect(socket, &QLocalSocket::readyRead, socket, done);
    connect(socket, &QLocalSocket::disconnected, socket, done);
    connect(socket, &QLocalSocket::errorOccurred, socket, done);
    QTimer::singleShot(ANSWER_WAIT_MS, socket, done);
    socket->connectToServer(m_socketPath);
}
