// SPDX-License-Identifier: MIT
#include "desktop/CTrayHostWatch.h"

#include "desktop/X11Util.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {
const QString WATCHER_SERVICE = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WATCHER_PATH = QStringLiteral("/StatusNotifierWatcher");
constexpr int PROBE_TIMEOUT_MS = 2000;
constexpr int FIRST_RETRY_MS = 5000;
constexpr int LAST_RETRY_MS = 60000;
} // namespace

CTrayHostWatch::CTrayHostWatch(int screen, QObject* parent)
    : QObject(parent), m_screen(screen), m_retryMs(FIRST_RETRY_MS), m_retry(new QTimer(this)) {
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &CTrayHostWatch::ProbeStatusNotifier);
    WatchXEmbed();
    WatchStatusNotifier();
}

CTrayHostWatch::~CTrayHostWatch() {
    if (m_xcb != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void CTrayHostWatch::WatchXEmbed() {
    xcb_connection_t* connection = X11Connection();
    if (connection == nullptr) {
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int n = m_screen; n > 0 && screens.rem > 1; --n) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return;
    }
    m_xcb = connection;
    m_root = screens.data->root;
    m_managerAtom = InternAtom(m_xcb, "MANAGER");
    m_selectionAtom = InternAtom(m_xcb, "_NET_SYSTEM_TRAY_S" + QByteArray::number(m_screen));

    // A tray that starts announces itself to the root window's structure listeners.
    const xcb_get_window_attributes_cookie_t cookie = xcb_get_window_attributes(m_xcb, m_root);
    if (xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(m_xcb, cookie, nullptr)) {
        if ((attributes->your_event_mask & XCB_EVENT_MASK_STRUCTURE_NOTIFY) == 0) {
            const std::uint32_t mask =
                attributes->your_event_mask | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(m_xcb, m_root, XCB_CW_EVENT_MASK, &mask);
        }
        std::free(attributes);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    LocateXEmbedTray();
}

void CTrayHostWatch::LocateXEmbedTray() {
    if (m_xcb == nullptr || m_selectionAtom == XCB_ATOM_NONE) {
        return;
    }
    std::uint32_t owner = 0;
    // A tray that dies between the question and the watch is looked for again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const xcb_get_selection_owner_cookie_t cookie =
            xcb_get_selection_owner(m_xcb, m_selectionAtom);
        xcb_get_selection_owner_reply_t* reply =
            xcb_get_selection_owner_reply(m_xcb, cookie, nullptr);
        owner = reply != nullptr ? reply->owner : 0;
        std::free(reply);
        if (owner == 0) {
            break;
        }
        // Its end comes as a DestroyNotify.
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_generic_error_t* error = xcb_request_check(
            m_xcb, xcb_change_window_attributes_checked(m_xcb, owner, XCB_CW_EVENT_MASK, &mask));
        if (error == nullptr) {
            break;
        }
        std::free(error);
        owner = 0;
    }
    const auto before = Host();
    m_xembedTray = owner;
    Announce(before);
}

bool CTrayHostWatch::nativeEventFilter(const QByteArray& eventType, void* message,
                                       qintptr* /*result*/) {
    if (m_xcb == nullptr || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    bool look = false;
    switch (event->response_type & 0x7F) {
    case XCB_CLIENT_MESSAGE: {
        const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
        look = client->type == m_managerAtom && client->format == 32 &&
               client->data.data32[1] == m_selectionAtom;
        break;
    }
    case XCB_DESTROY_NOTIFY: {
        const auto* destroyed = reinterpret_cast<const xcb_destroy_notify_event_t*>(event);
        look = m_xembedTray != 0 && destroyed->window == m_xembedTray;
        break;
    }
    default:
        break;
    }
    if (look) {
        // Not from inside Qt's event dispatch: what follows may create windows.
        QMetaObject::invokeMethod(this, &CTrayHostWatch::LocateXEmbedTray, Qt::QueuedConnection);
    }
    return false;
}

void CTrayHostWatch::WatchStatusNotifier() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    m_serviceWatch = new QDBusServiceWatcher(WATCHER_SERVICE, bus,
                                             QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_serviceWatch, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                m_retry->stop();
                m_retryMs = FIRST_RETRY_MS;
                const auto before = Host();
                if (newOwner.isEmpty()) {
                    ++m_probeSerial;
                    m_firstProbe = false;
                    m_statusNotifierHost = false;
                } else {
                    ++m_watcherGeneration;
                    ProbeStatusNotifier();
                }
                Announce(before);
            });
    // A host that registers with a watcher already running, or leaves it.
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
        bus.connect(WATCHER_SERVICE, WATCHER_PATH, WATCHER_SERVICE, QString::fromLatin1(signal),
                    this, SLOT(ProbeStatusNotifier()));
    }
    m_firstProbe = true;
    ProbeStatusNotifier();
}

void CTrayHostWatch::ProbeStatusNotifier() {
    QDBusMessage question = QDBusMessage::createMethodCall(
        WATCHER_SERVICE, WATCHER_PATH, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    question << WATCHER_SERVICE << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asking must not start a watcher: its coming is what the service watch waits for.
    question.setAutoStartService(false);
    const quint64 serial = ++m_probeSerial;
    auto* call = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(question, PROBE_TIMEOUT_MS), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, serial](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (serial != m_probeSerial) {
                    return;
                }
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                // A watcher that hangs may come back to life: ask again, less and less
                // often. Any answer, yes or no, ends the asking.
                const QDBusError::ErrorType error = reply.error().type();
                if (error == QDBusError::NoReply || error == QDBusError::Timeout ||
                    error == QDBusError::TimedOut) {
                    m_retry->start(m_retryMs);
                    m_retryMs = std::min(2 * m_retryMs, LAST_RETRY_MS);
                }
                const auto before = Host();
                m_firstProbe = false;
                m_statusNotifierHost = !reply.isError() && reply.value().variant().toBool();
                Announce(before);
            });
}

TrayKind CTrayHostWatch::Kind() const {
    if (m_statusNotifierHost) {
        return TrayKind::StatusNotifier;
    }
    if (m_xembedTray != 0 && !m_firstProbe) {
        return TrayKind::XEmbed;
    }
    return TrayKind::None;
}

std::pair<TrayKind, quint64> CTrayHostWatch::Host() const {
    switch (Kind()) {
    case TrayKind::StatusNotifier:
        return {TrayKind::StatusNotifier, m_watcherGeneration};
    case TrayKind::XEmbed:
        return {TrayKind::XEmbed, m_xembedTray};
    case TrayKind::None:
        break;
    }
    return {TrayKind::None, 0};
}

void CTrayHostWatch::Announce(std::pair<TrayKind, quint64> before) {
    if (Host() != before) {
        emit Changed();
    }
}
