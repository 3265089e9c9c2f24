// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct AlertDecision;
struct AlertSettings;

// Decides when the user is told of a move: owned by the polling thread that feeds it.
class CPriceTracker final {
public:
    // The wall clock of the alert rules, seconds since the epoch (UTC).
    using Clock = std::function<std::int64_t()>;
    explicit CPriceTracker(Clock clock = {});

    // Judges one price text read from the chart against the reference under the
    // threshold and the alert rules, stores the result in the settings file and posts
    // WM_PRICE_UPDATE with the prices to the main window (g_pMainDlg). True, with
    // waitingFlag set to 0, when it accepts the price.
    bool ProcessNewPrice(const std::string& priceText, int& waitingFlag);
    // Whether the last price it judged made a notification.
    bool LastNotified() const { return m_lastNotified; }

    // Makes the current price the reference without telling the user, for every tracker:
    // the file takes it now and a reference held by a tracker is dropped at its next
    // price. Empty when done, else why not, for the user. Thread-safe.
    static std::string ResetReference();

private:
    void StoreArmedStates(const AlertSettings& alerts, const AlertDecision& decision);

    Clock m_clock;
    // The reference that could not be stored. While the file cannot be written, prices
    // are compared with it, not with the stale one in the file, so one move is told once
    // and not again at every poll.
    std::optional<double> m_heldReference;
    unsigned m_resetsSeen = 0;
    static std::atomic<unsigned> s_resets;
    bool m_lastNotified = false;
};
