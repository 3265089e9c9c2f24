// SPDX-License-Identifier: MIT
#include "core/app/PriceTracker.h"

#include "core/alerts/AlertClock.h"
#include "core/alerts/AlertRules.h"
#include "core/common/Globals.h"
#include "core/settings/AlertSettings.h"
#include "core/settings/Settings.h"

#include <cmath>

std::atomic<unsigned> CPriceTracker::s_resets{0};

CPriceTracker::CPriceTracker(Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(AlertClockNow)), m_resetsSeen(s_resets.load()) {}

std::string CPriceTracker::ResetReference() {
    const std::string current = ReadSetting(KEY_CURRENT_PRICE);
    const double price = ParseDouble(current, 0.0);
    if (price <= 0.0 || !std::isfinite(price)) {
        return "no price has been read yet, so there is nothing to take as the reference";
    }
    if (!WriteSetting(KEY_LAST_PRICE, FormatPrice(price))) {
        return "the settings file cannot be written: " + SettingsWriteProblem();
    }
    s_resets.fetch_add(1);
    return {};
}

void CPriceTracker::StoreArmedStates(const AlertSettings& alerts, const AlertDecision& decision) {
    // Only for a level that is set, and only when it changes: a file without levels
    // stays as it is.
    if (alerts.alertAbove && decision.aboveArmed != alerts.aboveArmed) {
        WriteAlertSetting(KEY_ABOVE_ARMED, decision.aboveArmed ? "1" : "0");
    }
    if (alerts.alertBelow && decision.belowArmed != alerts.belowArmed) {
        WriteAlertSetting(KEY_BELOW_ARMED, decision.belowArmed ? "1" : "0");
    }
}

bool CPriceTracker::ProcessNewPrice(const std::string& priceText, int& waitingFlag) {
    m_lastNotified = false;
    const double price = ParseDouble(priceText, 0.0);
    // A non-finite reference would make every later price a notification: never store one.
    if (price == 0.0 || !std::isfinite(price)) {
        return false;
    }
    if (g_pMainDlg.load() == nullptr) {
        return false;
    }
    waitingFlag = 0;

    // The user set the reference by hand: it is in the file, or could not be stored.
    if (const unsigned resets = s_resets.load(); resets != m_resetsSeen) {
        m_resetsSeen = resets;
        m_heldReference.reset();
    }
    // A held reference goes to the file as soon as the file takes it.
    if (m_heldReference && WriteSetting(KEY_LAST_PRICE, FormatPrice(*m_heldReference))) {
        m_heldReference.reset();
    }
    const std::string storedLast = ReadSetting(KEY_LAST_PRICE);
    const double last = m_heldReference.value_or(ParseDouble(storedLast, 0.0));
    const AlertSettings alerts = ReadAlertSettings();
    const AlertDecision decision =
        JudgeAlert(alerts, ReadSetting(KEY_PRICE_CHANGE), last, price, AlertMomentAt(m_clock()));
    // Stored before the user is told, so that a level told once is not told again after
    // the program was killed.
    StoreArmedStates(alerts, decision);
    // The window shows what was decided, also what the file could not take.
    PriceUpdate update{PRICE_UPDATE_REFRESH,
                       {},
                       m_heldReference ? FormatPrice(*m_heldReference) : storedLast,
                       FormatPrice(price)};
    if (decision.notify) {
        m_lastNotified = true;
        update = {PRICE_UPDATE_NOTIFY, FormatPrice(last), FormatPrice(price), FormatPrice(price)};
        WriteSetting(KEY_TIP_LAST_PRICE, update.tipLastPrice);
        if (WriteSetting(KEY_LAST_PRICE, update.lastPrice)) {
            m_heldReference.reset();
        } else {
            // Held as the file would have stored it: with two decimals.
            m_heldReference = ParseDouble(FormatPrice(price), price);
        }
    }
    WriteSetting(KEY_CURRENT_PRICE, update.currentPrice);
    // The writes are complete before the post: what the window shows is in the file
    // whenever the file can take it.
    if (IPriceWindow* window = g_pMainDlg.load()) {
        window->PostPriceUpdate(update);
    }
    return true;
}
