// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariant>
#include <optional>

class QDBusPendingCallWatcher;

// One notification for the desktop's notification server.
struct DesktopNotification {
    QString appName;
    QString appIcon; // an icon name or an absolute file path
    QString summary;
    QString body;
    QString desktopEntry;                   // the launcher's name without ".desktop"
    QList<QPair<QString, QString>> actions; // key and label; the key "default" is a click
    QVariant tag;                           // handed back when it could not be shown
};

// Sends notifications to org.freedesktop.Notifications, each replacing the previous one
// while that is still on the screen, and reports the actions the user invokes on the
// ones it sent. Never waits: a server that is missing, fails or takes longer than
// ANSWER_TIMEOUT_MS to answer gives Failed, and the caller shows the alert its own way.
class CDesktopNotifier final : public QObject {
    Q_OBJECT
public:
    explicit CDesktopNotifier(QObject* parent = nullptr);
    ~CDesktopNotifier() override;
    Q_DISABLE_COPY(CDesktopNotifier)

    static constexpr int ANSWER_TIMEOUT_MS = 2000;
    // How many sent notifications keep their actions; older ones are forgotten.
    static constexpr int MAX_REMEMBERED = 32;

    void Send(const DesktopNotification& notification);

signals:
    void Shown(const QVariant& tag);
    void Failed(const QVariant& tag);
    // An action on one of the notifications sent, with the activation token the server
    // gave for it (empty when none).
    void ActionInvoked(const QString& key, const QString& activationToken);

private slots:
    void OnNotificationClosed(uint id, uint reason);
    void OnActionInvoked(uint id, const QString& key);
    void OnActivationToken(uint id, const QString& token);

private:
    void Call(const DesktopNotification& notification);
    void OnAnswer(QDBusPendingCallWatcher* watcher, const QVariant& tag);

    QDBusConnection m_bus;
    bool m_listening = false;
    // The one on the screen, 0 when it closed or none was shown.
    uint m_shownId = 0;
    QList<uint> m_sentIds;
    QDBusPendingCallWatcher* m_pending = nullptr;
    // The newest notification asked for while a call was in flight; it goes next.
    std::optional<DesktopNotification> m_next;
    uint m_tokenId = 0;
    QString m_token;
};
