// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <cstdint>
#include <utility>

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;
class QTimer;
struct xcb_connection_t;

// The kinds of tray an icon can be shown in.
enum class TrayKind {
    None,
    StatusNotifier, // a StatusNotifierItem host, over D-Bus
    XEmbed,         // an X11 system tray
};

// Knows which tray host the desktop offers right now, of either kind: an XEmbed tray
// (the X selection _NET_SYSTEM_TRAY_S<n> has an owner) or a StatusNotifierItem host (the
// D-Bus watcher runs and says a host is registered). Never blocks: the X questions are
// answered by the local X server, and the D-Bus watcher is asked asynchronously with a
// deadline, so a watcher that never answers only counts as no host.
class CTrayHostWatch final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Watches the trays of that X screen (the number after the dot in DISPLAY).
    explicit CTrayHostWatch(int screen, QObject* parent = nullptr);
    ~CTrayHostWatch() override;
    Q_DISABLE_COPY(CTrayHostWatch)

    // The host to show the icon in: a StatusNotifierItem host where one runs (a panel
    // that offers both kinds draws those better), else an XEmbed tray. None until the
    // watcher has answered the first question or missed its deadline, so that a panel of
    // both kinds does not see the icon come as one kind and move to the other at once.
    TrayKind Kind() const;
    bool IsPresent() const { return Kind() != TrayKind::None; }
    // The XEmbed tray's manager window, 0 when there is none.
    std::uint32_t XEmbedTray() const { return m_xembedTray; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // Another host is to show the icon: Kind() changed, or another tray of the same kind
    // took over (a restarted panel, another watcher).
    void Changed();

private slots:
    void ProbeStatusNotifier();

private:
    void WatchXEmbed();
    void LocateXEmbedTray();
    void WatchStatusNotifier();
    // Kind() and which tray of that kind.
    std::pair<TrayKind, quint64> Host() const;
    // Tells of another host than the one before.
    void Announce(std::pair<TrayKind, quint64> before);

    int m_screen;
    xcb_connection_t* m_xcb = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_managerAtom = 0;
    std::uint32_t m_selectionAtom = 0;
    std::uint32_t m_xembedTray = 0;
    bool m_statusNotifierHost = false;
    // The first question to the watcher is still open.
    bool m_firstProbe = false;
    // Counts the watchers that came: a new one has to be told of the icon again.
    quint64 m_watcherGeneration = 0;
    QDBusServiceWatcher* m_serviceWatch = nullptr;
    // Only the answer to the latest question counts.
    quint64 m_probeSerial = 0;
    // A watcher that did not answer is asked again after this long, then twice as long.
    int m_retryMs;
    QTimer* m_retry;
};
