// SPDX-License-Identifier: MIT
#pragma once

#include "Channel.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What each channel of one alert's route has done: the alert's receipt. The sender tries
// the channels in order and writes this down before it moves on, so that after a crash
// it neither repeats a channel that delivered nor one that failed.
class AlertProgress final {
public:
    using Time = std::chrono::system_clock::time_point;
    enum class State { Queued, Retrying, Delivered, Failed, Skipped };
    struct Step {
        std::string channel; // Channel::Text()
        State state = State::Queued;
        int attempts = 0;
        Time at{}; // of the last change
        std::string reason;
    };

    AlertProgress() = default;
    AlertProgress(const Route& route, Time received);

    // Takes a route that may have changed since this was written: its channels in its
    // order, each with the state written down for it, if any. A delivered alert keeps its
    // record as it is.
    void Follow(const Route& route);
    bool Delivered() const;
    // The channel to try: the first queued or retrying one. Nullopt once one delivered or
    // every one failed.
    std::optional<std::size_t> Current() const;
    // Since when the channel has been the one to try: the alert's arrival, or the moment
    // the one before it failed.
    Time WaitingSince(std::size_t index) const;
    // A new state of one channel; after a delivery the channels behind it are skipped.
    void Record(std::size_t index, State state, Time now, std::string_view reason, bool attempted);
    // Every channel that has not delivered or failed yet fails for this reason.
    void FailRemaining(Time now, std::string_view reason);
    const std::vector<Step>& Steps() const { return m_steps; }

    // The receipt file's text, and back; FromText() takes only what Text() writes.
    std::string Text() const;
    static bool FromText(std::string_view text, AlertProgress& progress);
    // The answer to GET /status/<id>: the alert's state and each channel's, by kind only.
    std::string Json(const std::string& id) const;

private:
    Time m_received{};
    std::vector<Step> m_steps;
};
