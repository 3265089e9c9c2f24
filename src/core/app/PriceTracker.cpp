// SPDX-License-Identifier: MIT
#include "core/app/PriceTracker.h"

#include "core/app/Settings.h"
#include "core/common/Globals.h"

#include <cmath>
#include <mutex>
#include <optional>

namespace {

// The reference that could not be stored. While the file cannot be written, prices are
// compared with it, not with the stale one in the file, so one move is told once and not
// again at every poll.
struct HeldReference {
    std::mutex mutex;
    std::optional<double> price;
    std::string file; // the settings file it belongs to
};

HeldReference& Held() {
    static auto* held = new HeldReference;
    return *held;
}

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

bool ProcessNewPrice(const std::string& priceText, int& waitingFlag) {
    const double price = ParseDouble(priceText, 0.0);
    // A non-finite reference would make every later price a notification: never store one.
    if (price == 0.0 || !std::isfinite(price)) {
        return false;
    }
    if (g_pMainDlg.load() == nullptr) {
        return false;
    }
    waitingFlag = 0;

    HeldReference& held = Held();
    const std::lock_guard lock(held.mutex);
    if (held.file != g_strIniFile) {
        held.price.reset();
        held.file = g_strIniFile;
    }
    // A held reference goes to the file as soon as the file takes it.
    if (held.price && WriteSetting(KEY_LAST_PRICE, FormatPrice(*held.price))) {
        held.price.reset();
    }
    const double last = held.price.value_or(ParseDouble(ReadSetting(KEY_LAST_PRICE, ""), 0.0));
    const bool reached = ThresholdReached(price, last, ReadThreshold());
    if (reached) {
        WriteSetting(KEY_TIP_LAST_PRICE, FormatPrice(last));
        if (WriteSetting(KEY_LAST_PRICE, FormatPrice(price))) {
            held.price.reset();
        } else {
            // Held as the file would have stored it: with two decimals.
            held.price = ParseDouble(FormatPrice(price), price);
        }
    }
    WriteSetting(KEY_CURRENT_PRICE, FormatPrice(price));
    // The writes are complete before the post, so the main window reads at least them.
    if (IPriceWindow* window = g_pMainDlg.load()) {
        window->PostPriceUpdate(reached ? PRICE_UPDATE_NOTIFY : PRICE_UPDATE_REFRESH);
    }
    return true;
}
