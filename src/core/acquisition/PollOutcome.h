// SPDX-License-Identifier: MIT
#pragma once

#include "core/acquisition/ChartDownload.h"
#include "core/acquisition/ChartReader.h"

#include <string>

// What one poll of the chart came to: a price read, or why not.
enum class PollResult {
    PriceRead,
    Unreachable,  // the chart server could not be reached
    TimedOut,     // it did not answer in time
    HttpStatus,   // it answered with an HTTP status outside 200..299
    TooLarge,     // its answer was larger than any chart
    NetworkError, // the transfer failed in some other way
    NotPng,       // the answer is not a PNG image the reader can decode
    NoAnchor,     // a PNG image without the anchor glyph in its top band
    NoDigits,     // an anchor, but no price after it that reads as a number
};

struct PollOutcome {
    PollResult result = PollResult::PriceRead;
    long httpStatus = 0; // for PollResult::HttpStatus
    std::string error;   // the network layer's words for PollResult::NetworkError

    friend bool operator==(const PollOutcome&, const PollOutcome&) = default;
};

// The outcome of a download that failed (report.failure is not None or Stopped).
PollOutcome OutcomeOfDownload(const DownloadReport& report);
// The outcome of a chart that was downloaded whole but whose price was not taken:
// status is the reader's; a text it read that the tracker refused counts as no digits.
PollOutcome OutcomeOfUnreadChart(ChartReadStatus status);

// True for the outcomes of a chart that arrived whole but could not be read: the ones
// worth keeping for a look at what changed.
bool IsUnreadableChart(PollResult result);

// For people, starting in lower case: "the chart server answered with HTTP status 404".
std::string DescribeOutcome(const PollOutcome& outcome);
