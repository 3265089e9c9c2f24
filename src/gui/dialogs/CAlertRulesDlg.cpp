// SPDX-License-Identifier: MIT
#include "gui/dialogs/CAlertRulesDlg.h"

#include "core/settings/AlertSettings.h"
#include "gui/common/DialogTemplate.h"
#include "platform/common/WallClock.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
constexpr DlgItem TEMPLATE_DIALOG{CAlertRulesDlg::IDD, 0, 0, 214, 178};
constexpr int LABEL_X = 10;
constexpr int LABEL_CX = 78;
constexpr int FIELD_X = 90;
constexpr int ROW_TOP = 10;
constexpr int ROW_STEP = 18;
constexpr int UNIT_GAP = 4;
constexpr int RIGHT_MARGIN = 10;
constexpr DlgItem TEMPLATE_SNOOZE_LABEL{0, LABEL_X, 118, 194, 8};
constexpr DlgItem TEMPLATE_SNOOZE{0, LABEL_X, 132, 70, 14};
constexpr DlgItem TEMPLATE_RESUME{0, 86, 132, 50, 14};
constexpr DlgItem TEMPLATE_OK{1, 46, 156, 50, 14};
constexpr DlgItem TEMPLATE_CANCEL{2, 118, 156, 50, 14};
const QString CAPTION = QStringLiteral("Alert Rules");
const QString STYLE_NOTIFICATION = QStringLiteral("notification");

QString Trimmed(const QLineEdit* edit) {
    return edit->text().trimmed();
}

// A number as the user would type it: "2400", "0.5".
QString NumberText(std::optional<double> value) {
    return value ? QString::number(*value, 'g', 12) : QString();
}

QString ClockText(int minute) {
    return QStringLiteral("%1:%2")
        .arg(minute / 60, 2, 10, QLatin1Char('0'))
        .arg(minute % 60, 2, 10, QLatin1Char('0'));
}

QPushButton* AddButton(QWidget* dialog, const CDialogUnits& units, const DlgItem& item,
                       const QString& text, const char* name) {
    auto* button = new QPushButton(text, dialog);
    button->setObjectName(QString::fromLatin1(name));
    PlaceItem(button, units, item);
    return button;
}

std::optional<double> Number(const QLineEdit* edit) {
    return ParseAlertNumber(Trimmed(edit).toStdString());
}
} // namespace

CAlertRulesDlg::CAlertRulesDlg(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
    setObjectName(QStringLiteral("CAlertRulesDlg"));
    setWindowTitle(CAPTION);
    const CDialogUnits units = ApplyDialogTemplate(this, TEMPLATE_DIALOG);

    // Created top to bottom, which is also the tab order.
    QLabel* styleLabel = StaticText(QStringLiteral("Alert with"), this);
    PlaceTextItem(styleLabel, units, {0, LABEL_X, ROW_TOP + 2, LABEL_CX, 8}, FIELD_X - 1);
    m_comboStyle = new QComboBox(this);
    m_comboStyle->addItems({QStringLiteral("A dialog"), QStringLiteral("A desktop notification")});
    PlaceItem(m_comboStyle, units, {0, FIELD_X, ROW_TOP, 114, 14});
    m_comboStyle->setObjectName(QStringLiteral("IDC_STYLE"));
    m_editPercent =
        AddRow(QStringLiteral("Also on a change of"), QStringLiteral("% (0 = off)"), 1, 36);
    m_editAbove = AddRow(QStringLiteral("Alert at or above"), QStringLiteral("dollars"), 2, 48);
    m_editBelow = AddRow(QStringLiteral("Alert at or below"), QStringLiteral("dollars"), 3, 48);
    m_editBand =
        AddRow(QStringLiteral("Re-arm a level after"), QStringLiteral("dollars back"), 4, 36);
    m_editQuietFrom = AddRow(QStringLiteral("Quiet hours from"), QStringLiteral("to"), 5, 30);
    m_editQuietTo = new QLineEdit(this);
    PlaceItem(m_editQuietTo, units, {0, FIELD_X + 48, ROW_TOP + 5 * ROW_STEP, 30, 13});
    for (QLineEdit* edit : {m_editQuietFrom, m_editQuietTo}) {
        edit->setPlaceholderText(QStringLiteral("HH:MM"));
    }

    m_lblSnooze = StaticText(QString(), this);
    PlaceItem(m_lblSnooze, units, TEMPLATE_SNOOZE_LABEL);
    QPushButton* snooze =
        AddButton(this, units, TEMPLATE_SNOOZE, QStringLiteral("Snooze 1 hour"), "IDC_SNOOZE");
    QPushButton* resume =
        AddButton(this, units, TEMPLATE_RESUME, QStringLiteral("Resume"), "IDC_RESUME");
    QPushButton* ok = AddButton(this, units, TEMPLATE_OK, QStringLiteral("OK"), "IDOK");
    ok->setDefault(true);
    QPushButton* cancel =
        AddButton(this, units, TEMPLATE_CANCEL, QStringLiteral("Cancel"), "IDCANCEL");
    WidenToFitItems(this, units, RIGHT_MARGIN);
    const std::pair<QObject*, const char*> names[] = {
        {m_editPercent, "IDC_PERCENT"},      {m_editAbove, "IDC_ABOVE"},
        {m_editBelow, "IDC_BELOW"},          {m_editBand, "IDC_BAND"},
        {m_editQuietFrom, "IDC_QUIET_FROM"}, {m_editQuietTo, "IDC_QUIET_TO"},
        {m_lblSnooze, "IDC_SNOOZE_STATE"}};
    for (const auto& [object, name] : names) {
        object->setObjectName(QString::fromLatin1(name));
    }

    connect(snooze, &QPushButton::clicked, this, [this] {
        m_snooze = WallClock::NowSeconds() + SNOOZE_SECONDS;
        ShowSnooze();
    });
    connect(resume, &QPushButton::clicked, this, [this] {
        m_snooze.reset();
        ShowSnooze();
    });
    connect(ok, &QPushButton::clicked, this, &CAlertRulesDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CAlertRulesDlg::reject);

    OnInitDialog();
    m_comboStyle->setFocus();
}

QLineEdit* CAlertRulesDlg::AddRow(const QString& label, const QString& unit, int row,
                                  int fieldWidth) {
    const CDialogUnits units(font());
    const int y = ROW_TOP + row * ROW_STEP;
    PlaceTextItem(StaticText(label, this), units, {0, LABEL_X, y + 2, LABEL_CX, 8}, FIELD_X - 1);
    auto* edit = new QLineEdit(this);
    PlaceItem(edit, units, {0, FIELD_X, y, fieldWidth, 13});
    const int unitX = FIELD_X + fieldWidth + UNIT_GAP;
    PlaceTextItem(StaticText(unit, this), units, {0, unitX, y + 2, 20, 8},
                  TEMPLATE_DIALOG.cx - RIGHT_MARGIN);
    return edit;
}

void CAlertRulesDlg::OnInitDialog() {
    const AlertSettings settings = ReadAlertSettings();
    m_initialStyle = settings.style == AlertStyle::Notification ? 1 : 0;
    m_comboStyle->setCurrentIndex(m_initialStyle);
    m_initialPercent = NumberText(settings.percentChange > 0 ? settings.percentChange : 0.0);
    m_initialAbove = NumberText(settings.alertAbove);
    m_initialBelow = NumberText(settings.alertBelow);
    m_initialBand = NumberText(settings.levelBand);
    m_editPercent->setText(m_initialPercent);
    m_editAbove->setText(m_initialAbove);
    m_editBelow->setText(m_initialBelow);
    m_editBand->setText(m_initialBand);
    if (settings.quietHours) {
        m_editQuietFrom->setText(ClockText(settings.quietHours->fromMinute));
        m_editQuietTo->setText(ClockText(settings.quietHours->toMinute));
    }
    m_initialQuiet = Trimmed(m_editQuietFrom) + QLatin1Char('-') + Trimmed(m_editQuietTo);
    // One that has ended is no snooze.
    if (settings.snoozeUntil && *settings.snoozeUntil > WallClock::NowSeconds()) {
        m_initialSnooze = settings.snoozeUntil;
    }
    m_snooze = m_initialSnooze;
    ShowSnooze();
}

void CAlertRulesDlg::ShowSnooze() {
    m_lblSnooze->setText(
        m_snooze ? QStringLiteral("Alerts snoozed until %1")
                       .arg(QDateTime::fromSecsSinceEpoch(*m_snooze).toLocalTime().toString(
                           QStringLiteral("ddd HH:mm")))
                 : QStringLiteral("Alerts are on."));
}

bool CAlertRulesDlg::CheckValues() {
    const auto positiveOrEmpty = [](const QLineEdit* edit) {
        const auto value = Number(edit);
        return Trimmed(edit).isEmpty() || (value && *value > 0);
    };
    const auto clockOrEmpty = [this](const QLineEdit* edit) {
        // Both empty is off; one alone is not a span.
        if (Trimmed(m_editQuietFrom).isEmpty() && Trimmed(m_editQuietTo).isEmpty()) {
            return true;
        }
        return ParseClockTime(Trimmed(edit).toStdString()).has_value();
    };
    const auto percent = Number(m_editPercent);
    const auto band = Number(m_editBand);
    const std::tuple<bool, QLineEdit*, QString> checks[] = {
        {Trimmed(m_editPercent).isEmpty() || (percent && *percent >= 0), m_editPercent,
         QStringLiteral("The percent change must be a number of 0 or more.")},
        {positiveOrEmpty(m_editAbove), m_editAbove,
         QStringLiteral("\"Alert at or above\" must be a price above 0, or empty.")},
        {positiveOrEmpty(m_editBelow), m_editBelow,
         QStringLiteral("\"Alert at or below\" must be a price above 0, or empty.")},
        {band && *band >= 0, m_editBand,
         QStringLiteral("The level band must be a number of dollars of 0 or more.")},
        {clockOrEmpty(m_editQuietFrom), m_editQuietFrom,
         QStringLiteral("The start of the quiet hours must be a time as HH:MM.")},
        {clockOrEmpty(m_editQuietTo), m_editQuietTo,
         QStringLiteral("The end of the quiet hours must be a time as HH:MM.")},
        {Trimmed(m_editQuietFrom).isEmpty() || Trimmed(m_editQuietFrom) != Trimmed(m_editQuietTo),
         m_editQuietTo,
         QStringLiteral("The quiet hours must end at another time than they start.")},
    };
    for (const auto& [good, edit, message] : checks) {
        if (!good) {
            QMessageBox::warning(this, CAPTION, message);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
    }
    return true;
}

void CAlertRulesDlg::WriteChanged() {
    if (m_comboStyle->currentIndex() != m_initialStyle) {
        WriteAlertSetting(KEY_ALERT_STYLE, m_comboStyle->currentIndex() == 1
                                               ? STYLE_NOTIFICATION.toStdString()
                                               : std::string("dialog"));
    }
    const std::pair<QLineEdit*, std::pair<const QString*, const char*>> numbers[] = {
        {m_editPercent, {&m_initialPercent, KEY_PERCENT_CHANGE}},
        {m_editAbove, {&m_initialAbove, KEY_ALERT_ABOVE}},
        {m_editBelow, {&m_initialBelow, KEY_ALERT_BELOW}},
        {m_editBand, {&m_initialBand, KEY_LEVEL_BAND}}};
    for (const auto& [edit, initial] : numbers) {
        if (Trimmed(edit) != *initial.first) {
            const QString text = edit == m_editPercent && Trimmed(edit).isEmpty()
                                     ? QStringLiteral("0")
                                     : Trimmed(edit);
            WriteAlertSetting(initial.second, text.toStdString());
        }
    }
    if (Trimmed(m_editQuietFrom) + QLatin1Char('-') + Trimmed(m_editQuietTo) != m_initialQuiet) {
        const auto from = ParseClockTime(Trimmed(m_editQuietFrom).toStdString());
        const auto to = ParseClockTime(Trimmed(m_editQuietTo).toStdString());
        WriteAlertSetting(KEY_QUIET_HOURS,
                          from && to ? FormatQuietHours({*from, *to}) : std::string());
    }
    if (m_snooze != m_initialSnooze) {
        WriteAlertSetting(KEY_SNOOZE_UNTIL, m_snooze ? FormatUtcInstant(*m_snooze) : std::string());
    }
}

void CAlertRulesDlg::accept() {
    if (!CheckValues()) {
        return;
    }
    WriteChanged();
    QDialog::accept();
}
