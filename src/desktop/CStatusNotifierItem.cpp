// SPDX-License-Identifier: MIT
#include "desktop/CStatusNotifierItem.h"

#include "desktop/CDBusMenu.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>

namespace {
const QString ITEM_PATH = QStringLiteral("/StatusNotifierItem");
const QString MENU_PATH = QStringLiteral("/MenuBar");
const QString WATCHER_SERVICE = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WATCHER_PATH = QStringLiteral("/StatusNotifierWatcher");

// The org.kde.StatusNotifierItem interface of the item.
class ItemAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ Category)
    Q_PROPERTY(QString Id READ Id)
    Q_PROPERTY(QString Title READ Title)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(int WindowId READ WindowId)
    Q_PROPERTY(bool ItemIsMenu READ ItemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ Menu)
    Q_PROPERTY(QString IconThemePath READ NoName)
    Q_PROPERTY(QString IconName READ NoName)
    Q_PROPERTY(SniPixmapList IconPixmap READ IconPixmap)
    Q_PROPERTY(QString OverlayIconName READ NoName)
    Q_PROPERTY(SniPixmapList OverlayIconPixmap READ NoPixmap)
    Q_PROPERTY(QString AttentionIconName READ NoName)
    Q_PROPERTY(SniPixmapList AttentionIconPixmap READ NoPixmap)
    Q_PROPERTY(QString AttentionMovieName READ NoName)
    Q_PROPERTY(SniToolTip ToolTip READ ToolTip)
public:
    explicit ItemAdaptor(CStatusNotifierItem* item) : QDBusAbstractAdaptor(item), m_item(item) {
        connect(item, &CStatusNotifierItem::IconChanged, this, &ItemAdaptor::NewIcon);
        connect(item, &CStatusNotifierItem::ToolTipChanged, this, &ItemAdaptor::NewToolTip);
    }

    QString Category() const { return QStringLiteral("ApplicationStatus"); }
    QString Id() const { return QCoreApplication::applicationName(); }
    QString Title() const { return m_item->ToolTip().title; }
    QString Status() const { return QStringLiteral("Active"); }
    int WindowId() const { return 0; }
    bool ItemIsMenu() const { return false; }
    QDBusObjectPath Menu() const { return QDBusObjectPath(MENU_PATH); }
    QString NoName() const { return {}; }
    SniPixmapList IconPixmap() const { return m_item->Pixmaps(); }
    SniPixmapList NoPixmap() const { return {}; }
    SniToolTip ToolTip() const { return m_item->ToolTip(); }

public slots:
    void Activate(int /*x*/, int /*y*/) { Tell(TrayClick::Left); }
    void SecondaryActivate(int /*x*/, int /*y*/) { Tell(TrayClick::Middle); }
    void ContextMenu(int /*x*/, int /*y*/) { Tell(TrayClick::Right); }
    void Scroll(int /*delta*/, const QString& /*orientation*/) {}

signals:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    // What the click does may open a menu or end the program: it runs after the host has
    // its answer.
    void Tell(TrayClick click) {
        QMetaObject::invokeMethod(
            m_item, [item = m_item, click] { emit item->Clicked(click); }, Qt::QueuedConnection);
    }

    CStatusNotifierItem* m_item;
};
} // namespace

CStatusNotifierItem::CStatusNotifierItem(QMenu* menu, QObject* parent)
    : QObject(parent), m_dbusMenu(new CDBusMenu(menu, this)) {
    RegisterStatusNotifierTypes();
    new ItemAdaptor(this);
}

CStatusNotifierItem::~CStatusNotifierItem() {
    if (m_exported) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(MENU_PATH);
        bus.unregisterObject(ITEM_PATH);
    }
}

bool CStatusNotifierItem::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    if (!m_exported) {
        m_exported = bus.registerObject(ITEM_PATH, this, QDBusConnection::ExportAdaptors);
        if (m_exported &&
            !bus.registerObject(MENU_PATH, m_dbusMenu, QDBusConnection::ExportAllContents)) {
            bus.unregisterObject(ITEM_PATH);
            m_exported = false;
        }
        if (!m_exported) {
            return false;
        }
    }
    // The item is known by this connection's own name, at the path hosts look at first.
    QDBusMessage call =
        QDBusMessage::createMethodCall(WATCHER_SERVICE, WATCHER_PATH, WATCHER_SERVICE,
                                       QStringLiteral("RegisterStatusNotifierItem"));
    call << bus.baseService();
    call.setAutoStartService(false);
    bus.asyncCall(call);
    return true;
}

void CStatusNotifierItem::SetIcon(const QIcon& icon) {
    m_pixmaps = SniPixmapsOf(icon);
    m_tip.pixmaps = m_pixmaps;
    emit IconChanged();
    emit ToolTipChanged();
}

void CStatusNotifierItem::SetTip(const QString& title, const QString& text) {
    if (title == m_tip.title && text == m_tip.text) {
        return;
    }
    m_tip.title = title;
    m_tip.text = text;
    emit ToolTipChanged();
}

#include "CStatusNotifierItem.moc"
