// SPDX-License-Identifier: MIT
#include "desktop/CDBusMenu.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>

namespace {
// The menu's items never change, so neither does its layout.
constexpr uint LAYOUT_REVISION = 1;
const QString CLICKED = QStringLiteral("clicked");

// A host marks the mnemonic with '_' and shows '&' as it is.
QString DBusMenuLabel(const QString& text) {
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&')) {
            const bool doubled = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&');
            label += doubled ? QLatin1Char('&') : QLatin1Char('_');
            i += doubled ? 1 : 0;
        } else if (c == QLatin1Char('_')) {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}
} // namespace

CDBusMenu::CDBusMenu(QMenu* menu, QObject* parent) : QObject(parent), m_menu(menu) {
    RegisterStatusNotifierTypes();
}

QString CDBusMenu::TextDirection() const {
    return QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl")
                                                                 : QStringLiteral("ltr");
}

bool CDBusMenu::IsItem(int id) const {
    return id == 0 || (m_menu != nullptr && id > 0 && id <= m_menu->actions().size());
}

void CDBusMenu::RefuseItem(int id) {
    if (calledFromDBus()) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no menu item %1").arg(id));
    }
}

QVariantMap CDBusMenu::PropertiesOf(int id, const QStringList& names) const {
    QVariantMap properties;
    if (id == 0) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    } else if (const QAction* action = m_menu->actions().at(id - 1); action->isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
        properties.insert(QStringLiteral("label"), DBusMenuLabel(action->text()));
        properties.insert(QStringLiteral("enabled"), action->isEnabled());
        properties.insert(QStringLiteral("visible"), action->isVisible());
    }
    if (!names.isEmpty()) {
        for (auto it = properties.begin(); it != properties.end();) {
            it = names.contains(it.key()) ? std::next(it) : properties.erase(it);
        }
    }
    return properties;
}

uint CDBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                          MenuLayoutItem& layout) {
    if (!IsItem(parentId)) {
        RefuseItem(parentId);
        return LAYOUT_REVISION;
    }
    layout = MenuLayoutItem{parentId, PropertiesOf(parentId, propertyNames), {}};
    // Only the menu has children; a depth of 0 asks for the item alone.
    if (parentId == 0 && recursionDepth != 0) {
        for (int id = 1; IsItem(id); ++id) {
            layout.children.append(MenuLayoutItem{id, PropertiesOf(id, propertyNames), {}});
        }
    }
    return LAYOUT_REVISION;
}

MenuItemPropertiesList CDBusMenu::GetGroupProperties(const QList<int>& ids,
                                                     const QStringList& propertyNames) {
    QList<int> wanted = ids;
    if (wanted.isEmpty()) {
        for (int id = 0; IsItem(id); ++id) {
            wanted.append(id);
        }
    }
    MenuItemPropertiesList items;
    for (const int id : std::as_const(wanted)) {
        if (IsItem(id)) {
            items.append(MenuItemProperties{id, PropertiesOf(id, propertyNames)});
        }
    }
    return items;
}

QDBusVariant CDBusMenu::GetProperty(int id, const QString& name) {
    if (!IsItem(id)) {
        RefuseItem(id);
        return QDBusVariant(QVariant(0));
    }
    const QVariant value = PropertiesOf(id, {name}).value(name);
    if (!value.isValid()) {
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no property ") + name);
        }
        return QDBusVariant(QVariant(0));
    }
    return QDBusVariant(value);
}

void CDBusMenu::Event(int id, const QString& eventId, const QDBusVariant& /*data*/,
                      uint /*timestamp*/) {
    if (!IsItem(id)) {
        RefuseItem(id);
    } else if (eventId == CLICKED) {
        Click(id);
    }
}

QList<int> CDBusMenu::EventGroup(const MenuEventList& events) {
    QList<int> idErrors;
    for (const MenuEvent& event : events) {
        if (!IsItem(event.id)) {
            idErrors.append(event.id);
        } else if (event.eventId == CLICKED) {
            Click(event.id);
        }
    }
    return idErrors;
}

bool CDBusMenu::AboutToShow(int id) {
    if (!IsItem(id)) {
        RefuseItem(id);
    }
    return false;
}

QList<int> CDBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    for (const int id : ids) {
        if (!IsItem(id)) {
            idErrors.append(id);
        }
    }
    return {};
}

void CDBusMenu::Click(int id) {
    if (id <= 0 || !IsItem(id)) {
        return;
    }
    QAction* action = m_menu->actions().at(id - 1);
    if (action->isEnabled() && !action->isSeparator()) {
        // The command may end the program: it runs after the host has its answer.
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
    }
}
