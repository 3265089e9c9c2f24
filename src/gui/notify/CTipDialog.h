// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class CInfWnd;

// "Gold Price Changed": the previous reference, the new price and their change, read
// from the settings file when the dialog opens. Closes only on the user's action.
class CTipDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CTipDialog(QWidget* owner = nullptr);
    Q_DISABLE_COPY(CTipDialog)

    static constexpr int IDD = 103;
    static constexpr int IDC_INF = 1004;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog();

    CInfWnd* m_infWnd;
    void PlaceOverOwner();
    bool m_placed = false;
};
