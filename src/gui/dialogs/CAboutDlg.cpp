// SPDX-License-Identifier: MIT
#include "gui/dialogs/CAboutDlg.h"

#include "BuildConfig.h"
#include "gui/common/DialogTemplate.h"
#include "gui/desktop/CHyperLink.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {
constexpr DlgItem TEMPLATE_DIALOG{CAboutDlg::IDD, 0, 0, 188, 90};
constexpr DlgItem TEMPLATE_LOGO{0, 6, 13, 0, 0};
constexpr DlgItem TEMPLATE_VERSION{CAboutDlg::IDC_VERSION, 54, 10, 127, 8};
constexpr DlgItem TEMPLATE_NOTICE{0, 54, 22, 114, 8};
constexpr DlgItem TEMPLATE_OK{1, 131, 69, 50, 14};
constexpr DlgItem TEMPLATE_SITE{CAboutDlg::IDC_SITE, 54, 35, 114, 8};
// One point smaller than the other dialogs.
constexpr int ABOUT_FONT_POINTS = 8;
} // namespace

CAboutDlg::CAboutDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_linkSite(new CHyperLink(IDC_SITE, QStringLiteral("http://www.tamberlo.com"), this)),
      m_staticVersion(StaticText(QString(), this)) {
    setWindowTitle(QStringLiteral("About Orvantis"));
    const CDialogUnits units =
        ApplyDialogTemplate(this, TEMPLATE_DIALOG, ABOUT_FONT_POINTS, QBrush(Qt::white));

    auto* logo = new QLabel(this);
    const QPixmap picture(QStringLiteral(":/images/logo.png"));
    logo->setPixmap(picture);
    logo->setGeometry(QRect(units.ToPixels(TEMPLATE_LOGO).topLeft(), picture.size()));
    m_staticVersion->setObjectName(QStringLiteral("IDC_VERSION"));
    PlaceTextItem(m_staticVersion, units, TEMPLATE_VERSION, TEMPLATE_DIALOG.cx);
    PlaceTextItem(StaticText(QStringLiteral("\u00A9 Tamberlo, MIT licence"), this), units,
                  TEMPLATE_NOTICE, TEMPLATE_DIALOG.cx);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    PlaceItem(ok, units, TEMPLATE_OK);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    m_linkSite->setObjectName(QStringLiteral("IDC_SITE"));
    PlaceTextItem(m_linkSite, units, TEMPLATE_SITE, TEMPLATE_DIALOG.cx);
    m_linkSite->PreSubclassWindow();

    OnInitDialog();
    ok->setFocus();
}

QString CAboutDlg::GetProductVersionText() {
    return QStringLiteral(ORVANTIS_VERSION_TEXT);
}

void CAboutDlg::OnInitDialog() {
    m_staticVersion->setText(QStringLiteral("Orvantis, Version %1").arg(GetProductVersionText()));
}
