// SPDX-License-Identifier: MIT
#include "gui/desktop/CSystemTray.h"

#include "core/app/DisplayChoice.h"
#include "core/app/InstanceProtocol.h"
#include "desktop/CStatusNotifierItem.h"
#include "desktop/CTrayHostWatch.h"
#include "desktop/CXEmbedTrayIcon.h"
#include "desktop/TrayClick.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QWidget>
#include <cstdlib>

namespace {
const QString TRAY_TIP = QStringLiteral("Orvantis");
// The size of the greyed icon when the icon does not say which sizes it has.
constexpr int GREYED_ICON_SIZE = 32;

// The mouse message the tray's callback gets for a click on the icon.
int MouseMessageOf(TrayClick click) {
    switch (click) {
    case TrayClick::Left:
        return CSystemTray::WM_LBUTTONUP;
    case TrayClick::Right:
        return CSystemTray::WM_RBUTTONUP;
    case TrayClick::Middle:
        return CSystemTray::WM_MBUTTONUP;
    case TrayClick::Double:
        return CSystemTray::WM_LBUTTONDBLCLK;
    }
    return 0;
}

// The screen the program's windows go to, as Qt picks it from DISPLAY.
int DefaultScreenNumber() {
    const char* display = std::getenv("DISPLAY");
    const auto parsed = display != nullptr ? ParseX11Display(display) : std::nullopt;
    return parsed ? parsed->screen : 0;
}
} // namespace

CSystemTray::CSystemTray(CallBack& callBack, QObject* parent)
    : QObject(parent), m_callBack(callBack), m_menu(std::make_unique<QMenu>()) {
    m_menu->setObjectName(QStringLiteral("IDR_TRAY"));
    const auto addCommand = [this](const QString& text, int id) {
        QAction* action = m_menu->addAction(text);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { m_callBack.OnCommand(id); });
    };
    addCommand(QStringLiteral("Open Main Window"), ID_TRAY_OPEN);
    addCommand(QStringLiteral("Exit(&X)"), ID_TRAY_EXIT);
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] { PrepareMenu(m_menu.get()); });
    m_menu->installEventFilter(this);
}

bool CSystemTray::eventFilter(QObject* watched, QEvent* event) {
    // The menu's items are chosen with the left button only: Qt's menus would also take a
    // right button released over an item, as the click that opened the menu may be.
    if (watched == m_menu.get() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

CSystemTray::~CSystemTray() {
    DeleteIcon();
}

void CSystemTray::DeleteIcon() {
    if (m_bTraySupported && !m_bIconDeleted && ShellDeleteIcon()) {
        m_bIconHidden = true;
        m_bIconDeleted = true;
    }
}

bool CSystemTray::Create(const QIcon& icon) {
    m_bTraySupported = true;
    m_icon = icon;
    if (m_hostWatch == nullptr) {
        m_hostWatch = new CTrayHostWatch(DefaultScreenNumber(), this);
        connect(m_hostWatch, &CTrayHostWatch::Changed, this, &CSystemTray::OnHostChanged);
    }
    m_bIconHidden = false;
    m_uAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    const bool added = ShellAddIcon();
    m_bIconDeleted = !added;
    // A desktop without a tray host yet may start one later (a panel that comes up after
    // the program, a tray applet added by the user); the icon stays meant to be shown.
    m_bIconHidden = !added && HostPresent();
    return added;
}

void CSystemTray::OnShellRestart() {
    if (m_bIconHidden) {
        return;
    }
    const bool added = ShellAddIcon();
    m_bIconHidden = !added;
    if (added) {
        // The first add of an icon that waited for a tray host.
        m_bIconDeleted = false;
    }
}

void CSystemTray::OnHostChanged() {
    // An XEmbed icon belongs to the tray that took it in: when that one is gone, its
    // window would be left on the desktop.
    m_xembedIcon.reset();
    if (HostPresent()) {
        OnShellRestart();
    }
}

bool CSystemTray::IsIconShown() const {
    return !m_bIconHidden && !m_bIconDeleted && HostPresent();
}

bool CSystemTray::HostPresent() const {
    return m_hostWatch != nullptr && m_hostWatch->IsPresent();
}

bool CSystemTray::ShellAddIcon() {
    const TrayKind kind = m_hostWatch != nullptr ? m_hostWatch->Kind() : TrayKind::None;
    if (kind == TrayKind::StatusNotifier) {
        m_xembedIcon.reset();
        if (m_statusNotifierItem == nullptr) {
            m_statusNotifierItem = std::make_unique<CStatusNotifierItem>(m_menu.get());
            connect(m_statusNotifierItem.get(), &CStatusNotifierItem::Clicked, this,
                    [this](TrayClick click) { OnIconNotify(IDR_TRAY, MouseMessageOf(click)); });
            UpdateIcons();
        }
        return m_statusNotifierItem->Register();
    }
    if (kind == TrayKind::XEmbed) {
        if (m_xembedIcon == nullptr) {
            m_xembedIcon = std::make_unique<CXEmbedTrayIcon>();
            connect(m_xembedIcon.get(), &CXEmbedTrayIcon::Clicked, this,
                    [this](TrayClick click) { OnIconNotify(IDR_TRAY, MouseMessageOf(click)); });
            UpdateIcons();
        }
        m_xembedIcon->Show(m_hostWatch->XEmbedTray());
        return true;
    }
    return false;
}

void CSystemTray::UpdateIcons() {
    const QIcon icon = ShownIcon();
    if (m_statusNotifierItem != nullptr) {
        m_statusNotifierItem->SetIcon(icon);
        m_statusNotifierItem->SetTip(TRAY_TIP, m_tipLine);
    }
    if (m_xembedIcon != nullptr) {
        m_xembedIcon->SetIcon(icon);
        m_xembedIcon->SetTip(Tip());
    }
}

void CSystemTray::SetTipLine(const QString& line) {
    if (line != m_tipLine) {
        m_tipLine = line;
        UpdateIcons();
    }
}

void CSystemTray::SetGreyed(bool greyed) {
    if (greyed != m_bGreyed) {
        m_bGreyed = greyed;
        UpdateIcons();
    }
}

QIcon CSystemTray::ShownIcon() const {
    if (!m_bGreyed) {
        return m_icon;
    }
    // A tray draws an icon in its normal mode: the disabled form is handed over as that.
    QIcon greyed;
    QList<QSize> sizes = m_icon.availableSizes();
    if (sizes.isEmpty()) {
        sizes.append(QSize(GREYED_ICON_SIZE, GREYED_ICON_SIZE));
    }
    for (const QSize& size : sizes) {
        greyed.addPixmap(m_icon.pixmap(size, QIcon::Disabled));
    }
    return greyed;
}

QString CSystemTray::Tip() const {
    return m_tipLine.isEmpty() ? TRAY_TIP : TRAY_TIP + QLatin1Char('\n') + m_tipLine;
}

bool CSystemTray::ShellDeleteIcon() {
    m_xembedIcon.reset();
    m_statusNotifierItem.reset();
    return true;
}

int CSystemTray::OnIconNotify(int iconId, int mouseMessage) {
    if (iconId != IDR_TRAY || m_callBack.TrayMainWindow() == nullptr) {
        return 0;
    }
    // Trays that show the menu themselves (on the press, or from the D-Bus menu) have it
    // open by now.
    if ((mouseMessage & 0xFFFF) == WM_RBUTTONUP && !m_menu->isVisible()) {
        m_menu->popup(QCursor::pos());
    }
    return 1;
}

void CSystemTray::PrepareMenu(QMenu* /*menu*/) {}

void CSystemTray::HideToTray(QWidget* window) {
    if (window != nullptr) {
        window->hide();
    }
}

void CSystemTray::RestoreFromTray(QWidget* window) {
    if (window == nullptr) {
        return;
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}
