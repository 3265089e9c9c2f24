// SPDX-License-Identifier: MIT
#pragma once

#include "core/app/PriceLine.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

class CDesktopNotifier;

// "Gold Price Changed" as a desktop notification, with the actions "Snooze 1 hour",
// "Snooze until tomorrow", "Open" and "History". It beeps as the dialog does once the server has
// shown it; where no server shows it the dialog opens instead.
class CAlertNotifier final : public QObject {
    Q_OBJECT
public:
    struct CallBacks {
        std::function<void(const PriceView&)> showDialog;   // the dialog instead
        std::function<void(const QByteArray&)> openMain;    // with an activation token
        std::function<void(const QByteArray&)> openHistory; // the same
    };
    CAlertNotifier(CallBacks callBacks, QObject* parent = nullptr);
    Q_DISABLE_COPY(CAlertNotifier)

    static constexpr int SNOOZE_HOUR_SECONDS = 3600;
    static constexpr int TOMORROW_HOUR = 8;

    void Alert(const PriceView& prices);

    // The three lines of the dialog.
    static QString BodyText(const PriceView& prices);
    // When "Snooze until tomorrow" ends: 08:00 local time on the next day.
    static QDateTime TomorrowMorning(const QDateTime& now);

private:
    void OnAction(const QString& key, const QString& activationToken);

    CallBacks m_callBacks;
    // Connected to the bus on the first alert: with the dialog style nothing of it exists.
    CDesktopNotifier* m_notifier = nullptr;
};
