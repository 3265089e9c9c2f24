// SPDX-License-Identifier: MIT
#include "core/app/PriceTracker.h"

#include "core/common/Globals.h"
#include "core/settings/Settings.h"

#include <cmath>

bool CPriceTracker::ProcessNewPrice(const std::string& priceText, int& waitingFlag) {
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
    const double last = m_heldReference.value_or(ParseDouble(ReadSetting(KEY_LAST_PRICE), 0.0));
    const double threshold = ReadSetting(KEY_PRICE_CHANGE);
    // A comparison with a not-a-number value is false, so it counts as below the threshold.
    const bool reached = std::fabs(price - last) >= threshold;
    if (reached) {
        WriteSetting(KEY_TIP_LAST_PRICE, FormatPrice(last));
        if (WriteSetting(KEY_LAST_PRICE, FormatPrice(price))) {
            m_heldReference.reset();
        } else {
            // Held as the file would have stored it: with two decimals.
            m_heldReference = ParseDouble(FormatPrice(price), price);
        }
    }
    WriteSetting(KEY_CURRENT_PRICE, FormatPrice(price));
    // The writes are complete before the post, so the main window reads at least them.
    if (IPriceWindow* window = g_pMainDlg.load()) {
        window->PostPriceUpdate(reached ? PRICE_UPDATE_NOTIFY : PRICE_UPDATE_REFRESH);
    }
    return true;
}
