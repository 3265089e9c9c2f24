// SPDX-License-Identifier: MIT
#include "feed/CommandQuoteFeed.h"

#include "feed/QuoteNumber.h"
#include "httpd/ServiceLog.h"
#include "platform/common/ErrnoText.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto TERM_GRACE = std::chrono::seconds(1);
// How often a program that closed its output is looked at until it ends.
constexpr auto REAP_TICK = std::chrono::milliseconds(50);

std::string Describe(int status) {
    if (WIFEXITED(status)) {
        return "ended with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("was killed by signal ") + strsignal(WTERMSIG(status));
    }
    return "ended";
}

} // namespace

CommandQuoteFeed::CommandQuoteFeed(const FeedSettings& settings, const StopSignal& stop)
    : m_settings(settings), m_stop(stop) {}

CommandQuoteFeed::~CommandQuoteFeed() {
    StopProgram();
}

bool CommandQuoteFeed::Start(std::string& error) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = ErrnoText("no pipe", errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so a script's children are stopped with it; and the signal
    // mask and dispositions of a fresh program, not the service's.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    for (const std::string& word : m_settings.command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const int result = posix_spawnp(&m_pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeFds[1]);
    if (result != 0) {
        close(pipeFds[0]);
        m_pid = -1;
        error = ErrnoText("cannot start " + Printable(m_settings.command.front()), result);
        return false;
    }
    m_out = pipeFds[0];
    fcntl(m_out, F_SETFL, O_NONBLOCK);
    m_partial.clear();
    m_overlong = false;
    m_printed = false;
    m_silentSamples = 0;
    return true;
}

void CommandQuoteFeed::TakeBytes(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\n') {
            if (m_partial.size() < MAX_LINE) {
                m_partial += data[i];
            } else {
                m_overlong = true;
            }
            continue;
        }
        if (m_overlong) {
            ++m_junkLines;
        } else {
            m_newest = m_partial;
            m_printed = true;
        }
        m_partial.clear();
        m_overlong = false;
    }
}

bool CommandQuoteFeed::Drain(std::size_t& budget) {
    char buffer[65536];
    while (budget > 0) {
        const ssize_t n = read(m_out, buffer, std::min(sizeof buffer, budget));
        if (n > 0) {
            TakeBytes(buffer, static_cast<std::size_t>(n));
            budget -= static_cast<std::size_t>(n);
        } else if (n == 0) {
            TakeBytes("\n", m_partial.empty() && !m_overlong ? 0 : 1); // a last line without '\n'
            return false;
        } else if (errno != EINTR) {
            return errno == EAGAIN; // nothing more for now
        }
    }
    return true;
}

void CommandQuoteFeed::CloseOutput() {
    if (m_out >= 0) {
        close(m_out);
        m_out = -1;
    }
    m_closedAt = Clock::now();
}

std::optional<std::string> CommandQuoteFeed::AwaitEnd(Clock::time_point until) {
    while (m_pid > 0) {
        int status = 0;
        const pid_t reaped = waitpid(m_pid, &status, WNOHANG);
        if (reaped == m_pid || (reaped < 0 && errno != EINTR)) {
            m_pid = -1;
            return reaped > 0 ? Describe(status) : "ended";
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0 || m_stop.Requested()) {
            return std::nullopt;
        }
        pollfd wake{m_stop.Fd(), POLLIN, 0};
        poll(&wake, 1, static_cast<int>(std::min<long long>(left.count(), REAP_TICK.count())));
    }
    return "ended";
}

void CommandQuoteFeed::StopProgram() {
    if (m_pid <= 0) {
        return;
    }
    kill(-m_pid, SIGTERM);
    const auto deadline = Clock::now() + TERM_GRACE;
    int status = 0;
    while (waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(-m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_pid = -1;
    CloseOutput();
}

FeedSample CommandQuoteFeed::Fetch() {
    m_newest.clear();
    m_junkLines = 0;
    const std::string program = Printable(m_settings.command.front());
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::seconds(m_settings.intervalSeconds);
    std::size_t budget = MAX_READ;
    std::string error;
    while (m_newest.empty() && budget > 0 && !m_stop.Requested()) {
        if (Clock::now() >= deadline) {
            break;
        }
        if (m_pid > 0 && m_out < 0) {
            // The output closed: a script that printed its quote is simply run again once
            // it ended. One that lives on without output has until the next sample.
            const bool printed = m_printed;
            const bool earlier = m_closedAt < start;
            const std::optional<std::string> how = AwaitEnd(earlier ? start : deadline);
            if (!how && earlier) {
                StopProgram();
                error = program + " closed its output but kept running; stopped it";
                if (!printed) {
                    return {std::nullopt, error};
                }
                if (!m_toldLingering) { // it may do so every time: said once
                    LogLine("feed: " + error + ", to start it afresh");
                    m_toldLingering = true;
                }
            } else if (how && !printed) {
                return {std::nullopt, program + " " + *how + " without printing a price"};
            }
            continue;
        }
        if (m_pid <= 0 && !Start(error)) {
            return {std::nullopt, error};
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_stop.Fd(), POLLIN, 0}};
        if (poll(fds, 2, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0 ||
            fds[0].revents == 0 || Drain(budget)) {
            continue;
        }
        CloseOutput();
    }
    return Sample(program);
}

FeedSample CommandQuoteFeed::Sample(const std::string& program) {
    if (!m_newest.empty()) {
        m_silentSamples = 0;
        if (const std::optional<double> quote = ParseQuoteNumber(m_newest)) {
            return {quote, {}};
        }
        return {std::nullopt, program + " printed \"" + Printable(m_newest) + "\", not a price"};
    }
    if (m_stop.Requested()) {
        return {};
    }
    if (m_junkLines > 0 || m_overlong) {
        return {std::nullopt, program + " printed only lines longer than 256 bytes"};
    }
    std::string error =
        program + " printed no line for " + std::to_string(m_settings.intervalSeconds) + " s";
    if (++m_silentSamples >= SILENT_SAMPLES) {
        StopProgram();
        error += "; stopped it, to start it afresh";
    }
    return {std::nullopt, error};
}
