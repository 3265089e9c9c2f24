// SPDX-License-Identifier: MIT
#include "gui/dialogs/CSettingDlg.h"

#include "core/common/Globals.h"
#include "core/settings/ProfileFile.h"
#include "core/settings/Settings.h"
#include "gui/common/DialogTemplate.h"
#include "platform/Platform.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
constexpr DlgItem TEMPLATE_DIALOG{CSettingDlg::IDD, 0, 0, 223, 107};
constexpr DlgItem TEMPLATE_OK{1, 49, 86, 50, 14};
constexpr DlgItem TEMPLATE_CANCEL{2, 123, 86, 50, 14};
constexpr DlgItem TEMPLATE_NOTIFY_EVERY{0, 10, 10, 51, 8};
constexpr DlgItem TEMPLATE_THRESHOLD{CSettingDlg::IDC_THRESHOLD, 63, 9, 40, 13};
constexpr DlgItem TEMPLATE_DOLLAR_CHANGE{0, 107, 11, 104, 8};
constexpr DlgItem TEMPLATE_SEND_EMAIL{CSettingDlg::IDC_SEND_EMAIL, 10, 38, 74, 10};
constexpr DlgItem TEMPLATE_POPUP{CSettingDlg::IDC_POPUP, 19, 51, 106, 10};
constexpr DlgItem TEMPLATE_EMAIL_LABEL{CSettingDlg::IDC_EMAIL_LABEL, 19, 65, 63, 8};
constexpr DlgItem TEMPLATE_EMAIL{CSettingDlg::IDC_EMAIL, 83, 63, 102, 13};
constexpr DlgItem TEMPLATE_STARTUP{CSettingDlg::IDC_STARTUP, 10, 25, 77, 10};

constexpr int RIGHT_MARGIN =
    TEMPLATE_DIALOG.cx - TEMPLATE_DOLLAR_CHANGE.x - TEMPLATE_DOLLAR_CHANGE.cx;

// A typed threshold without a number counts as 5; one that is not positive as 10.
constexpr double TYPED_THRESHOLD_PRESET = 5.0;
constexpr double THRESHOLD_FALLBACK = 10.0;

// Control characters (a pasted line break, a NUL) would break or cut the settings line;
// they are never part of an address.
QString WithoutControlCharacters(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control) {
            result.append(c);
        }
    }
    return result;
}
} // namespace

CSettingDlg::CSettingDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setWindowTitle(QStringLiteral("Settings"));
    const CDialogUnits units = ApplyDialogTemplate(this, TEMPLATE_DIALOG);

    // Created in the template's order, which is also the tab order.
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    PlaceItem(ok, units, TEMPLATE_OK);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    PlaceItem(cancel, units, TEMPLATE_CANCEL);
    QLabel* notifyEvery = StaticText(QStringLiteral("Notify me every"), this);
    PlaceTextItem(notifyEvery, units, TEMPLATE_NOTIFY_EVERY, TEMPLATE_THRESHOLD.x - 1);
    m_editThreshold = new QLineEdit(this);
    PlaceItem(m_editThreshold, units, TEMPLATE_THRESHOLD);
    QLabel* dollarChange = StaticText(QStringLiteral("dollar change in the price of gold"), this);
    PlaceTextItem(dollarChange, units, TEMPLATE_DOLLAR_CHANGE, TEMPLATE_DIALOG.cx * 2);
    m_btnEmail = new QCheckBox(QStringLiteral("Notify me by email"), this);
    PlaceTextItem(m_btnEmail, units, TEMPLATE_SEND_EMAIL, TEMPLATE_DIALOG.cx);
    m_btnPopup = new QCheckBox(QStringLiteral("Popup the message box also"), this);
    PlaceTextItem(m_btnPopup, units, TEMPLATE_POPUP, TEMPLATE_DIALOG.cx);
    m_lblEmail = StaticText(QStringLiteral("Your Email Address:"), this);
    PlaceTextItem(m_lblEmail, units, TEMPLATE_EMAIL_LABEL, TEMPLATE_EMAIL.x - 1);
    m_editEmail = new QLineEdit(this);
    // Only this much of a stored value is ever read back.
    m_editEmail->setMaxLength(PROFILE_VALUE_MAX);
    PlaceItem(m_editEmail, units, TEMPLATE_EMAIL);
    // The desktop's autostart entry, the counterpart of a start-with-the-system shortcut.
    m_btnStartup = new QCheckBox(QStringLiteral("Load at login"), this);
    PlaceTextItem(m_btnStartup, units, TEMPLATE_STARTUP, TEMPLATE_DIALOG.cx);
    // A desktop font wider than the template's: the rows make room for their labels and the
    // dialog widens to keep its right margin.
    MakeRoomForText(notifyEvery, units, {m_editThreshold, dollarChange}, 2);
    MakeRoomForText(m_lblEmail, units, {m_editEmail}, 1);
    WidenToFitItems(this, units, RIGHT_MARGIN);

    m_editThreshold->setObjectName(QStringLiteral("IDC_THRESHOLD"));
    m_btnEmail->setObjectName(QStringLiteral("IDC_SEND_EMAIL"));
    m_btnPopup->setObjectName(QStringLiteral("IDC_POPUP"));
    m_lblEmail->setObjectName(QStringLiteral("IDC_EMAIL_LABEL"));
    m_editEmail->setObjectName(QStringLiteral("IDC_EMAIL"));
    m_btnStartup->setObjectName(QStringLiteral("IDC_STARTUP"));

    connect(ok, &QPushButton::clicked, this, &CSettingDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSettingDlg::reject);
    connect(m_btnEmail, &QCheckBox::clicked, this, &CSettingDlg::OnEmailClicked);
    for (QCheckBox* box : {m_btnEmail, m_btnPopup, m_btnStartup}) {
        box->installEventFilter(this);
    }

    OnInitDialog();
    ok->setFocus();
}

void CSettingDlg::OnInitDialog() {
    m_editThreshold->setText(
        QString::fromStdString(FormatThreshold(ReadSetting(KEY_PRICE_CHANGE))));
    m_btnStartup->setChecked(platform::IsAutostartEnabled());
    m_btnEmail->setChecked(ReadSetting(KEY_SEND_EMAIL) == Switch::On);
    m_editEmail->setText(QString::fromStdString(ReadSetting(KEY_EMAIL)));
    m_btnPopup->setChecked(ReadSetting(KEY_POPUP) == Switch::On);
    UpdateEmailControls();
}

void CSettingDlg::UpdateEmailControls() {
    const bool on = m_btnEmail->isChecked();
    m_btnPopup->setEnabled(on);
    m_lblEmail->setEnabled(on);
    m_editEmail->setEnabled(on);
}

bool CSettingDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a check box presses the default button; only Space ticks it. GTK-style
    // themes make Enter a key that presses buttons, check boxes included: ticking "Load at
    // login" and pressing Enter then unticked it and saved it so.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
        qobject_cast<QCheckBox*>(watched) != nullptr) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Kept from the box, the key goes on to the dialog as an unhandled key does.
            event->ignore();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CSettingDlg::OnEmailClicked() {
    UpdateEmailControls();
}

void CSettingDlg::accept() {
    OnOK();
}

void CSettingDlg::OnOK() {
    if (m_btnEmail->isChecked()) {
        const QString address = WithoutControlCharacters(m_editEmail->text());
        if (address.isEmpty()) {
            // Nothing at all is written until the address is there.
            const QString caption = QFileInfo(QString::fromStdString(g_strExePath)).fileName();
            QMessageBox::warning(this, caption, QStringLiteral("Please input your Email address!"));
            m_editEmail->setFocus();
            return;
        }
        WriteSetting(KEY_EMAIL, address.toStdString());
        WriteSetting(KEY_SEND_EMAIL, "1");
        WriteSetting(KEY_POPUP, m_btnPopup->isChecked() ? "1" : "0");
    } else {
        // The stored address and popup choice stay for the next time e-mail is on.
        WriteSetting(KEY_SEND_EMAIL, "0");
    }

    if (m_btnStartup->isChecked()) {
        platform::EnableAutostart(g_strExePath);
    } else {
        platform::DisableAutostart();
    }

    double threshold = ParseDouble(m_editThreshold->text().toStdString(), TYPED_THRESHOLD_PRESET);
    // A threshold stored as 0 would make every price a notification (0.004 is stored so).
    if (threshold <= 0 || ParseDouble(FormatThreshold(threshold), 0) <= 0) {
        threshold = THRESHOLD_FALLBACK;
    }
    WriteSetting(KEY_PRICE_CHANGE, FormatThreshold(threshold));
    QDialog::accept();
}
