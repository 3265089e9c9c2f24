// SPDX-License-Identifier: MIT
#include "core/app/PriceLine.h"

#include "core/settings/SettingText.h"

#include <utility>

PriceView MakePriceView(std::string lastText, std::string currentText) {
    PriceView prices{std::move(lastText), std::move(currentText), 0.0};
    if (!prices.lastNotify.empty() && !prices.current.empty()) {
        prices.change = ParseDouble(prices.current, 0.0) - ParseDouble(prices.lastNotify, 0.0);
    }
    return prices;
}

ChangeSign SignOfChange(const PriceView& prices) {
    if (prices.current.empty()) {
        return ChangeSign::None;
    }
    if (prices.change > 0) {
        return ChangeSign::Up;
    }
    // Not-a-number is neither up nor down.
    return prices.change < 0 ? ChangeSign::Down : ChangeSign::Flat;
}

std::string ChangeText(double change) {
    const std::string text = FormatPrice(change);
    return change > 0 ? "+" + text : text;
}

std::string PriceLine(const PriceView& prices) {
    if (prices.current.empty()) {
        return OBTAINING_TEXT;
    }
    return prices.current + " " + ChangeText(prices.change);
}
