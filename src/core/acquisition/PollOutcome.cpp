// SPDX-License-Identifier: MIT
#include "core/acquisition/PollOutcome.h"

PollOutcome OutcomeOfDownload(const DownloadReport& report) {
    switch (report.failure) {
    case DownloadFailure::Unreachable:
        return {PollResult::Unreachable, 0, {}};
    case DownloadFailure::TimedOut:
        return {PollResult::TimedOut, 0, {}};
    case DownloadFailure::HttpStatus:
        return {PollResult::HttpStatus, report.httpStatus, {}};
    case DownloadFailure::TooLarge:
        return {PollResult::TooLarge, 0, {}};
    case DownloadFailure::None:
    case DownloadFailure::Stopped:
    case DownloadFailure::Other:
        break;
    }
    return {PollResult::NetworkError, 0, report.error.empty() ? "unknown error" : report.error};
}

PollOutcome OutcomeOfUnreadChart(ChartReadStatus status) {
    switch (status) {
    case ChartReadStatus::Undecodable:
        return {PollResult::NotPng, 0, {}};
    case ChartReadStatus::NoAnchor:
        return {PollResult::NoAnchor, 0, {}};
    case ChartReadStatus::Ok:
    case ChartReadStatus::ReadingFailed:
        break;
    }
    return {PollResult::NoDigits, 0, {}};
}

bool IsUnreadableChart(PollResult result) {
    return result == PollResult::NotPng || result == PollResult::NoAnchor ||
           result == PollResult::NoDigits;
}

std::string DescribeOutcome(const PollOutcome& outcome) {
    switch (outcome.result) {
    case PollResult::PriceRead:
        return "a price was read";
    case PollResult::Unreachable:
        return "the chart server could not be reached";
    case PollResult::TimedOut:
        return "the chart server did not answer in time";
    case PollResult::HttpStatus:
        return "the chart server answered with HTTP status " + std::to_string(outcome.httpStatus);
    case PollResult::TooLarge:
        return "the chart server's answer was too large";
    case PollResult::NetworkError:
        return "the download failed: " + outcome.error;
    case PollResult::NotPng:
        return "the chart server's answer was not a PNG image";
    case PollResult::NoAnchor:
        return "the chart holds no price the program can read (no anchor)";
    case PollResult::NoDigits:
        return "the chart holds no price the program can read (no digits after the anchor)";
    }
    return {};
}
