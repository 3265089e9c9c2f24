// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Judges one price text read from the chart against the reference under the threshold,
// stores the result in the settings file and posts WM_PRICE_UPDATE to the main window
// (g_pMainDlg). True, with waitingFlag set to 0, when it accepts the price.
bool ProcessNewPrice(const std::string& priceText, int& waitingFlag);
