// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>

class CHyperLink;
class QLabel;

// "About Orvantis": the logo, the name with the build's version, the maker's notice and
// a link to the maker's web site. Writes nothing.
class CAboutDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* owner = nullptr);
    Q_DISABLE_COPY(CAboutDlg)

    static constexpr int IDD = 100;
    static constexpr int IDC_SITE = 1018;
    static constexpr int IDC_VERSION = 1019;

    // The product version the build was made with, four numbers.
    static QString GetProductVersionText();

private:
    void OnInitDialog();

    CHyperLink* m_linkSite;
    QLabel* m_staticVersion;
};
