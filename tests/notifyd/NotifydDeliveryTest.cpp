// SPDX-License-Identifier: MIT
#include "NotifyDaemon.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackSmtp.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string SPOOLED_MAIL = "rcpt user@example.com\nSubject: spooled\r\n\r\nbody\r\n";

bool WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 400 && !done(); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

std::size_t CountIn(const std::string& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        count += entry.path().filename().string().starts_with('.') ? 0 : 1;
    }
    return count - (std::filesystem::exists(folder + "/failed") ? 1 : 0);
}

// The whole service in this process, its log captured, relaying to a loopback relay.
class DaemonRun {
public:
    DaemonRun(int relayPort, const std::function<void(const std::string& spool)>& prepare = {})
        : m_spool(m_dir.File("spool")) {
        std::string error;
        EXPECT_TRUE(NotifydConfig::Parse(
            "listen = 127.0.0.1:0\nrelay = smtp://127.0.0.1:" + std::to_string(relayPort) +
                "\nfrom = orvantis@example.org\n"
                "allow = user@example.com\nspool = " +
                m_spool + "\n",
            m_config, error))
            << error;
        if (prepare) {
            mkdir(m_spool.c_str(), 0700);
            prepare(m_spool);
        }
        testing::internal::CaptureStderr();
        m_daemon = std::make_unique<NotifyDaemon>(m_config, RetryTimes{10ms, 40ms, 20ms});
        m_status = m_daemon->Start(m_error);
        if (m_status == 0) {
            m_thread = std::thread([this] { m_daemon->Serve(); });
        }
    }
    ~DaemonRun() { Log(); }

    int Status() const { return m_status; }
    const std::string& Error() const { return m_error; }
    const std::string& Spool() const { return m_spool; }
    std::string Exchange(const std::string& bytes) const {
        return ExchangeLoopback(m_daemon->Port(), bytes);
    }
    // Stops the service and returns all it logged.
    const std::string& Log() {
        if (m_daemon != nullptr) {
            m_daemon->Stop();
            if (m_thread.joinable()) {
                m_thread.join();
            }
            EXPECT_TRUE(m_daemon->Finish(5s));
            m_daemon.reset();
            m_log = testing::internal::GetCapturedStderr();
        }
        return m_log;
    }

private:
    TempDir m_dir;
    std::string m_spool;
    NotifydConfig m_config;
    std::unique_ptr<NotifyDaemon> m_daemon;
    int m_status = -1;
    std::string m_error;
    std::thread m_thread;
    std::string m_log;
};

std::string ProgramRequest() {
    const std::string body = "--b\r\nContent-Disposition: form-data; name=\"type\"\r\n\r\ngold\r\n"
                             "--b\r\nContent-Disposition: form-data; name=\"email\"\r\n\r\n"
                             "user@example.com\r\n--b\r\nContent-Disposition: form-data; "
                             "name=\"new\"\r\n\r\n1662.50\r\n--b--\r\n";
    return "POST /price_notify.php HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=b\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct RelayFaultCase {
    const char* stage;
    const char* refusal;
    bool retried; // else the mail is set aside in failed/
};

void PrintTo(const RelayFaultCase& c, std::ostream* out) {
    *out << c.stage;
}

class NotifydRelayFaultTest : public ::testing::TestWithParam<RelayFaultCase> {};

TEST_P(NotifydRelayFaultTest, KeepsEveryMailWhileTheRelayRefusesTheSessionAndSaysSoOnce) {
    const RelayFaultCase& c = GetParam();
    LoopbackSmtp relay(c.stage, c.refusal);
    DaemonRun run(relay.Port());
    ASSERT_EQ(run.Status(), 0) << run.Error();
    ASSERT_TRUE(run.Exchange(ProgramRequest()).starts_with("HTTP/1.1 200 "));
    const std::string failed = run.Spool() + "/failed";
    ASSERT_TRUE(
        WaitUntil([&] { return c.retried ? relay.Sessions() >= 4 : CountIn(failed) == 1; }));
    const std::string health = run.Exchange("GET /healthz HTTP/1.1\r\n\r\n");
    EXPECT_EQ(CountIn(run.Spool()), c.retried ? 1u : 0u);
    EXPECT_EQ(CountIn(failed), c.retried ? 0u : 1u);
    EXPECT_TRUE(health.starts_with(c.retried ? "HTTP/1.1 503 " : "HTTP/1.1 200 ")) << health;
    EXPECT_EQ(health.find(c.refusal) != std::string::npos, c.retried) << health;
    const std::string& log = run.Log();
    std::size_t alerts = 0;
    for (std::size_t at = log.find("ALERT"); at != std::string::npos;
         at = log.find("ALERT", at + 1)) {
        ++alerts;
    }
    EXPECT_EQ(alerts, c.retried ? 1u : 0u) << log;
    EXPECT_TRUE(relay.Delivered().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Stages, NotifydRelayFaultTest, ::testing::Values(
    RelayFaultCase{"greeting", "554 5.7.1 no service here", true},
    RelayFaultCase{"EHLO", "502 5.5.1 not implemented", true},
    RelayFaultCase{"MAIL", "530 5.7.0 authentication required", true},
    RelayFaultCase{"RCPT", "550 5.1.1 no such user", false},
    RelayFaultCase{"DATA", "554 5.6.0 message refused", false}));
// clang-format on

struct SpoolTrustCase {
    const char* label;
    const char* folder; // "" or "failed"
    mode_t mode;
    bool foreign;
};

void PrintTo(const SpoolTrustCase& c, std::ostream* out) {
    *out << c.label;
}

class NotifydSpoolTrustTest : public ::testing::TestWithParam<SpoolTrustCase> {};

TEST_P(NotifydSpoolTrustTest, RefusesAtStartASpoolThatOthersCouldWriteInto) {
    const SpoolTrustCase& c = GetParam();
    bool given = true;
    DaemonRun run(1, [&](const std::string& spool) {
        const std::string folder = spool + "/" + c.folder;
        mkdir(folder.c_str(), 0700);
        chmod(folder.c_str(), c.mode);
        given = !c.foreign || chown(folder.c_str(), 65534, 65534) == 0;
    });
    if (!given) {
        GTEST_SKIP() << "only root can give a folder away";
    }
    EXPECT_EQ(run.Status(), 2);
    EXPECT_NE(run.Error().find(c.foreign ? "belongs to user 65534" : "others can write it"),
              std::string::npos)
        << run.Error();
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Folders, NotifydSpoolTrustTest, ::testing::Values(
    SpoolTrustCase{"a spool its group can write", "", 0770, false},
    SpoolTrustCase{"a failed folder all can write", "failed", 0777, false},
    SpoolTrustCase{"another user's spool", "", 0700, true}));
// clang-format on

TEST(NotifydSpoolTrustTest, SetsAsideWhatIsNoMailOfOursAndSendsTheRest) {
    LoopbackSmtp relay;
    DaemonRun run(relay.Port(), [](const std::string& spool) {
        const std::string elsewhere = spool + "/../elsewhere.mail";
        std::ofstream(elsewhere) << SPOOLED_MAIL;
        std::filesystem::create_symlink(elsewhere, spool + "/0-link.mail");
        mkfifo((spool + "/0-fifo.mail").c_str(), 0600);
        std::ofstream(spool + "/0-gone.mail") << "rcpt gone@example.com\nSubject: x\r\n\r\nx\r\n";
        std::ofstream(spool + "/0-forged\n2026-01-01T00:00:00Z forged.mail") << "junk";
        std::ofstream(spool + "/.tmp-cut-short") << SPOOLED_MAIL;
    });
    ASSERT_EQ(run.Status(), 0) << run.Error();
    EXPECT_FALSE(std::filesystem::exists(run.Spool() + "/.tmp-cut-short"));
    ASSERT_TRUE(run.Exchange(ProgramRequest()).starts_with("HTTP/1.1 200 "));
    ASSERT_TRUE(WaitUntil([&] { return !relay.Delivered().empty(); }));
    EXPECT_TRUE(WaitUntil([&] { return CountIn(run.Spool()) == 0; }));
    EXPECT_EQ(relay.Delivered(), std::vector<std::string>{"user@example.com"});
    EXPECT_EQ(CountIn(run.Spool() + "/failed"), 4u);
    const std::string& log = run.Log();
    EXPECT_NE(log.find("0-forged\\x0A2026"), std::string::npos) << log;
    EXPECT_EQ(log.find("\n2026-01-01T00:00:00Z forged"), std::string::npos) << log;
}

} // namespace
