// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;
struct xcb_connection_t;

// Knows whether the desktop offers a tray host right now, of either kind: an XEmbed tray
// (the X selection _NET_SYSTEM_TRAY_S<n> has an owner) or a StatusNotifierItem host (the
// D-Bus watcher runs and says a host is registered). Never blocks: the X questions are
// answered by the local X server, and the D-Bus watcher is asked asynchronously with a
// deadline, so a watcher that never answers only counts as no host.
class CTrayHostWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit CTrayHostWatch(QObject* parent = nullptr);
    ~CTrayHostWatch() override;
    Q_DISABLE_COPY(CTrayHostWatch)

    bool IsPresent() const { return m_xembedTray != 0 || m_statusNotifierHost; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // The answer of IsPresent() changed.
    void Changed(bool present);

private slots:
    void ProbeStatusNotifier();

private:
    void WatchXEmbed();
    void LocateXEmbedTray();
    void WatchStatusNotifier();
    void Update(std::uint32_t xembedTray, bool statusNotifierHost);

    xcb_connection_t* m_xcb = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_managerAtom = 0;
    std::uint32_t m_selectionAtom = 0;
    std::uint32_t m_xembedTray = 0;
    bool m_statusNotifierHost = false;
    QDBusServiceWatcher* m_serviceWatch = nullptr;
    // Only the answer to the latest question counts.
    quint64 m_probeSerial = 0;
    // A watcher that did not answer is asked again after this long, then twice as long.
    int m_retryMs;
    QTimer* m_retry;
};
