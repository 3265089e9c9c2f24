// SPDX-License-Identifier: MIT
#pragma once

#include "publish/ChartBoard.h"
#include "publish/DayHistory.h"

#include <cstdint>
#include <memory>
#include <string>

// Draws the day's chart, and keeps it as a file in the publish folder for a web server
// in front: written whole after every accepted quote, removed when the price goes stale
// and when the service ends, so that no file ever shows an old price as current.
class ChartPublisher final {
public:
    static constexpr const char* FILE_NAME = "gold_1d_o_USD.png";

    // An empty folder publishes no file.
    explicit ChartPublisher(std::string publishDir);

    // The chart of the day as it stands at `now`, its last price at its top. Bytes equal
    // to `previous` keep its validators, so a client's copy stays valid.
    static std::shared_ptr<const ChartImage>
    Draw(const DayHistory& day, std::int64_t now,
         const std::shared_ptr<const ChartImage>& previous);

    bool Publish(const ChartImage& chart, std::string& error) const;
    // True also when there was nothing to remove.
    bool Withdraw(std::string& error) const;
    // The published file's path, empty when none is published.
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
