// SPDX-License-Identifier: MIT
#include "support/ChartServerProcess.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

const std::string SERVER_BINARY = ORVANTIS_BIN_DIR "/orvantis-chartd";

pid_t Spawn(const std::string& folder, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {SERVER_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string out = folder + "/chartd.out";
    const std::string err = folder + "/chartd.err";
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (posix_spawn(&pid, SERVER_BINARY.c_str(), &actions, nullptr, pointers.data(), environ) !=
        0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int ExitCode(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

} // namespace

ChartServerProcess::ChartServerProcess(const std::string& folder,
                                       const std::vector<std::string>& args)
    : m_folder(folder) {
    const std::string portFile = folder + "/chartd.port";
    std::vector<std::string> all = {"--port", "0", "--port-file", portFile};
    all.insert(all.end(), args.begin(), args.end());
    std::remove(portFile.c_str());
    m_pid = Spawn(folder, all);
    // A guard against a server that never comes up, not a measure of its speed.
    WaitUntil(
        [&] {
            int status = 0;
            if (m_pid <= 0 || waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1; // it exited: a bad command line
                return true;
            }
            std::ifstream file(portFile);
            return static_cast<bool>(file >> m_port) && m_port > 0;
        },
        std::chrono::seconds(60));
}

ChartServerProcess::~ChartServerProcess() {
    if (m_pid > 0) {
        Stop(SIGKILL);
    }
}

std::string ChartServerProcess::Url() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::string ChartServerProcess::Output() const {
    return ReadFileBytes(m_folder + "/chartd.out");
}

std::vector<std::string> ChartServerProcess::OutputLines(const std::string& prefix) const {
    std::istringstream text(Output());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

int ChartServerProcess::Stop(int signalNumber) {
    if (m_pid <= 0) {
        return -1;
    }
    kill(m_pid, signalNumber);
    int status = 0;
    const pid_t done = waitpid(m_pid, &status, 0);
    m_pid = -1;
    return done > 0 ? ExitCode(status) : -1;
}

int RunChartServerToEnd(const std::string& folder, const std::vector<std::string>& args,
                        std::string& out) {
    const pid_t pid = Spawn(folder, args);
    if (pid <= 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    out = ReadFileBytes(folder + "/chartd.out");
    return ExitCode(status);
}
