// SPDX-License-Identifier: MIT
#pragma once

#include "desktop/StatusNotifierTypes.h"
#include "desktop/TrayClick.h"

#include <QObject>

class CDBusMenu;
class QMenu;

// The program's icon as a StatusNotifierItem on the session bus, with its menu beside it
// for hosts that draw menus themselves. Nothing here ever waits for the watcher or a
// host: the registration is sent without waiting for its answer, and hosts are answered
// as they ask. Once exported the item stays until it is destroyed, so a host that comes
// back to the same watcher finds it.
class CStatusNotifierItem final : public QObject {
    Q_OBJECT
public:
    explicit CStatusNotifierItem(QMenu* menu, QObject* parent = nullptr);
    ~CStatusNotifierItem() override;
    Q_DISABLE_COPY(CStatusNotifierItem)

    // Exports the item (the first time) and asks the watcher running now to show it.
    // False without a session bus, or when the item's paths are taken.
    bool Register();

    void SetIcon(const QIcon& icon);
    // The tip's title and the text under it.
    void SetTip(const QString& title, const QString& text);

    const SniPixmapList& Pixmaps() const { return m_pixmaps; }
    const SniToolTip& ToolTip() const { return m_tip; }

signals:
    // The host's activation (Left), secondary activation (Middle) or call for the context
    // menu (Right).
    void Clicked(TrayClick click);
    void IconChanged();
    void ToolTipChanged();

private:
    CDBusMenu* m_dbusMenu;
    bool m_exported = false;
    SniPixmapList m_pixmaps;
    SniToolTip m_tip;
};
