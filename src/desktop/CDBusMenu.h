// SPDX-License-Identifier: MIT
#pragma once

#include "desktop/StatusNotifierTypes.h"

#include <QDBusContext>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;

// A flat menu of the program offered to a tray host over D-Bus (com.canonical.dbusmenu),
// so that the host draws it itself: item n is the menu's action n (counted from 1), 0 the
// menu. Exported with all its slots, signals and properties. Whatever a host sends is
// checked: an unknown item is an error, never a crash.
class CDBusMenu final : public QObject, public QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ Version)
    Q_PROPERTY(QString TextDirection READ TextDirection)
    Q_PROPERTY(QString Status READ Status)
    Q_PROPERTY(QStringList IconThemePath READ IconThemePath)
public:
    // The menu stays the caller's.
    explicit CDBusMenu(QMenu* menu, QObject* parent = nullptr);

    uint Version() const { return 3; }
    QString TextDirection() const;
    QString Status() const { return QStringLiteral("normal"); }
    QStringList IconThemePath() const { return {}; }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   MenuLayoutItem& layout);
    MenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                              const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const MenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    bool IsItem(int id) const;
    // Answers the call in progress with an error about an item that does not exist.
    void RefuseItem(int id);
    QVariantMap PropertiesOf(int id, const QStringList& names) const;
    // Runs the item's action once the host has its answer.
    void Click(int id);

    QPointer<QMenu> m_menu;
};
