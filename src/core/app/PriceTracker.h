// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

// Decides when the user is told of a move: owned by the polling thread that feeds it.
class CPriceTracker final {
public:
    // Judges one price text read from the chart against the reference under the
    // threshold, stores the result in the settings file and posts WM_PRICE_UPDATE with the
    // prices to the main window (g_pMainDlg). True, with waitingFlag set to 0, when it
    // accepts the price.
    bool ProcessNewPrice(const std::string& priceText, int& waitingFlag);
    // Whether the last price it judged made a notification.
    bool LastNotified() const { return m_lastNotified; }

private:
    // The reference that could not be stored. While the file cannot be written, prices
    // are compared with it, not with the stale one in the file, so one move is told once
    // and not again at every poll.
    std::optional<double> m_heldReference;
    bool m_lastNotified = false;
};
