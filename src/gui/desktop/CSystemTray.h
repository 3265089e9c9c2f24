// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <memory>

class CStatusNotifierItem;
class CTrayHostWatch;
class CXEmbedTrayIcon;
class QMenu;
class QWidget;

// The program's icon in the desktop's tray: a StatusNotifierItem where a D-Bus tray host
// runs, an XEmbed icon in an X11 tray otherwise, moved to whichever the desktop offers as
// trays come and go. It keeps the flags that decide when the icon is added again, hides
// the main window into the tray and brings it back, and shows the tray menu.
//
// The icon is made here, not with QSystemTrayIcon: that one asks the D-Bus watcher
// whether a host runs with a call that waits (up to 25 s for a watcher that hangs) on the
// user-interface thread when its first icon is made, and keeps the kind it found then
// for the rest of the run.
class CSystemTray : public QObject {
    Q_OBJECT
public:
    // What the icon needs of the main window.
    class CallBack {
    public:
        virtual ~CallBack() = default;
        virtual QWidget* TrayMainWindow() = 0;
        // True while one of the main window's modal dialogs is open.
        virtual bool IsHeldByModal() const = 0;
        // A command of the tray menu.
        virtual void OnCommand(int id) = 0;

    protected:
        CallBack() = default;
        CallBack(const CallBack&) = default;
        CallBack& operator=(const CallBack&) = default;
    };

    static constexpr int IDR_TRAY = 130;
    // The mouse messages an icon reports, as the tray's own callback numbers them.
    static constexpr int WM_LBUTTONUP = 0x0202;
    static constexpr int WM_LBUTTONDBLCLK = 0x0203;
    static constexpr int WM_RBUTTONUP = 0x0205;
    static constexpr int WM_MBUTTONUP = 0x0208;
    // What an add puts into the tray: the callback, the icon and the tip.
    static constexpr unsigned NIF_MESSAGE = 0x1;
    static constexpr unsigned NIF_ICON = 0x2;
    static constexpr unsigned NIF_TIP = 0x4;

    explicit CSystemTray(CallBack& callBack, QObject* parent = nullptr);
    ~CSystemTray() override;
    Q_DISABLE_COPY(CSystemTray)

    // Adds the icon with its tip "Orvantis" and its menu. True when it is in a tray now.
    // Without a tray host it stays meant to be shown, and the first host to appear
    // gets it.
    bool Create(const QIcon& icon);

    // A tray host appeared (or came back, or took over from one of the other kind): the
    // icon is added again, to it, when it is meant to be shown.
    void OnShellRestart();

    // A mouse event on the icon; 0 when it was not for this icon or nothing could act.
    virtual int OnIconNotify(int iconId, int mouseMessage);
    // Called with the menu just before it shows.
    virtual void PrepareMenu(QMenu* menu);

    // The icon is in a tray now, so a window hidden into it can be brought back from it.
    bool IsIconShown() const;

    // Hides a window into the tray: no window and no taskbar entry remain.
    static void HideToTray(QWidget* window);
    // Shows a window again, un-minimised, active and in front.
    static void RestoreFromTray(QWidget* window);

    QMenu* Menu() const { return m_menu.get(); }

    // A line under "Orvantis" in the icon's tip (what keeps the monitor from working
    // right); empty for the plain tip.
    void SetTipLine(const QString& line);
    QString Tip() const;
    // Shows the icon in its disabled (greyed) form while the price is not live.
    void SetGreyed(bool greyed);
    // The icon as the tray shows it now.
    QIcon ShownIcon() const;

    bool m_bTraySupported = false;
    // The icon is not meant to be in the tray; while false it is added again whenever a
    // tray host appears.
    bool m_bIconHidden = true;
    // The icon was never added, or has been deleted; while false, destruction deletes it.
    bool m_bIconDeleted = true;
    unsigned m_uAddFlags = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The desktop's side, replaced in tests: whether a tray host runs, and the add and
    // delete of the icon itself.
    virtual bool HostPresent() const;
    virtual bool ShellAddIcon();
    virtual bool ShellDeleteIcon();

    // What the destructor does: deletes the icon when it was added.
    void DeleteIcon();

    CallBack& m_callBack;

private:
    void OnHostChanged();
    // Shows the icon, its tip and its state in the tray icons made so far.
    void UpdateIcons();

    QIcon m_icon;
    bool m_bGreyed = false;
    QString m_tipLine;
    std::unique_ptr<QMenu> m_menu;
    CTrayHostWatch* m_hostWatch = nullptr;
    // Made at the first add to a host of its kind. The item stays for the whole run (a
    // host that comes back to its watcher finds it); the XEmbed icon lives as long as
    // the tray that took it in.
    std::unique_ptr<CStatusNotifierItem> m_statusNotifierItem;
    std::unique_ptr<CXEmbedTrayIcon> m_xembedIcon;
};
