// SPDX-License-Identifier: MIT
#include "support/PostgresServer.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

constexpr uid_t NOBODY = 65534;
constexpr const char* USER = "orvantis";

// The bin folder of the newest installed major version, empty when there is none.
std::string FindBinaries() {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string bin = entry.path().string() + "/bin";
        if (access((bin + "/initdb").c_str(), X_OK) == 0 &&
            access((bin + "/pg_ctl").c_str(), X_OK) == 0) {
            found.push_back(bin);
        }
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return found.empty() ? std::string() : found.back();
}

} // namespace

PostgresServer::PostgresServer() : m_bin(FindBinaries()) {
    if (m_bin.empty()) {
        return;
    }
    m_asNobody = geteuid() == 0;
    if (m_asNobody && chown(m_dir.Path().c_str(), NOBODY, NOBODY) != 0) {
        m_failure = "cannot give the folder to nobody";
        return;
    }
    const std::string data = m_dir.File("data");
    if (Run("initdb", "-D " + data + " -U " + USER + " -A trust -E UTF8 --locale=C --no-sync") !=
        0) {
        m_failure = "initdb failed: " + ReadFileBytes(m_dir.File("commands.log"));
        return;
    }
    if (!Start()) {
        m_failure = "pg_ctl start failed: " + ReadFileBytes(m_dir.File("server.log"));
    }
}

PostgresServer::~PostgresServer() {
    Stop();
}

bool PostgresServer::Start() {
    // No TCP at all; durability does not matter for a test's throw-away data.
    const std::string options = "\"-k " + m_dir.Path() + " -c listen_addresses= -c fsync=off\"";
    // The server writes its own log as the user it runs as.
    m_running = Run("pg_ctl", "-D " + m_dir.File("data") + " -l " + m_dir.File("server.log") +
                                  " -w -t 60 -o " + options + " start") == 0;
    return m_running;
}

bool PostgresServer::Stop() {
    if (m_running &&
        Run("pg_ctl", "-D " + m_dir.File("data") + " -w -t 60 -m immediate stop") == 0) {
        m_running = false;
    }
    return !m_running;
}

std::string PostgresServer::Conninfo(const std::string& database) const {
    return "host=" + m_dir.Path() + " user=" + USER + " dbname=" + database;
}

std::string PostgresServer::NewDatabase(const std::string& name) {
    Run("createdb", "-h " + m_dir.Path() + " -U " + USER + " " + name);
    return Conninfo(name);
}

int PostgresServer::Run(const std::string& program, const std::string& arguments) const {
    // The folder is a fresh temporary one, the names the test's own: no shell-sensitive text.
    const std::string prefix =
        m_asNobody ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const std::string command = "cd / && " + prefix + m_bin + "/" + program + " " + arguments +
                                " >>" + m_dir.File("commands.log") + " 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
