// SPDX-License-Identifier: MIT
// A desktop notification server for end-to-end tests, on whatever session bus
// DBUS_SESSION_BUS_ADDRESS names: prints "ready", then a line per notification,
//   notify ID replaces=ID summary=TEXT entry=NAME icon=NAME actions=KEY=LABEL;... body=TEXT
// (line breaks of the body as "\n"), until killed. The test invokes an action by calling
// com.tamberlo.TestNotifications.Invoke(uint32 ID, string KEY) on the server's object with
// dbus-send; the server passes it on as the desktop's server does.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>
#include <cstdio>

namespace {

const QString PATH = QStringLiteral("/org/freedesktop/Notifications");
const QString INTERFACE = QStringLiteral("org.freedesktop.Notifications");

void Print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void EmitSignal(const QString& name, const QVariantList& arguments) {
    QDBusMessage signal = QDBusMessage::createSignal(PATH, INTERFACE, name);
    signal.setArguments(arguments);
    QDBusConnection::sessionBus().send(signal);
}

class Server final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit Server(QObject* parent) : QDBusAbstractAdaptor(parent) {}

public slots:
    uint Notify(const QString& /*appName*/, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int /*expireTimeout*/) {
        const uint id = replacesId != 0 ? replacesId : ++m_lastId;
        QStringList pairs;
        for (int i = 0; i + 1 < actions.size(); i += 2) {
            pairs << actions[i] + QLatin1Char('=') + actions[i + 1];
        }
        QString flatBody = body;
        flatBody.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        Print(QStringLiteral("notify %1 replaces=%2 summary=%3 entry=%4 icon=%5 actions=%6 body=%7")
                  .arg(id)
                  .arg(replacesId)
                  .arg(summary, hints.value(QStringLiteral("desktop-entry")).toString(), appIcon,
                       pairs.join(QLatin1Char(';')), flatBody));
        return id;
    }
    void CloseNotification(uint id) { EmitSignal(QStringLiteral("NotificationClosed"), {id, 3U}); }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("Tamberlo");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("orvantis-fake-notifications");
    }

private:
    uint m_lastId = 0;
};

// What the user does with a notification, asked for by the test.
class Control final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.tamberlo.TestNotifications")
public:
    explicit Control(QObject* parent) : QDBusAbstractAdaptor(parent) {}

public slots:
    void Invoke(uint id, const QString& key) {
        EmitSignal(QStringLiteral("ActionInvoked"), {id, key});
        EmitSignal(QStringLiteral("NotificationClosed"), {id, 2U});
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QObject root;
    new Server(&root);
    new Control(&root);
    if (!bus.registerObject(PATH, &root) ||
        !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "orvantis-fake-notifications: no session bus, or the name is taken\n");
        return 1;
    }
    Print(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

#include "FakeNotifyServer.moc"
