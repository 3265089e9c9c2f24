// SPDX-License-Identifier: MIT
#pragma once

#include "core/app/CommandVerbs.h"
#include "core/app/InstanceStatus.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <functional>

class QLocalServer;
class QLocalSocket;

// The running instance's end of the hand-over: a local socket that only this user can
// reach, answering the main-window question and carrying commands to the main window.
class CInstanceServer final : public QObject {
    Q_OBJECT
public:
    // mainWindowId: the main window's id, 0 when there is none; open: "Open Main Window",
    // with the second start's activation token (empty when it sent none).
    CInstanceServer(std::function<quintptr()> mainWindowId,
                    std::function<void(const QByteArray&)> open, QObject* parent = nullptr);
    ~CInstanceServer() override;
    Q_DISABLE_COPY(CInstanceServer)

    // Listens on socketPath, replacing a socket left behind by a killed instance (the
    // caller holds the instance lock, so no live instance owns it).
    bool Listen(const QString& socketPath);

    // What the status request is answered with; without it the request is refused.
    void SetStatusSource(std::function<InstanceStatus()> status) { m_status = std::move(status); }
    // What carries out a verb of a second start: empty when done, else why not. Without
    // it verbs are refused.
    void SetVerbHandler(std::function<std::string(const CommandVerb&)> handler) {
        m_verb = std::move(handler);
    }
    // What opens the price history window, handed the activation token (maybe empty).
    void SetHistoryOpener(std::function<void(const QByteArray&)> open) {
        m_history = std::move(open);
    }

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    void HandleLine(QLocalSocket* socket, const QByteArray& line);
    void Open(QLocalSocket* socket, const QByteArray& token);
    void RunVerb(QLocalSocket* socket, const CommandVerb& verb);
    // Answers a history request and opens the window; false for a malformed one.
    bool OpenHistory(QLocalSocket* socket, const QByteArray& line);

    QLocalServer* m_server;
    std::function<quintptr()> m_mainWindowId;
    std::function<void(const QByteArray&)> m_open;
    std::function<InstanceStatus()> m_status;
    std::function<std::string(const CommandVerb&)> m_verb;
    std::function<void(const QByteArray&)> m_history;
    // Connected and not yet asked anything, the longest waiting first.
    QList<QLocalSocket*> m_waiting;
};
