// SPDX-License-Identifier: MIT
#include "gui/app/InstanceServer.h"

#include "core/app/InstanceProtocol.h"
#include "platform/Platform.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>

namespace {
constexpr int MAX_CONNECTIONS = 8;
constexpr int IDLE_TIMEOUT_MS = 3000;
// A second start takes answers of up to 255 bytes.
constexpr std::size_t MAX_ERROR_TEXT = 200;
} // namespace

CInstanceServer::CInstanceServer(std::function<quintptr()> mainWindowId,
                                 std::function<void(const QByteArray&)> open, QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)), m_mainWindowId(std::move(mainWindowId)),
      m_open(std::move(open)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(MAX_CONNECTIONS);
    connect(m_server, &QLocalServer::newConnection, this, &CInstanceServer::OnNewConnection);
}

CInstanceServer::~CInstanceServer() = default;

bool CInstanceServer::Listen(const QString& socketPath) {
    if (m_server->listen(socketPath)) {
        return true;
    }
    QLocalServer::removeServer(socketPath);
    return m_server->listen(socketPath);
}

void CInstanceServer::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // Only this user's processes may talk to the instance.
        if (platform::PeerUserId(socket->socketDescriptor()) != platform::CurrentUserId()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Only a few at a time; connections that hold a place without asking anything give
        // it up, the longest waiting first, so that a second start or a status bar is
        // always answered.
        if (m_waiting.size() >= MAX_CONNECTIONS) {
            QLocalSocket* longest = m_waiting.takeFirst();
            longest->abort();
            longest->deleteLater();
        }
        m_waiting.append(socket);
        auto* idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
        idle->start(IDLE_TIMEOUT_MS);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_waiting.removeOne(socket);
            socket->deleteLater();
        });
    }
}

void CInstanceServer::OnReadyRead(QLocalSocket* socket) {
    if (socket->state() != QLocalSocket::ConnectedState) {
        return; // answered and closing
    }
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > INSTANCE_MAX_LINE) {
            socket->abort();
        }
        return;
    }
    const QByteArray line = socket->readLine(INSTANCE_MAX_LINE + 1);
    if (!line.endsWith('\n')) {
        socket->abort();
        return;
    }
    // Asked: its place is no longer open to the next newcomer.
    m_waiting.removeOne(socket);
    HandleLine(socket, line.chopped(1));
    // One request a connection: closed once its answer is out.
    if (socket->state() == QLocalSocket::ConnectedState) {
        socket->disconnectFromServer();
    }
}

void CInstanceServer::HandleLine(QLocalSocket* socket, const QByteArray& line) {
    if (line == INSTANCE_REQUEST_MAINWND) {
        const quintptr id = m_mainWindowId ? m_mainWindowId() : 0;
        socket->write(INSTANCE_ANSWER_MAINWND + QByteArray::number(static_cast<qulonglong>(id)) +
                      '\n');
        return;
    }
    if (line == INSTANCE_REQUEST_STATUS && m_status) {
        socket->write(QByteArray::fromStdString(EncodeStatusAnswer(m_status())) + '\n');
        return;
    }
    if (line.startsWith(INSTANCE_REQUEST_HISTORY) && m_history && OpenHistory(socket, line)) {
        return;
    }
    if (line.startsWith(INSTANCE_REQUEST_COMMAND)) {
        bool ok = false;
        const int id = line.mid(static_cast<int>(qstrlen(INSTANCE_REQUEST_COMMAND))).toInt(&ok);
        if (ok && id == ID_TRAY_OPEN) {
            Open(socket, {});
            return;
        }
    }
    if (const std::optional<CommandVerb> verb =
            DecodeVerbRequest(std::string_view(line.constData(), line.size()));
        verb && m_verb) {
        RunVerb(socket, *verb);
        return;
    }
    if (line.startsWith(INSTANCE_REQUEST_OPEN)) {
        const QByteArray token = line.mid(static_cast<int>(qstrlen(INSTANCE_REQUEST_OPEN)));
        if (IsActivationToken(std::string_view(token.constData(), token.size()))) {
            Open(socket, token);
            return;
        }
    }
    socket->abort();
}

bool CInstanceServer::OpenHistory(QLocalSocket* socket, const QByteArray& line) {
    QByteArray token = line.mid(static_cast<int>(qstrlen(INSTANCE_REQUEST_HISTORY)));
    if (!token.isEmpty()) {
        if (!token.startsWith(' ')) {
            return false;
        }
        token.remove(0, 1);
        if (!IsActivationToken(std::string_view(token.constData(), token.size()))) {
            return false;
        }
    }
    socket->write("OK\n");
    socket->flush();
    m_history(token);
    return true;
}

void CInstanceServer::Open(QLocalSocket* socket, const QByteArray& token) {
    // Answered first: the second start is not kept waiting while the window comes up.
    socket->write("OK\n");
    socket->flush();
    if (m_open) {
        m_open(token);
    }
}

void CInstanceServer::RunVerb(QLocalSocket* socket, const CommandVerb& verb) {
    std::string error = m_verb(verb);
    if (error.empty()) {
        socket->write("OK\n");
        return;
    }
    // One line, and short enough for the second start to take.
    std::replace_if(
        error.begin(), error.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    error.resize(std::min<std::size_t>(error.size(), MAX_ERROR_TEXT));
    socket->write(QByteArray("ERR ") + QByteArray::fromStdString(error) + '\n');
}
