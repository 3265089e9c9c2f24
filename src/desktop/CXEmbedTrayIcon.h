// SPDX-License-Identifier: MIT
#pragma once

#include "desktop/TrayClick.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

class QWidget;

// The program's icon docked into an X11 system tray (the XEmbed protocol): a small
// window that the tray takes in. Qt's X11 platform gives a window of a name of its own
// (the one its own tray icon uses) the tray's visual and background and shows it only
// once a tray has embedded it; this window carries that name. The request to dock goes
// to the tray given here: Qt's own knows of no tray it was not asked about. A tray
// that goes away leaves the window behind: destroy this object then.
class CXEmbedTrayIcon final : public QObject {
    Q_OBJECT
public:
    explicit CXEmbedTrayIcon(QObject* parent = nullptr);
    ~CXEmbedTrayIcon() override;
    Q_DISABLE_COPY(CXEmbedTrayIcon)

    // Asks the tray, the owner of the X selection _NET_SYSTEM_TRAY_S<n>, to take the icon
    // in.
    void Show(std::uint32_t tray);
    void SetIcon(const QIcon& icon);
    void SetTip(const QString& tip);

signals:
    // A click on the icon: a button released, or the left button clicked twice.
    void Clicked(TrayClick click);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QWidget> m_window;
    QIcon m_icon;
    std::uint32_t m_tray = 0;
};
