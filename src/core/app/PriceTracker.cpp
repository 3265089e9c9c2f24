// SPDX-License-Identifier: MIT
#include "core/app/PriceTracker.h"

#include "core/app/Settings.h"
#include "core/common/Globals.h"

#include <cmath>

void ProcessNewPrice(const std::string& priceText, int& waitingFlag) {
    const double price = ParseDouble(priceText, 0.0);
    // A non-finite reference would make every later price a notification: never store one.
    if (price == 0.0 || !std::isfinite(price)) {
        return;
    }
    if (g_pMainDlg.load() == nullptr) {
        return;
    }
    waitingFlag = 0;

    const double last = ParseDouble(ReadSetting(KEY_LAST_PRICE, ""), 0.0);
    const double threshold = ReadThreshold();
    // A comparison with a not-a-number value is false, so it counts as below the threshold.
    const bool reached = std::fabs(price - last) >= threshold;
    if (reached) {
        WriteSetting(KEY_TIP_LAST_PRICE, FormatPrice(last));
        WriteSetting(KEY_LAST_PRICE, FormatPrice(price));
    }
    WriteSetting(KEY_CURRENT_PRICE, FormatPrice(price));
    // The writes are complete before the post, so the main window reads at least them.
    if (IPriceWindow* window = g_pMainDlg.load()) {
        window->PostPriceUpdate(reached ? PRICE_UPDATE_NOTIFY : PRICE_UPDATE_REFRESH);
    }
}
