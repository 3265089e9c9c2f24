// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <chrono>

// The publisher's stop, seen three ways: a flag for libcurl's progress check, a
// descriptor that poll() finds readable, and a wait that a stop cuts short.
class StopSignal final {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // From any thread; not from a signal handler.
    void Request();
    bool Requested() const { return m_flag.load(); }
    const std::atomic<bool>* Flag() const { return &m_flag; }
    // Readable once a stop was requested.
    int Fd() const { return m_fd; }
    // Waits up to `timeout`; true when a stop was requested.
    bool WaitFor(std::chrono::milliseconds timeout) const;

private:
    std::atomic<bool> m_flag{false};
    int m_fd = -1;
};
