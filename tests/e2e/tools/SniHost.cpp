// SPDX-License-Identifier: MIT
// The watcher and host of StatusNotifierItems for end-to-end tests, on whatever session bus
// DBUS_SESSION_BUS_ADDRESS names: prints "ready", then one line "registered SERVICE/PATH"
// per item, until killed. The tests talk to the items themselves with dbus-send.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <cstdio>

namespace {

void Print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// The watcher and the host in one object.
class Watcher final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ Items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
public:
    explicit Watcher(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    QStringList Items() const { return m_items; }
    bool HostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
        const QString item = serviceOrPath.startsWith(QLatin1Char('/'))
                                 ? message.service() + serviceOrPath
                                 : serviceOrPath + QStringLiteral("/StatusNotifierItem");
        if (!m_items.contains(item)) {
            m_items.append(item);
        }
        Print(QStringLiteral("registered ") + item);
        emit StatusNotifierItemRegistered(item);
    }
    void RegisterStatusNotifierHost(const QString& /*service*/) {}

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierHostRegistered();

private:
    QStringList m_items;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject root;
    new Watcher(&root);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierHost-%1")
                                 .arg(QCoreApplication::applicationPid()))) {
        std::fprintf(stderr, "orvantis-sni-host: no session bus, or the watcher's name is taken\n");
        return 1;
    }
    Print(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

#include "SniHost.moc"
