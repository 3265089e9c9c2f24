// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

// "Settings": the threshold, e-mail notification with its address and popup, and start
// at login. Loads its values when it opens and writes them back only on OK.
class CSettingDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CSettingDlg(QWidget* owner = nullptr);
    Q_DISABLE_COPY(CSettingDlg)

    static constexpr int IDD = 104;
    static constexpr int IDC_THRESHOLD = 1008;
    static constexpr int IDC_SEND_EMAIL = 1009;
    static constexpr int IDC_POPUP = 1010;
    static constexpr int IDC_EMAIL = 1011;
    static constexpr int IDC_STARTUP = 1012;
    static constexpr int IDC_EMAIL_LABEL = 1014;

    // The popup box, the address label and the address field follow the e-mail box;
    // disabled ones keep their tick and text.
    void UpdateEmailControls();

public slots:
    // OK and Enter: OnOK.
    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void OnOK();
    void OnEmailClicked();

    QCheckBox* m_btnEmail = nullptr;
    QCheckBox* m_btnPopup = nullptr;
    QLabel* m_lblEmail = nullptr;
    QLineEdit* m_editEmail = nullptr;
    QLineEdit* m_editThreshold = nullptr;
    QCheckBox* m_btnStartup = nullptr;
};
