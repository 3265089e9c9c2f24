// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

// A quote as a feed writes it: a decimal number with an optional exponent, blanks around
// it allowed, nothing else ("1662.50", " 1.6625e3 "). No sign check here: the quote
// gate decides what a price may be. NaN and infinity parse, so that the gate names them.
std::optional<double> ParseQuoteNumber(std::string_view text);

// A quote for the log: two decimals, or a short form for a value no price has.
std::string QuoteText(double value);
