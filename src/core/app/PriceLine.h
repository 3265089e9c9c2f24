// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Shown in place of the current price until this run has read one.
inline constexpr const char* OBTAINING_TEXT = "Obtaining...";

// The prices a window shows, as stored in the settings file.
struct PriceView {
    std::string lastNotify; // the reference price
    std::string current;    // the latest price; empty until one is known
    double change = 0.0;    // current - reference when both texts are there, else 0

    friend bool operator==(const PriceView&, const PriceView&) = default;
};

// The view of two stored price texts, kept as they are: the change is current - last when
// both are non-empty (a text that holds no number counts as 0), else 0.
PriceView MakePriceView(std::string lastText, std::string currentText);

// How the change is drawn. By the number, not by its rounded text: +0.004 rises.
enum class ChangeSign {
    None, // no current price yet: no change is shown
    Up,
    Down,
    Flat,
};
ChangeSign SignOfChange(const PriceView& prices);

// The change with two decimals, a rise with its '+': "+12.50", "-12.50", "0.00", and
// "-0.00" for a fall too small to show.
std::string ChangeText(double change);

// The floating window's line (also the status bars'): "Obtaining..." until a price is
// known, else the price as stored, a space and the change: "1662.50 +12.50".
std::string PriceLine(const PriceView& prices);
