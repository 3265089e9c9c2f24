// SPDX-License-Identifier: MIT
#pragma once

#include "core/app/PriceLine.h"

#include <QDialog>
#include <optional>

class CInfWnd;

// "Gold Price Changed": the previous reference, the new price and their change, as
// given, else read from the settings file when the dialog opens. Closes only on the
// user's action.
class CTipDialog final : public QDialog {
    Q_OBJECT
public:
    explicit CTipDialog(QWidget* owner = nullptr, std::optional<PriceView> prices = std::nullopt);
    Q_DISABLE_COPY(CTipDialog)

    static constexpr int IDD = 103;
    static constexpr int IDC_INF = 1004;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OnInitDialog(std::optional<PriceView> prices);

    CInfWnd* m_infWnd;
    void PlaceOverOwner();
    bool m_placed = false;
};
