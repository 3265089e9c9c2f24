// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A scripted SMTP relay on 127.0.0.1 (a free port) for tests, one session at a time. It
// takes every command, except that it refuses the one stage it is told to: "greeting",
// "EHLO" (and HELO after it), "MAIL", "RCPT" or "DATA" (the end of the data).
class LoopbackSmtp final {
public:
    explicit LoopbackSmtp(std::string refuseAt = "", std::string refusal = "");
    ~LoopbackSmtp();
    LoopbackSmtp(const LoopbackSmtp&) = delete;
    LoopbackSmtp& operator=(const LoopbackSmtp&) = delete;

    int Port() const { return m_port; }
    int Sessions() const { return m_sessions.load(); }
    // The recipient of each mail it took, in order.
    std::vector<std::string> Delivered() const;

private:
    void Run();
    void Session(int fd);

    const std::string m_refuseAt;
    const std::string m_refusal;
    int m_listenFd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_sessions{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_delivered;
    std::thread m_thread;
};
