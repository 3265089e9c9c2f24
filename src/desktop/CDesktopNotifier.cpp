// SPDX-License-Identifier: MIT
#include "desktop/CDesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {
const QString SERVICE = QStringLiteral("org.freedesktop.Notifications");
const QString PATH = QStringLiteral("/org/freedesktop/Notifications");
const QString INTERFACE = QStringLiteral("org.freedesktop.Notifications");
constexpr int EXPIRE_BY_SERVER = -1;
} // namespace

CDesktopNotifier::CDesktopNotifier(QObject* parent)
    : QObject(parent), m_bus(QDBusConnection::sessionBus()) {
    if (!m_bus.isConnected()) {
        return;
    }
    // Only the owner of the server's name is heard: a signal of the same name from another
    // peer on the bus never reaches the slots.
    m_listening = m_bus.connect(SERVICE, PATH, INTERFACE, QStringLiteral("NotificationClosed"),
                                this, SLOT(OnNotificationClosed(uint, uint))) &&
                  m_bus.connect(SERVICE, PATH, INTERFACE, QStringLiteral("ActionInvoked"), this,
                                SLOT(OnActionInvoked(uint, QString)));
    m_bus.connect(SERVICE, PATH, INTERFACE, QStringLiteral("ActivationToken"), this,
                  SLOT(OnActivationToken(uint, QString)));
}

CDesktopNotifier::~CDesktopNotifier() = default;

void CDesktopNotifier::Send(const DesktopNotification& notification) {
    if (m_pending != nullptr) {
        // Its answer tells which one the next replaces; an older waiting one is out of date.
        m_next = notification;
        return;
    }
    Call(notification);
}

void CDesktopNotifier::Call(const DesktopNotification& notification) {
    if (!m_bus.isConnected() || !m_listening) {
        const QVariant tag = notification.tag;
        QMetaObject::invokeMethod(
            this, [this, tag] { emit Failed(tag); }, Qt::QueuedConnection);
        return;
    }
    QStringList actions;
    for (const auto& [key, label] : notification.actions) {
        actions << key << label;
    }
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), notification.desktopEntry);
    QDBusMessage message =
        QDBusMessage::createMethodCall(SERVICE, PATH, INTERFACE, QStringLiteral("Notify"));
    message << notification.appName << m_shownId << notification.appIcon << notification.summary
            << notification.body << actions << hints << EXPIRE_BY_SERVER;
    // The bus ends the call with an error when the time is up: no timer of this program.
    m_pending = new QDBusPendingCallWatcher(m_bus.asyncCall(message, ANSWER_TIMEOUT_MS), this);
    const QVariant tag = notification.tag;
    connect(m_pending, &QDBusPendingCallWatcher::finished, this,
            [this, tag](QDBusPendingCallWatcher* watcher) { OnAnswer(watcher, tag); });
}

void CDesktopNotifier::OnAnswer(QDBusPendingCallWatcher* watcher, const QVariant& tag) {
    m_pending = nullptr;
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    // An id of 0 is no notification.
    if (reply.isError() || reply.argumentAt<0>() == 0) {
        m_shownId = 0;
        emit Failed(tag);
    } else {
        m_shownId = reply.argumentAt<0>();
        m_sentIds.removeOne(m_shownId);
        m_sentIds.append(m_shownId);
        while (m_sentIds.size() > MAX_REMEMBERED) {
            m_sentIds.removeFirst();
        }
        emit Shown(tag);
    }
    if (m_next) {
        const DesktopNotification next = *m_next;
        m_next.reset();
        Call(next);
    }
}

void CDesktopNotifier::OnNotificationClosed(uint id, uint /*reason*/) {
    // Still in the server's history, its actions go on working; it is just not replaced.
    if (id == m_shownId) {
        m_shownId = 0;
    }
}

void CDesktopNotifier::OnActivationToken(uint id, const QString& token) {
    m_tokenId = id;
    m_token = token;
}

void CDesktopNotifier::OnActionInvoked(uint id, const QString& key) {
    if (!m_sentIds.contains(id)) {
        return;
    }
    const QString token = m_tokenId == id ? m_token : QString();
    m_tokenId = 0;
    m_token.clear();
    emit ActionInvoked(key, token);
}
