// SPDX-License-Identifier: MIT
// A tray host of the StatusNotifierItem kind for end-to-end tests, on whatever session
// bus DBUS_SESSION_BUS_ADDRESS names:
//   orvantis-sni-host watch           be the watcher and a host; print "ready", then one
//                                     line "registered ITEM" per item, until killed
//   orvantis-sni-host tooltip         print the registered item's tip title
//   orvantis-sni-host activate        left-click the item (Activate)
//   orvantis-sni-host click LABEL     choose the item's menu entry LABEL ("&" or "_"
//                                     marks the mnemonic)
// The one-shot commands talk to the first item the running watcher knows.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace {
const QString WATCHER = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WATCHER_PATH = QStringLiteral("/StatusNotifierWatcher");
const QString ITEM_INTERFACE = QStringLiteral("org.kde.StatusNotifierItem");
const QString PROPERTIES = QStringLiteral("org.freedesktop.DBus.Properties");
const QString MENU_INTERFACE = QStringLiteral("com.canonical.dbusmenu");
constexpr int CALL_TIMEOUT_MS = 5000;

void Print(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

int Fail(const QString& why) {
    std::fprintf(stderr, "orvantis-sni-host: %s\n", qPrintable(why));
    return 1;
}

QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, CALL_TIMEOUT_MS);
}

std::optional<QVariant> Property(const QString& service, const QString& path,
                                 const QString& interface, const QString& name) {
    const QDBusMessage reply =
        Call(service, path, PROPERTIES, QStringLiteral("Get"), {interface, name});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply.arguments().at(0).value<QDBusVariant>().variant();
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

int Watch() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto* root = new QObject(QCoreApplication::instance());
    new Watcher(root);
    if (!bus.registerObject(WATCHER_PATH, root) || !bus.registerService(WATCHER) ||
        !bus.registerService(QStringLiteral("org.kde.StatusNotifierHost-%1")
                                 .arg(QCoreApplication::applicationPid()))) {
        return Fail(QStringLiteral("cannot own the watcher's name"));
    }
    Print(QStringLiteral("ready"));
    return QCoreApplication::exec();
}

// The first registered item as service and path.
std::optional<std::pair<QString, QString>> FirstItem() {
    const auto items =
        Property(WATCHER, WATCHER_PATH, WATCHER, QStringLiteral("RegisteredStatusNotifierItems"));
    if (!items || items->toStringList().isEmpty()) {
        return std::nullopt;
    }
    const QString item = items->toStringList().constFirst();
    const auto slash = item.indexOf(QLatin1Char('/'));
    return std::make_pair(item.left(slash), item.mid(slash));
}

int ToolTip(const QString& service, const QString& path) {
    const auto tip = Property(service, path, ITEM_INTERFACE, QStringLiteral("ToolTip"));
    if (!tip || !tip->canConvert<QDBusArgument>()) {
        return Fail(QStringLiteral("the item has no tip"));
    }
    // (sa(iiay)ss): icon name, icon pixmaps, title, text.
    const QDBusArgument argument = tip->value<QDBusArgument>();
    QString iconName;
    QString title;
    QString text;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray pixels;
        argument.beginStructure();
        argument >> width >> height >> pixels;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title >> text;
    argument.endStructure();
    Print(title);
    return 0;
}

QString WithoutMnemonic(QString label) {
    return label.remove(QLatin1Char('&')).remove(QLatin1Char('_'));
}

// Finds the entry of that label in a layout node (ia{sv}av); -1 when there is none.
int FindEntry(const QDBusArgument& node, const QString& label) {
    int id = 0;
    QVariantMap properties;
    int found = -1;
    node.beginStructure();
    node >> id >> properties;
    if (WithoutMnemonic(properties.value(QStringLiteral("label")).toString()) == label) {
        found = id;
    }
    node.beginArray();
    while (!node.atEnd()) {
        QDBusVariant child;
        node >> child;
        if (found < 0) {
            found = FindEntry(child.variant().value<QDBusArgument>(), label);
        }
    }
    node.endArray();
    node.endStructure();
    return found;
}

int Click(const QString& service, const QString& path, const QString& label) {
    const auto menu = Property(service, path, ITEM_INTERFACE, QStringLiteral("Menu"));
    if (!menu) {
        return Fail(QStringLiteral("the item has no menu"));
    }
    const QString menuPath = menu->value<QDBusObjectPath>().path();
    const QDBusMessage layout = Call(service, menuPath, MENU_INTERFACE, QStringLiteral("GetLayout"),
                                     {0, -1, QStringList()});
    if (layout.type() != QDBusMessage::ReplyMessage || layout.arguments().size() < 2) {
        return Fail(QStringLiteral("the menu has no layout"));
    }
    const int id =
        FindEntry(layout.arguments().at(1).value<QDBusArgument>(), WithoutMnemonic(label));
    if (id < 0) {
        return Fail(QStringLiteral("no menu entry ") + label);
    }
    const QDBusMessage clicked =
        Call(service, menuPath, MENU_INTERFACE, QStringLiteral("Event"),
             {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)),
              static_cast<uint>(QDateTime::currentSecsSinceEpoch())});
    return clicked.type() == QDBusMessage::ReplyMessage ? 0 : Fail(clicked.errorMessage());
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (!QDBusConnection::sessionBus().isConnected()) {
        return Fail(QStringLiteral("no session bus"));
    }
    if (args.value(0) == QStringLiteral("watch")) {
        return Watch();
    }
    const auto item = FirstItem();
    if (!item) {
        return Fail(QStringLiteral("no item is registered"));
    }
    const auto& [service, path] = *item;
    if (args.value(0) == QStringLiteral("tooltip")) {
        return ToolTip(service, path);
    }
    if (args.value(0) == QStringLiteral("activate")) {
        const QDBusMessage reply =
            Call(service, path, ITEM_INTERFACE, QStringLiteral("Activate"), {0, 0});
        return reply.type() == QDBusMessage::ReplyMessage ? 0 : Fail(reply.errorMessage());
    }
    if (args.value(0) == QStringLiteral("click") && args.size() == 2) {
        return Click(service, path, args.at(1));
    }
    return Fail(
        QStringLiteral("usage: orvantis-sni-host watch | tooltip | activate | click LABEL"));
}

#include "SniHost.moc"
