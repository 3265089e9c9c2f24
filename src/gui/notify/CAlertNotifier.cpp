// SPDX-License-Identifier: MIT
#include "gui/notify/CAlertNotifier.h"

#include "core/app/InstanceProtocol.h"
#include "core/settings/AlertSettings.h"
#include "desktop/CDesktopNotifier.h"
#include "platform/common/WallClock.h"

#include <QApplication>
#include <QGuiApplication>

namespace {
const QString ACTION_SNOOZE_HOUR = QStringLiteral("snooze-hour");
const QString ACTION_SNOOZE_TOMORROW = QStringLiteral("snooze-tomorrow");
const QString ACTION_OPEN = QStringLiteral("open");
const QString ACTION_HISTORY = QStringLiteral("history");
const QString ACTION_DEFAULT = QStringLiteral("default");

// Servers that take markup would read '<' or '&' of a stored price as a tag.
QString PlainText(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

void SnoozeUntil(const QDateTime& end) {
    WriteAlertSetting(KEY_SNOOZE_UNTIL, FormatUtcInstant(end.toSecsSinceEpoch()));
}
} // namespace

CAlertNotifier::CAlertNotifier(CallBacks callBacks, QObject* parent)
    : QObject(parent), m_callBacks(std::move(callBacks)) {}

QString CAlertNotifier::BodyText(const PriceView& prices) {
    return QStringLiteral("Last Notify Price: %1\nCurrent Price: %2\nChange: %3")
        .arg(PlainText(prices.lastNotify), PlainText(prices.current),
             QString::fromStdString(ChangeText(prices.change)));
}

QDateTime CAlertNotifier::TomorrowMorning(const QDateTime& now) {
    const QDateTime local = now.toLocalTime();
    return QDateTime(local.date().addDays(1), QTime(TOMORROW_HOUR, 0));
}

void CAlertNotifier::Alert(const PriceView& prices) {
    if (m_notifier == nullptr) {
        m_notifier = new CDesktopNotifier(this);
        connect(m_notifier, &CDesktopNotifier::Shown, this, [] { QApplication::beep(); });
        connect(m_notifier, &CDesktopNotifier::Failed, this, [this](const QVariant& tag) {
            if (m_callBacks.showDialog) {
                m_callBacks.showDialog(tag.value<PriceView>());
            }
        });
        connect(m_notifier, &CDesktopNotifier::ActionInvoked, this, &CAlertNotifier::OnAction);
    }
    DesktopNotification notification;
    notification.appName = QApplication::applicationName();
    notification.desktopEntry = QGuiApplication::desktopFileName();
    notification.appIcon = notification.desktopEntry;
    notification.summary = QStringLiteral("Gold Price Changed");
    notification.body = BodyText(prices);
    notification.actions = {{ACTION_SNOOZE_HOUR, QStringLiteral("Snooze 1 hour")},
                            {ACTION_SNOOZE_TOMORROW, QStringLiteral("Snooze until tomorrow")},
                            {ACTION_OPEN, QStringLiteral("Open")},
                            {ACTION_HISTORY, QStringLiteral("History")},
                            {ACTION_DEFAULT, QStringLiteral("Open")}};
    notification.tag = QVariant::fromValue(prices);
    m_notifier->Send(notification);
}

void CAlertNotifier::OnAction(const QString& key, const QString& activationToken) {
    const QDateTime now = QDateTime::fromSecsSinceEpoch(WallClock::NowSeconds(), Qt::UTC);
    if (key == ACTION_SNOOZE_HOUR || key == ACTION_SNOOZE_TOMORROW) {
        SnoozeUntil(key == ACTION_SNOOZE_HOUR ? now.addSecs(SNOOZE_HOUR_SECONDS)
                                              : TomorrowMorning(now));
        return;
    }
    // The token comes from another process: only one of the token's form is passed on.
    QByteArray token = activationToken.toUtf8();
    if (!IsActivationToken(std::string_view(token.constData(), token.size()))) {
        token.clear();
    }
    if ((key == ACTION_OPEN || key == ACTION_DEFAULT) && m_callBacks.openMain) {
        m_callBacks.openMain(token);
    } else if (key == ACTION_HISTORY && m_callBacks.openHistory) {
        m_callBacks.openHistory(token);
    }
}
