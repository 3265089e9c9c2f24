// SPDX-License-Identifier: MIT
#include "core/app/PriceTracker.h"

#include "core/common/Globals.h"
#include "core/settings/Settings.h"

#include <cmath>

namespace {

// Whether the move from the reference is to be told. Every difference is at least a
// threshold of zero or below, the price that did not move at all included: with such a
// threshold any change of a cent or more is told, and a price that shows as the
// reference (both as stored, with two decimals) only refreshes.
bool ThresholdReached(double price, double last, double threshold) {
    if (threshold <= 0.0) {
        return FormatPrice(price) != FormatPrice(last);
    }
    // A comparison with a not-a-number value is false, so it counts as below the threshold.
    return std::fabs(price - last) >= threshold;
}

} // namespace

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

    // A held reference goes to the file as soon as the file takes it.
    if (m_heldReference && WriteSetting(KEY_LAST_PRICE, FormatPrice(*m_heldReference))) {
        m_heldReference.reset();
    }
    const std::string storedLast = ReadSetting(KEY_LAST_PRICE);
    const double last = m_heldReference.value_or(ParseDouble(storedLast, 0.0));
    const bool reached = ThresholdReached(price, last, ReadSetting(KEY_PRICE_CHANGE));
    // The window shows what was decided, also what the file could not take.
    PriceUpdate update{PRICE_UPDATE_REFRESH,
                       {},
                       m_heldReference ? FormatPrice(*m_heldReference) : storedLast,
                       FormatPrice(price)};
    if (reached) {
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
