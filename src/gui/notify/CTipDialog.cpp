// SPDX-License-Identifier: MIT
#include "gui/notify/CTipDialog.h"

#include "core/settings/Settings.h"
#include "gui/common/DialogTemplate.h"
#include "gui/common/GuiGlobals.h"
#include "gui/notify/CInfWnd.h"

#include <QApplication>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QTime>

namespace {
constexpr DlgItem TEMPLATE_DIALOG{CTipDialog::IDD, 0, 0, 123, 74};
constexpr DlgItem TEMPLATE_OK{1, 36, 53, 50, 14};
constexpr DlgItem TEMPLATE_INF{CTipDialog::IDC_INF, 14, 12, 104, 34};
const QString CAPTION = QStringLiteral("Gold Price Changed");

// Window managers tell apart windows of one caption by a number ("Gold Price Changed
// <3>"). A notification that opens while others are still open carries its time instead,
// to the minute, or to the second when that is taken too.
QString DistinctCaption() {
    QStringList taken;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<const CTipDialog*>(window) != nullptr && window->isVisible()) {
            taken.append(window->windowTitle());
        }
    }
    const QTime now = QTime::currentTime();
    QString caption = CAPTION;
    for (const QString& format : {QStringLiteral("HH:mm"), QStringLiteral("HH:mm:ss")}) {
        if (!taken.contains(caption)) {
            return caption;
        }
        caption = QStringLiteral("%1 (%2)").arg(CAPTION, now.toString(format));
    }
    for (int n = 2; taken.contains(caption); ++n) {
        caption = QStringLiteral("%1 (%2, %3)")
                      .arg(CAPTION, now.toString(QStringLiteral("HH:mm:ss")))
                      .arg(n);
    }
    return caption;
}
} // namespace

CTipDialog::CTipDialog(QWidget* owner, std::optional<PriceView> prices)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                         Qt::CustomizeWindowHint),
      m_infWnd(new CInfWnd(this)) {
    setWindowTitle(DistinctCaption());
    const CDialogUnits units = ApplyDialogTemplate(this, TEMPLATE_DIALOG);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    PlaceItem(ok, units, TEMPLATE_OK);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_infWnd->setObjectName(QStringLiteral("IDC_INF"));
    PlaceTextItem(m_infWnd, units, TEMPLATE_INF, TEMPLATE_DIALOG.cx);

    OnInitDialog(std::move(prices));
    ok->setFocus();
}

void CTipDialog::OnInitDialog(std::optional<PriceView> prices) {
    // The previous reference and the price that reached the threshold.
    if (!prices) {
        prices = MakePriceView(ReadSetting(KEY_TIP_LAST_PRICE), ReadSetting(KEY_LAST_PRICE));
    }
    m_infWnd->SetPrices(*prices);
    QApplication::beep();
}

void CTipDialog::showEvent(QShowEvent* event) {
    if (!m_placed) {
        m_placed = true;
        PlaceOverOwner();
    }
    QDialog::showEvent(event);
}

// Centred over the owner when it is visible, else in the middle of its screen; kept
// inside that screen's work area.
void CTipDialog::PlaceOverOwner() {
    QWidget* owner = parentWidget();
    QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect work = screen->availableGeometry();
    const QRect around = owner != nullptr && owner->isVisible() && !owner->isMinimized()
                             ? owner->frameGeometry()
                             : work;
    QRect frame = frameGeometry();
    frame.moveCenter(around.center());
    frame.moveLeft(std::clamp(frame.left(), work.left(),
                              std::max(work.left(), work.right() - frame.width() + 1)));
    frame.moveTop(std::clamp(frame.top(), work.top(),
                             std::max(work.top(), work.bottom() - frame.height() + 1)));
    move(frame.topLeft());
}
