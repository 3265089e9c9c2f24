// SPDX-License-Identifier: MIT
#include "NotifyDaemon.h"
#include "support/LoopbackClient.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
const std::string MAIL_TO_USER = "rcpt user@example.com\nSubject: x\r\n\r\nx\r\n";

// An SMTP relay on 127.0.0.1 that refuses one stage of every session ("greeting", "EHLO"
// and the HELO after it, "MAIL", "RCPT" or "DATA", the end of the data) and takes the rest.
struct ScriptedRelay {
    explicit ScriptedRelay(std::string refuseAt = "", std::string refusal = "")
        : m_refuseAt(std::move(refuseAt)), m_refusal(std::move(refusal)) {
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        bind(m_listenFd, reinterpret_cast<sockaddr*>(&address), size);
        listen(m_listenFd, 8);
        getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            for (int fd; (fd = accept(m_listenFd, nullptr, nullptr)) >= 0; ++sessions) {
                Session(fd);
            }
        });
    }
    ~ScriptedRelay() {
        shutdown(m_listenFd, SHUT_RDWR);
        m_thread.join();
        close(m_listenFd);
    }

    bool Say(int fd, const std::string& stage, const std::string& fine) const {
        const std::string line = (stage == m_refuseAt ? m_refusal : fine) + "\r\n";
        return send(fd, line.data(), line.size(), MSG_NOSIGNAL) > 0 && stage != m_refuseAt;
    }
    void Session(int fd) {
        FILE* in = fdopen(fd, "r");
        char text[1024];
        bool inData = false;
        Say(fd, "greeting", "220 ready");
        while (fgets(text, sizeof text, in) != nullptr &&
               !std::string_view(text).starts_with("QUIT")) {
            const std::string line = text;
            if (inData) {
                inData = line != ".\r\n";
                delivered += !inData && Say(fd, "DATA", "250 queued") ? 1 : 0;
                continue;
            }
            const std::string verb = line.substr(0, 4) == "HELO" ? "EHLO" : line.substr(0, 4);
            inData =
                verb == "DATA" ? Say(fd, "354", "354 go on") : (Say(fd, verb, "250 ok"), false);
        }
        fclose(in);
    }

    const std::string m_refuseAt;
    const std::string m_refusal;
    int m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = 0;
    std::atomic<int> sessions{0};
    std::atomic<int> delivered{0};
    std::thread m_thread;
};

std::size_t Mails(const std::string& folder) {
    const auto files = std::filesystem::directory_iterator(folder);
    return static_cast<std::size_t>(std::count_if(begin(files), end(files), [](const auto& entry) {
        return entry.path().extension() == ".mail";
    }));
}

// The whole service in this process with its log captured; prepare fills its spool first.
struct DaemonRun {
    DaemonRun(int relayPort, const std::function<void(const std::string& spool)>& prepare) {
        const std::string settings =
            "listen = 127.0.0.1:0\nfrom = orvantis@example.org\nallow = user@example.com\n";
        EXPECT_TRUE(
            NotifydConfig::Parse(settings + "spool = " + spool +
                                     "\nrelay = smtp://127.0.0.1:" + std::to_string(relayPort),
                                 config, error));
        mkdir(spool.c_str(), 0700);
        prepare(spool);
        testing::internal::CaptureStderr();
        daemon = std::make_unique<NotifyDaemon>(config, RetryTimes{10ms, 40ms, 20ms});
        status = daemon->Start(error);
        thread = std::thread([this] { status == 0 ? daemon->Serve() : void(); });
    }
    ~DaemonRun() { Log(); }
    // Stops the service; all it logged.
    const std::string& Log() {
        if (daemon != nullptr) {
            daemon->Stop();
            thread.join();
            EXPECT_TRUE(daemon->Finish(5s));
            daemon.reset();
            log = testing::internal::GetCapturedStderr();
        }
        return log;
    }

    TempDir dir;
    const std::string spool = dir.File("spool");
    NotifydConfig config;
    std::string error;
    int status = -1;
    std::unique_ptr<NotifyDaemon> daemon;
    std::thread thread;
    std::string log;
};

TEST(NotifydRelayFaultTest, KeepsEveryMailWhileTheRelayRefusesTheSessionAndSaysSoOnce) {
    struct Stage {
        const char* name;
        const char* refusal;
        bool retried; // else the mail is set aside in failed/
    };
    for (const Stage& c : {Stage{"greeting", "554 5.7.1 no service here", true},
                           Stage{"EHLO", "502 5.5.1 not implemented", true},
                           Stage{"MAIL", "530 5.7.0 authentication required", true},
                           Stage{"RCPT", "550 5.1.1 no such user", false},
                           Stage{"DATA", "554 5.6.0 message refused", false}}) {
        ScriptedRelay relay(c.name, c.refusal);
        DaemonRun run(relay.port, [](const std::string& spool) {
            std::ofstream(spool + "/1.mail") << MAIL_TO_USER;
        });
        ASSERT_EQ(run.status, 0) << run.error;
        ASSERT_TRUE(WaitUntil([&] {
            return c.retried ? relay.sessions >= 4 : Mails(run.spool + "/failed") == 1;
        })) << c.name;
        EXPECT_EQ(Mails(run.spool), c.retried ? 1u : 0u) << c.name;
        const std::string health =
            ExchangeLoopback(run.daemon->Port(), "GET /healthz HTTP/1.1\r\n\r\n");
        EXPECT_EQ(health.starts_with("HTTP/1.1 503 ") &&
                      health.find(c.refusal) != std::string::npos,
                  c.retried)
            << health;
        const std::string& log = run.Log();
        EXPECT_EQ(log.find("ALERT") != std::string::npos, c.retried) << log;
        EXPECT_EQ(log.find("ALERT"), log.rfind("ALERT")) << log;
        EXPECT_EQ(relay.delivered, 0) << c.name;
    }
}

TEST(NotifydSpoolTrustTest, RefusesAtStartASpoolThatAnotherUserOwnsOrOthersCanWrite) {
    struct Folder {
        const char* name;
        mode_t mode;
        uid_t owner;
    };
    for (const Folder& folder :
         {Folder{"", 0770, 0}, Folder{"failed", 0777, 0}, Folder{"", 0700, 65534}}) {
        std::string expected = "others can write it";
        DaemonRun run(1, [&](const std::string& spool) {
            const std::string path = spool + "/" + folder.name;
            mkdir(path.c_str(), 0700);
            chmod(path.c_str(), folder.mode);
            // Only root can give a folder away; others make it writable to all instead.
            if (folder.owner != 0 && chown(path.c_str(), folder.owner, folder.owner) == 0) {
                expected = "belongs to user 65534";
            } else if (folder.owner != 0) {
                chmod(path.c_str(), 0777);
            }
        });
        EXPECT_EQ(run.status, 2) << folder.name << " " << folder.mode;
        EXPECT_NE(run.error.find(expected), std::string::npos) << run.error;
    }
}

TEST(NotifydSpoolTrustTest, SetsAsideWhatIsNoMailOfOursAndSendsTheRest) {
    ScriptedRelay relay;
    DaemonRun run(relay.port, [](const std::string& spool) {
        std::ofstream(spool + "/../elsewhere.mail") << MAIL_TO_USER;
        std::filesystem::create_symlink(spool + "/../elsewhere.mail", spool + "/0-link.mail");
        mkfifo((spool + "/0-fifo.mail").c_str(), 0600);
        std::ofstream(spool + "/0-gone.mail") << "rcpt gone@example.com\nSubject: x\r\n\r\nx\r\n";
        std::ofstream(spool + "/0-forged\n2026-01-01T00:00:00Z forged.mail") << "junk";
        std::ofstream(spool + "/1.mail") << MAIL_TO_USER;
        std::ofstream(spool + "/.2.mail.Xy12Ab") << MAIL_TO_USER;
    });
    ASSERT_EQ(run.status, 0) << run.error;
    EXPECT_FALSE(std::filesystem::exists(run.spool + "/.2.mail.Xy12Ab"));
    // One mail, sent after the rest was looked at: not the link's target, nor gone@'s.
    EXPECT_TRUE(WaitUntil([&] { return Mails(run.spool) == 0 && relay.delivered == 1; }));
    EXPECT_EQ(Mails(run.spool + "/failed"), 4u);
    const std::string& log = run.Log();
    EXPECT_NE(log.find("0-forged\\x0A2026"), std::string::npos) << log;
    EXPECT_EQ(log.find("\n2026-01-01T00:00:00Z forged"), std::string::npos) << log;
}

} // namespace
