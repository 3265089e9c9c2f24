// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

// "Alert Rules": how an alert shows, the percentage and level rules, quiet hours and the
// snooze. Checks every value before OK and then writes only what the user changed, so a
// settings file without alert rules keeps none after an OK that changed nothing. Cancel
// and Esc write nothing, the snooze buttons included.
class CAlertRulesDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CAlertRulesDlg(QWidget* owner = nullptr);
    Q_DISABLE_COPY(CAlertRulesDlg)

    static constexpr int IDD = 105;
    static constexpr int SNOOZE_SECONDS = 3600;

public slots:
    void accept() override;

private:
    QLineEdit* AddRow(const QString& label, const QString& unit, int row, int fieldWidth);
    void OnInitDialog();
    void ShowSnooze();
    // The first value that is not its form: its message and field, or nothing.
    bool CheckValues();
    void WriteChanged();

    QComboBox* m_comboStyle = nullptr;
    QLineEdit* m_editPercent = nullptr;
    QLineEdit* m_editAbove = nullptr;
    QLineEdit* m_editBelow = nullptr;
    QLineEdit* m_editBand = nullptr;
    QLineEdit* m_editQuietFrom = nullptr;
    QLineEdit* m_editQuietTo = nullptr;
    QLabel* m_lblSnooze = nullptr;
    // The texts as they were shown, to tell what the user changed.
    int m_initialStyle = 0;
    QString m_initialPercent, m_initialAbove, m_initialBelow, m_initialBand, m_initialQuiet;
    std::optional<std::int64_t> m_initialSnooze;
    std::optional<std::int64_t> m_snooze;
};
