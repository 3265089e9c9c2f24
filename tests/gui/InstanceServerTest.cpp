// SPDX-License-Identifier: MIT
#include "gui/app/InstanceServer.h"
#include "core/app/InstanceProtocol.h"
#include "gui/app/COrvantisApp.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>

#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs a blocking client on a worker while this thread serves the socket.
template <typename F> auto WhileServing(F client) {
    auto result = std::async(std::launch::async, client);
    QElapsedTimer timer;
    timer.start();
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
           timer.elapsed() < 10000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return result.get();
}

class InstanceServerTest : public ::testing::Test {
protected:
    InstanceServerTest() : m_socket(m_dir.File(INSTANCE_SOCKET_NAME)) {}

    bool Listen(quintptr id) {
        m_server = std::make_unique<CInstanceServer>(
            [id] { return id; }, [this](const QByteArray& token) { m_opens.push_back(token); });
        return m_server->Listen(QString::fromStdString(m_socket));
    }

    std::string Exchange(const std::string& request) {
        return WhileServing([&] {
            std::string answer;
            return platform::LocalSocketExchange(m_socket, request, &answer, 2000)
                       ? answer
                       : std::string("<none>");
        });
    }

    TempDir m_dir;
    std::string m_socket;
    std::unique_ptr<CInstanceServer> m_server;
    // The activation token of each "Open Main Window", empty when none came.
    std::vector<QByteArray> m_opens;
};

TEST_F(InstanceServerTest, HandsOverInOrderAskThenOpen) {
    ASSERT_TRUE(Listen(0x2a));
    EXPECT_EQ(Exchange("GETMAINWND\n"), "MAINWND 42");
    EXPECT_TRUE(m_opens.empty());
    EXPECT_TRUE(WhileServing([&] { return COrvantisApp::HandOverToFirstInstance(m_socket); }));
    EXPECT_EQ(m_opens, std::vector<QByteArray>{QByteArray()});
}

struct TokenCase {
    std::string token;
    const char* opened; // the token the main window gets
};

class HandOverTokenTest : public InstanceServerTest,
                          public ::testing::WithParamInterface<TokenCase> {};

TEST_P(HandOverTokenTest, TheSecondStartsActivationTokenReachesTheMainWindow) {
    ASSERT_TRUE(Listen(0x2a));
    EXPECT_TRUE(WhileServing(
        [&] { return COrvantisApp::HandOverToFirstInstance(m_socket, GetParam().token); }));
    EXPECT_EQ(m_opens, std::vector<QByteArray>{GetParam().opened});
}

// A token that cannot be one is not sent: the window still opens, without it.
INSTANTIATE_TEST_SUITE_P(Tokens, HandOverTokenTest,
                         ::testing::Values(TokenCase{"launcher-1-host-orvantis-0_TIME123456",
                                                     "launcher-1-host-orvantis-0_TIME123456"},
                                           TokenCase{"0f3c9a6e-5b1d-4c7a-9e2f-1a2b3c4d5e6f",
                                                     "0f3c9a6e-5b1d-4c7a-9e2f-1a2b3c4d5e6f"},
                                           TokenCase{"", ""}, TokenCase{"two words", ""},
                                           TokenCase{std::string(256, 'x'), ""},
                                           TokenCase{"line\nbreak", ""}));

TEST_F(InstanceServerTest, AnOlderSecondStartStillOpensTheWindowByTheCommand) {
    ASSERT_TRUE(Listen(3));
    EXPECT_EQ(Exchange("COMMAND 32771\n"), "OK");
    EXPECT_EQ(m_opens, std::vector<QByteArray>{QByteArray()});
}

// Connections that hold the socket without asking anything must not shut out a second
// start or a status bar.
TEST_F(InstanceServerTest, AnswersAheadOfAThousandIdleConnections) {
    ASSERT_TRUE(Listen(0x2a));
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", m_socket.c_str());
        (void)!connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        idle.push_back(fd);
        QApplication::processEvents();
    }
    EXPECT_EQ(Exchange("GETMAINWND\n"), "MAINWND 42");
    EXPECT_TRUE(WhileServing([&] { return COrvantisApp::HandOverToFirstInstance(m_socket); }));
    EXPECT_EQ(m_opens.size(), 1u);
    for (const int fd : idle) {
        close(fd);
    }
}

TEST_F(InstanceServerTest, NoMainWindowYetEndsTheSecondStartWithoutACommand) {
    ASSERT_TRUE(Listen(0));
    EXPECT_FALSE(WhileServing([&] { return COrvantisApp::HandOverToFirstInstance(m_socket); }));
    EXPECT_TRUE(m_opens.empty());
}

TEST_F(InstanceServerTest, NobodyListeningEndsTheSecondStartSilently) {
    EXPECT_FALSE(COrvantisApp::HandOverToFirstInstance(m_socket));
}

class HostileRequestTest : public InstanceServerTest,
                           public ::testing::WithParamInterface<std::string> {};

TEST_P(HostileRequestTest, IsDroppedWithoutACommand) {
    ASSERT_TRUE(Listen(7));
    EXPECT_EQ(Exchange(GetParam()), "<none>");
    EXPECT_TRUE(m_opens.empty());
    // The server still serves the next, well-formed client.
    EXPECT_EQ(Exchange("GETMAINWND\n"), "MAINWND 7");
}

INSTANTIATE_TEST_SUITE_P(Requests, HostileRequestTest,
                         ::testing::Values(std::string("HELLO\n"), std::string("COMMAND 32772\n"),
                                           std::string("COMMAND x\n"), std::string(5000, 'A'),
                                           std::string("OPEN \n"), std::string("OPEN a b\n"),
                                           "OPEN " + std::string(300, 'x') + "\n",
                                           std::string("GETMAINWND"), std::string("\0\n", 2)));

TEST_F(InstanceServerTest, ASocketLeftBehindByAKilledInstanceIsReplaced) {
    // A stale socket file, as a process killed with SIGKILL leaves it.
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", m_socket.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    close(fd);
    ASSERT_TRUE(Listen(9));
    EXPECT_EQ(Exchange("GETMAINWND\n"), "MAINWND 9");
}

TEST_F(InstanceServerTest, AnotherUserCannotReachTheSocket) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    ASSERT_TRUE(Listen(5));
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        std::string answer;
        _exit(platform::LocalSocketExchange(m_socket, "GETMAINWND\n", &answer, 1000) ? 1 : 0);
    }
    int status = 0;
    const bool done = WhileServing([&] { return waitpid(child, &status, 0) == child; });
    ASSERT_TRUE(done);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(m_opens.empty());
}

TEST(InstanceLockTest, ASecondHolderIsRefusedAndTheLockDiesWithItsProcess) {
    TempDir dir;
    const std::string path = dir.File("lock");
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        platform::CInstanceLock lock;
        const char held =
            lock.Acquire(path) == platform::CInstanceLock::Result::Acquired ? 'y' : 'n';
        (void)!write(ready[1], &held, 1);
        pause(); // held until killed
        _exit(0);
    }
    char held = 0;
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    close(ready[0]);
    close(ready[1]);
    ASSERT_EQ(held, 'y');
    {
        platform::CInstanceLock second;
        EXPECT_EQ(second.Acquire(path), platform::CInstanceLock::Result::HeldByAnother);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    platform::CInstanceLock after;
    EXPECT_EQ(after.Acquire(path), platform::CInstanceLock::Result::Acquired);
}

} // namespace
