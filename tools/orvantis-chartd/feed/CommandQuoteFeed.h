// SPDX-License-Identifier: MIT
#pragma once

#include "StopSignal.h"
#include "feed/QuoteFeed.h"

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

// A program of the user's, run without a shell, whose standard output is one price a
// line: a script that prints one quote and ends is run again at the next sample, a
// program that keeps printing (a serial device's reader) is left running and each sample
// takes the newest line it printed. A program silent for SILENT_SAMPLES samples in a row
// is stopped and started afresh; lines longer than MAX_LINE bytes are junk, and a sample
// reads at most MAX_READ bytes, so a program that floods its output costs no memory. A
// program that closes its output and lives on is stopped at the next sample; the service
// never waits for a program without a time-out or a stop.
class CommandQuoteFeed final : public QuoteFeed {
public:
    static constexpr std::size_t MAX_LINE = 256;
    static constexpr std::size_t MAX_READ = 1024 * 1024;
    static constexpr int SILENT_SAMPLES = 3;

    // The settings and the stop must outlive the feed.
    CommandQuoteFeed(const FeedSettings& settings, const StopSignal& stop);
    ~CommandQuoteFeed() override; // stops the program
    CommandQuoteFeed(const CommandQuoteFeed&) = delete;
    CommandQuoteFeed& operator=(const CommandQuoteFeed&) = delete;

    FeedSample Fetch() override;

private:
    bool Start(std::string& error);
    // Reads what is there now: false once the program closed its output.
    bool Drain(std::size_t& budget);
    void TakeBytes(const char* data, std::size_t size);
    FeedSample Sample(const std::string& program);
    void CloseOutput();
    // After the output closed: reaps the program without blocking, looking again until
    // `until` or a stop. How it ended, or nullopt while it still runs.
    std::optional<std::string> AwaitEnd(std::chrono::steady_clock::time_point until);
    // Its process group: SIGTERM, and SIGKILL after a second.
    void StopProgram();

    const FeedSettings& m_settings;
    const StopSignal& m_stop;
    pid_t m_pid = -1;
    int m_out = -1;
    std::chrono::steady_clock::time_point m_closedAt{}; // when the output closed
    std::string m_partial;                              // the line being read
    bool m_overlong = false;                            // the line being read is junk already
    bool m_printed = false; // the program printed a whole line since its start
    std::string m_newest;   // the newest whole line of this sample
    std::size_t m_junkLines = 0;
    int m_silentSamples = 0;
    bool m_toldLingering = false; // the log said that it printed and kept running
};
