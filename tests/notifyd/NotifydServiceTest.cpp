// SPDX-License-Identifier: MIT
#include "MailSpool.h"
#include "NotifyService.h"
#include "NotifydConfig.h"
#include "support/LoopbackClient.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace {

// The program's own boundary and form type.
const std::string BOUNDARY = "---------------------------7da138124d076e";
const std::string FORM_TYPE = "multipart/form-data; boundary=" + BOUNDARY;

using Parts = std::vector<std::pair<std::string, std::string>>;

// A form body: each part as the program writes it, with eol as the line end.
std::string Form(const Parts& parts, const std::string& boundary = BOUNDARY,
                 const char* eol = "\r\n") {
    std::string body;
    for (const auto& [name, value] : parts) {
        body += "--" + boundary + eol + "Content-Disposition: form-data; name=\"" + name + "\"" +
                eol + eol + value + eol;
    }
    return body + "--" + boundary + "--" + eol;
}

Parts ProgramParts(const std::string& email = "user@example.com",
                   const std::string& last = "1650.00", const std::string& price = "1662.50",
                   const std::string& change = "12.50") {
    return {{"type", "gold"}, {"email", email}, {"last", last}, {"new", price}, {"chg", change}};
}

// The whole request; a chunked one sends the body as one chunk without a length.
std::string Post(const std::string& body, const std::string& type = FORM_TYPE,
                 bool chunked = false) {
    std::ostringstream head;
    head << "POST /price_notify.php HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " << type
         << "\r\n";
    if (chunked) {
        head << "Transfer-Encoding: chunked\r\n\r\n"
             << std::hex << body.size() << "\r\n"
             << body << "\r\n0\r\n\r\n";
    } else {
        head << "Content-Length: " << body.size() << "\r\n\r\n" << body;
    }
    return head.str();
}

// The request with one more header line (or lines) right after its request line.
std::string WithHeader(std::string request, const std::string& line) {
    return request.insert(request.find("\r\n") + 2, line + "\r\n");
}

// Sends the bytes as they are; the status of the answer, 0 when none came within 10 s.
int Status(int port, const std::string& bytes) {
    const int fd = ConnectLoopback(port);
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    char answer[16] = {};
    const ssize_t got = recv(fd, answer, sizeof answer - 1, MSG_WAITALL);
    close(fd);
    return got >= 12 && std::string_view(answer).starts_with("HTTP/1.1 ") ? std::atoi(answer + 9)
                                                                          : 0;
}

// The service in this process on a free loopback port, with its spool in a fresh folder.
class ServiceRun {
public:
    explicit ServiceRun(const std::string& settings = "") : m_spool(m_dir.File("spool")) {
        std::string error;
        EXPECT_TRUE(NotifydConfig::Parse("listen = 127.0.0.1:0\nrelay = smtp://127.0.0.1:1\n"
                                         "from = orvantis@example.org\n"
                                         "allow = user@example.com, @example.org\n" +
                                             settings,
                                         m_config, error))
            << error;
        EXPECT_EQ(m_spool.Open(error), MailSpool::Opened::Ok) << error;
        m_service = std::make_unique<NotifyService>(
            m_config, m_spool, [] {}, [] { return SenderState{}; });
        m_port = m_service->Bind();
        m_thread = std::thread([this] { m_service->Run(); });
    }
    ~ServiceRun() {
        m_service->Stop();
        m_thread.join();
    }
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;

    int Send(const std::string& bytes) const { return Status(m_port, bytes); }
    int Port() const { return m_port; }
    const std::string& Folder() const { return m_spool.Folder(); }
    // Every file in the spool folder, temporary ones included, but for the lock.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
            if (entry.is_regular_file() && entry.path().filename() != ".lock") {
                files.push_back(entry.path().string());
            }
        }
        return files;
    }

private:
    TempDir m_dir;
    NotifydConfig m_config;
    MailSpool m_spool;
    std::unique_ptr<NotifyService> m_service;
    int m_port = 0;
    std::thread m_thread;
};

struct RequestCase {
    const char* label;
    std::string bytes;
    int status;
    const char* subject = nullptr; // of the spooled mail, for 200
};

void PrintTo(const RequestCase& request, std::ostream* out) {
    *out << request.label;
}

class NotifydRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(NotifydRequestTest, AnswersEachRequestWithItsStatusAndSpoolsOnlyAcceptedOnes) {
    const RequestCase& request = GetParam();
    ServiceRun run;
    EXPECT_EQ(run.Send(request.bytes), request.status);
    const std::vector<std::string> files = run.Files();
    ASSERT_EQ(files.size(), request.subject != nullptr ? 1u : 0u);
    if (request.subject != nullptr) {
        std::ostringstream mail;
        mail << std::ifstream(files[0], std::ios::binary).rdbuf();
        EXPECT_NE(mail.str().find("\r\nSubject: " + std::string(request.subject) + "\r\n"),
                  std::string::npos)
            << mail.str();
    }
}

// Another client's form: a preamble and an epilogue, parts in another order, unquoted and
// folded names, part headers of its own, blanks after a boundary.
const std::string OTHER_CLIENT =
    "This is a preamble.\r\n--Ab3 9\r\ncontent-disposition: form-data; name=new\r\n"
    "Content-Type: text/plain; charset=ISO-8859-1\r\n\r\n1662.5\r\n"
    "--Ab3 9\r\nContent-Disposition: form-data;\r\n  name=\"email\"\r\n\r\nuser@Example.ORG\r\n"
    "--Ab3 9  \r\nContent-Disposition: form-data; name=\"type\"\r\n"
    "Content-Transfer-Encoding: 8bit\r\n\r\ngold\r\n--Ab3 9--\r\nan epilogue";
const std::string BIG_FORM = Form({{"type", "gold"}, {"pad", std::string(70000, 'x')}});
const std::string HEAD = "POST /price_notify.php HTTP/1.1\r\n";

std::string ManyHeaderLines() {
    std::string head = HEAD;
    for (int i = 0; i < 1000; ++i) {
        head += "X-Line-" + std::to_string(i) + ": x\r\n";
    }
    return head + "\r\n";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Requests, NotifydRequestTest, ::testing::Values(
    RequestCase{"the program's own request", Post(Form(ProgramParts())), 200, "Gold price changed: 1662.50 (+12.50)"},
    RequestCase{"the program's first notice after a fresh start",
                Post(Form(ProgramParts("user@example.com", "0.00", "1650.25", "1650.25"))), 200, "Gold price changed: 1650.25"},
    RequestCase{"no earlier price", Post(Form(ProgramParts("user@example.com", "", "1650.25", ""))), 200,
                "Gold price changed: 1650.25"},
    RequestCase{"bare LF line ends", Post(Form(ProgramParts(), "xyz", "\n"), "multipart/form-data; boundary=xyz"), 200,
                "Gold price changed: 1662.50 (+12.50)"},
    RequestCase{"another client's order, quoting and part headers",
                Post(OTHER_CLIENT, "Multipart/Form-Data; charset=UTF-8; boundary=\"Ab3 9\""), 200, "Gold price changed: 1662.5"},
    RequestCase{"no address", Post(Form({{"type", "gold"}, {"new", "1662.50"}})), 400},
    RequestCase{"no new price", Post(Form({{"type", "gold"}, {"email", "user@example.com"}})), 400},
    RequestCase{"another kind of notice", Post(Form({{"type", "silver"}, {"email", "user@example.com"}, {"new", "20.00"}})), 400},
    RequestCase{"two address fields",
                Post(Form({{"type", "gold"}, {"email", "user@example.com"}, {"email", "bob@example.org"}, {"new", "1.00"}})), 400},
    RequestCase{"two addresses in one", Post(Form(ProgramParts("user@example.com,bob@example.org"))), 400},
    RequestCase{"a header in the address", Post(Form(ProgramParts("user@example.com\r\nBcc: bob@example.org"))), 400},
    RequestCase{"a line feed in the address",
                Post(Form(ProgramParts("user@example.com\nBcc: bob@example.org"), "b", "\n"), "multipart/form-data; boundary=b"), 400},
    RequestCase{"a NUL in the address", Post(Form(ProgramParts(std::string("user@example.com\0x", 18)))), 400},
    RequestCase{"a display name", Post(Form(ProgramParts("User <user@example.com>"))), 400},
    RequestCase{"a routed address", Post(Form(ProgramParts("bob%example.net@example.org"))), 400},
    RequestCase{"a price that is no number", Post(Form(ProgramParts("user@example.com", "1650.00", "Obtaining..."))), 400},
    RequestCase{"an exponent", Post(Form(ProgramParts("user@example.com", "1650.00", "1e3"))), 400},
    RequestCase{"a decimal comma", Post(Form(ProgramParts("user@example.com", "1650.00", "1662.50", "12,50"))), 400},
    RequestCase{"a url-encoded form", Post("type=gold&email=user%40example.com&new=1662.50", "application/x-www-form-urlencoded"), 400},
    RequestCase{"no closing boundary", Post(Form(ProgramParts()).substr(0, 200)), 400},
    RequestCase{"another boundary", Post(Form(ProgramParts()), "multipart/form-data; boundary=other"), 400},
    RequestCase{"a recipient not allowed", Post(Form(ProgramParts("eve@example.net"))), 403},
    RequestCase{"a body over 64 KiB", Post(BIG_FORM), 413},
    RequestCase{"a chunked body over 64 KiB", Post(BIG_FORM, FORM_TYPE, true), 413},
    RequestCase{"an endless header line", HEAD + "X: " + std::string(100000, 'a'), 431},
    RequestCase{"a thousand header lines", ManyHeaderLines(), 431},
    RequestCase{"another path", "POST /other HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 404},
    RequestCase{"another method", "GET /price_notify.php HTTP/1.1\r\n\r\n", 405},
    RequestCase{"two body lengths", HEAD + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n", 400},
    RequestCase{"a length that is no number", HEAD + "Content-Length: 5x\r\n\r\n", 400},
    RequestCase{"a broken chunk", HEAD + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
    RequestCase{"another protocol version", "POST /price_notify.php HTTP/2.0\r\n\r\n", 505},
    RequestCase{"a blank before a header's colon", WithHeader(Post(Form(ProgramParts())), "Accept : */*"), 400},
    RequestCase{"a folded header line", WithHeader(Post(Form(ProgramParts())), "X-Note: a\r\n x: b"), 400},
    RequestCase{"a NUL in a header", WithHeader(Post(Form(ProgramParts())), std::string("X-Note: a\0b", 11)), 400},
    RequestCase{"a bare CR in a header", WithHeader(Post(Form(ProgramParts())), "X-Note: a\rb"), 400},
    RequestCase{"binary junk", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15), 400},
    RequestCase{"a body that never comes", HEAD + "Content-Length: 100\r\n\r\nab", 408}));
// clang-format on

struct LimitCase {
    const char* label;
    std::string settings;
    std::vector<std::pair<std::string, std::string>> requests; // to whom, X-Forwarded-For
    std::vector<int> statuses;
};

void PrintTo(const LimitCase& limit, std::ostream* out) {
    *out << limit.label;
}

class NotifydLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(NotifydLimitTest, AnswersTooManyRequestsOnceAMailboxOrAClientHadItsShare) {
    ServiceRun run(GetParam().settings);
    std::vector<int> statuses;
    for (const auto& [email, forwardedFor] : GetParam().requests) {
        statuses.push_back(run.Send(
            WithHeader(Post(Form(ProgramParts(email))), "X-Forwarded-For: " + forwardedFor)));
    }
    EXPECT_EQ(statuses, GetParam().statuses);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Limits, NotifydLimitTest, ::testing::Values(
    LimitCase{"case and +tag variants share their mailbox's hourly quota", "per_recipient_per_hour = 2\n",
              {{"ann@example.org", "::1"}, {"Ann+gold@EXAMPLE.org", "::1"}, {"ann+x@example.org", "::1"}, {"bob@example.org", "::1"}},
              {200, 200, 429, 200}},
    LimitCase{"a client's per-minute limit, whatever it says it forwards", "per_client_per_minute = 2\n",
              {{"ann@example.org", "::1"}, {"bob@example.org", "127.0.0.1"}, {"cy@example.org", "::ffff:127.0.0.1"}}, {200, 200, 429}},
    LimitCase{"clients behind a trusted proxy count apart, by the hop it added", "per_client_per_minute = 2\ntrusted_proxies = 127.0.0.1\n",
              {{"ann@example.org", "::1"}, {"bob@example.org", "127.0.0.1, ::1"}, {"cy@example.org", "::1"}, {"cy@example.org", "127.0.0.1"}},
              {200, 200, 429, 200}}));
// clang-format on

TEST(NotifydServiceTest, AnswersUnavailableAndKeepsNothingWhenTheSpoolCannotTakeTheMail) {
    ServiceRun run;
    // A file size limit makes every spool write fail like a full disk.
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const int full = run.Send(Post(Form(ProgramParts())));
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(full, 503);
    EXPECT_TRUE(run.Files().empty());
    std::filesystem::remove_all(run.Folder());
    EXPECT_EQ(run.Send(Post(Form(ProgramParts()))), 503);
}

TEST(NotifydServiceTest, KeepsAnsweringWhileManyClientsHoldConnectionsOpenSilently) {
    ServiceRun run("per_client_connections = 0\n");
    std::vector<int> silent;
    for (int i = 0; i < 300; ++i) {
        silent.push_back(ConnectLoopback(run.Port()));
    }
    // Within the client's 10 s: a silent connection holds no thread.
    EXPECT_EQ(run.Send(Post(Form(ProgramParts()))), 200);
    for (const int fd : silent) {
        close(fd);
    }
}

} // namespace
