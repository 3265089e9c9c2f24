// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

// Which channels have a delivery under way. Each channel takes one alert at a time, so a
// server that does not answer holds only the alerts waiting for it, never a thread that
// another channel's alert needs. An alert that finds its channel busy waits in line; when
// the delivery under way ends, the turn goes to the oldest one waiting. From any thread.
class ChannelTurns final {
public:
    // True when the channel was free and is now the caller's until Free(); else the
    // spool file waits in line for it.
    bool Take(const std::string& channel, const std::string& file);
    // The delivery through the channel ended: the channel is free, and the oldest file
    // waiting for it, if any, is to be tried next (it leaves the line).
    std::optional<std::string> Free(const std::string& channel);
    // While the channel is free: the oldest file waiting for it, if any (it leaves the
    // line). For a file that was handed the turn and went elsewhere.
    std::optional<std::string> PassOn(const std::string& channel);

private:
    std::optional<std::string> Next(const std::string& channel);

    std::mutex m_mutex;
    std::set<std::string> m_busy; // by Channel::Text()
    // By Channel::Text(); a spool file's name begins with its time, so the first is oldest.
    std::map<std::string, std::set<std::string>> m_waiting;
};
