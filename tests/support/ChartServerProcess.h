// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The demo chart server (orvantis-chartd from the build) running as a child process on
// 127.0.0.1 with a free port. Its standard output and error go to files in `folder`.
class ChartServerProcess final {
public:
    // Starts the server with "--port 0 --port-file ..." and `args`, and waits until it
    // listens or exits.
    ChartServerProcess(const std::string& folder, const std::vector<std::string>& args);
    ~ChartServerProcess(); // stops the server when it still runs
    ChartServerProcess(const ChartServerProcess&) = delete;
    ChartServerProcess& operator=(const ChartServerProcess&) = delete;

    bool Listening() const { return m_port > 0; }
    int Port() const { return m_port; }
    std::string Url() const; // "http://127.0.0.1:<port>"

    // Everything the server printed to standard output so far.
    std::string Output() const;
    // The lines of the output that start with `prefix`.
    std::vector<std::string> OutputLines(const std::string& prefix) const;

    // Sends the signal and waits for the end: the exit code, or 128 + signal number when a
    // signal ended the server, or -1 when it was not running.
    int Stop(int signalNumber);

private:
    std::string m_folder;
    pid_t m_pid = -1;
    int m_port = 0;
};

// Runs orvantis-chartd with `args` to its end (for option checks): the exit code, with
// standard output in `out`.
int RunChartServerToEnd(const std::string& folder, const std::vector<std::string>& args,
                        std::string& out);
