// SPDX-License-Identifier: MIT
#include "MailSpool.h"
#include "NotifyService.h"
#include "NotifydConfig.h"
#include "support/TempDir.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>
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

constexpr const char* PROGRAM_BOUNDARY = "---------------------------7da138124d076e";

using Parts = std::vector<std::pair<std::string, std::string>>;

// A form body: each part as the program writes it, with eol as the line end.
std::string Form(const Parts& parts, const std::string& boundary = PROGRAM_BOUNDARY,
                 const std::string& eol = "\r\n") {
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

std::string ProgramType() {
    return std::string("multipart/form-data; boundary=") + PROGRAM_BOUNDARY;
}

struct Reply {
    long status = 0;
    std::string text;
};

size_t Collect(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

struct Upload {
    const std::string* body;
    std::size_t offset = 0;
};

size_t Feed(char* buffer, size_t size, size_t count, void* context) {
    auto* upload = static_cast<Upload*>(context);
    const std::size_t n = std::min(size * count, upload->body->size() - upload->offset);
    std::memcpy(buffer, upload->body->data() + upload->offset, n);
    upload->offset += n;
    return n;
}

// A POST of the body as it is; chunked sends it without a length.
Reply Post(int port, const std::string& contentType, const std::string& body,
           bool chunked = false) {
    Reply reply;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
    headers = curl_slist_append(headers, "Expect:");
    if (chunked) {
        headers = curl_slist_append(headers, "Transfer-Encoding: chunked");
    }
    Upload upload{&body};
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/price_notify.php";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    if (chunked) {
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, &Feed);
        curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
    } else {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.text);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}

// The service in this process on a free loopback port, with its spool in a fresh folder.
class ServiceRun {
public:
    explicit ServiceRun(const std::string& settings = "")
        : m_spoolPath(m_dir.File("spool")), m_spool(m_spoolPath) {
        std::string error;
        const bool parsed = NotifydConfig::Parse("listen = 127.0.0.1:0\n"
                                                 "relay = smtp://127.0.0.1:1\n"
                                                 "from = orvantis@example.org\n"
                                                 "allow = user@example.com, @example.org\n" +
                                                     settings,
                                                 m_config, error);
        EXPECT_TRUE(parsed) << error;
        EXPECT_TRUE(m_spool.Open(error)) << error;
        m_service = std::make_unique<NotifyService>(m_config, m_spool, [] {});
        m_port = m_service->Bind();
        EXPECT_GT(m_port, 0);
        m_thread = std::thread([this] { m_service->Run(); });
    }
    ~ServiceRun() {
        m_service->Stop();
        m_thread.join();
    }
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;

    int Port() const { return m_port; }
    Reply Send(const std::string& type, const std::string& body, bool chunked = false) const {
        return Post(m_port, type, body, chunked);
    }
    // Every file in the spool folder, temporary ones included.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_spoolPath)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path().string());
            }
        }
        return files;
    }
    const std::string& SpoolPath() const { return m_spoolPath; }

private:
    TempDir m_dir;
    std::string m_spoolPath;
    NotifydConfig m_config;
    MailSpool m_spool;
    std::unique_ptr<NotifyService> m_service;
    int m_port = 0;
    std::thread m_thread;
};

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

struct FormCase {
    const char* label;
    std::string contentType;
    std::string body;
    long status;
    const char* subject = nullptr; // of the spooled mail, for 200
    bool chunked = false;
};

void PrintTo(const FormCase& form, std::ostream* out) {
    *out << form.label;
}

class NotifydFormTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(NotifydFormTest, AnswersEachFormWithItsStatusAndSpoolsOnlyAcceptedOnes) {
    const FormCase& form = GetParam();
    ServiceRun run;
    const Reply reply = run.Send(form.contentType, form.body, form.chunked);
    EXPECT_EQ(reply.status, form.status) << form.label << ": " << reply.text;
    const std::vector<std::string> files = run.Files();
    if (form.status != 200) {
        EXPECT_TRUE(files.empty()) << form.label;
        return;
    }
    ASSERT_EQ(files.size(), 1u) << form.label;
    const std::string mail = ReadFile(files[0]);
    EXPECT_NE(mail.find("\r\nSubject: " + std::string(form.subject) + "\r\n"), std::string::npos)
        << form.label << ":\n"
        << mail;
}

const std::string LF_FORM = Form(ProgramParts(), "xyz", "\n");
const std::string OTHER_CLIENT = "This is a preamble.\r\n"
                                 "--Ab3 9\r\n"
                                 "content-disposition: form-data; name=new\r\n"
                                 "Content-Type: text/plain; charset=ISO-8859-1\r\n"
                                 "\r\n"
                                 "1662.5\r\n"
                                 "--Ab3 9\r\n"
                                 "Content-Disposition: form-data;\r\n"
                                 "  name=\"email\"\r\n"
                                 "\r\n"
                                 "user@Example.ORG\r\n"
                                 "--Ab3 9  \r\n"
                                 "Content-Disposition: form-data; name=\"type\"\r\n"
                                 "Content-Transfer-Encoding: 8bit\r\n"
                                 "\r\n"
                                 "gold\r\n"
                                 "--Ab3 9--\r\n"
                                 "an epilogue";
const std::string BIG_FORM = Form({{"type", "gold"}, {"pad", std::string(70000, 'x')}});

INSTANTIATE_TEST_SUITE_P(
    Forms, NotifydFormTest,
    ::testing::Values(
        FormCase{"the program's own request", ProgramType(), Form(ProgramParts()), 200,
                 "Gold price changed: 1662.50 (+12.50)"},
        FormCase{"a fall", ProgramType(),
                 Form(ProgramParts("user@example.com", "1662.50", "1650.00", "-12.50")), 200,
                 "Gold price changed: 1650.00 (-12.50)"},
        FormCase{"the program's first notice after a fresh start", ProgramType(),
                 Form(ProgramParts("user@example.com", "0.00", "1650.25", "1650.25")), 200,
                 "Gold price changed: 1650.25"},
        FormCase{"the first notification", ProgramType(),
                 Form(ProgramParts("user@example.com", "", "1650.25", "")), 200,
                 "Gold price changed: 1650.25"},
        FormCase{"bare LF line ends", "multipart/form-data; boundary=xyz", LF_FORM, 200,
                 "Gold price changed: 1662.50 (+12.50)"},
        FormCase{"another client's order, quoting and part headers",
                 "Multipart/Form-Data; charset=UTF-8; boundary=\"Ab3 9\"", OTHER_CLIENT, 200,
                 "Gold price changed: 1662.5"},
        FormCase{"no address", ProgramType(), Form({{"type", "gold"}, {"new", "1662.50"}}), 400},
        FormCase{"no new price", ProgramType(),
                 Form({{"type", "gold"}, {"email", "user@example.com"}}), 400},
        FormCase{"another kind of notice", ProgramType(),
                 Form({{"type", "silver"}, {"email", "user@example.com"}, {"new", "20.00"}}), 400},
        FormCase{"two address fields", ProgramType(),
                 Form({{"type", "gold"},
                       {"email", "user@example.com"},
                       {"email", "bob@example.org"},
                       {"new", "1662.50"}}),
                 400},
        FormCase{"two addresses in one", ProgramType(),
                 Form(ProgramParts("user@example.com,bob@example.org")), 400},
        FormCase{"a header in the address", ProgramType(),
                 Form(ProgramParts("user@example.com\r\nBcc: bob@example.org")), 400},
        FormCase{"a line feed in the address", "multipart/form-data; boundary=b",
                 Form(ProgramParts("user@example.com\nBcc: bob@example.org"), "b", "\n"), 400},
        FormCase{"a NUL in the address", ProgramType(),
                 Form(ProgramParts(std::string("user@example.com\0x", 18))), 400},
        FormCase{"a display name", ProgramType(), Form(ProgramParts("User <user@example.com>")),
                 400},
        FormCase{"a routed address", ProgramType(),
                 Form(ProgramParts("bob%example.net@example.org")), 400},
        FormCase{"a price that is no number", ProgramType(),
                 Form(ProgramParts("user@example.com", "1650.00", "Obtaining...", "-1650.00")),
                 400},
        FormCase{"an exponent", ProgramType(),
                 Form(ProgramParts("user@example.com", "1650.00", "1e3", "12.50")), 400},
        FormCase{"a decimal comma", ProgramType(),
                 Form(ProgramParts("user@example.com", "1650.00", "1662.50", "12,50")), 400},
        FormCase{"a url-encoded form", "application/x-www-form-urlencoded",
                 "type=gold&email=user%40example.com&new=1662.50", 400},
        FormCase{"no closing boundary", ProgramType(), Form(ProgramParts()).substr(0, 200), 400},
        FormCase{"another boundary", "multipart/form-data; boundary=other", Form(ProgramParts()),
                 400},
        FormCase{"a recipient not allowed", ProgramType(), Form(ProgramParts("eve@example.net")),
                 403},
        FormCase{"a sub-domain of an allowed domain", ProgramType(),
                 Form(ProgramParts("eve@mail.example.org")), 403},
        FormCase{"another local part of an allowed address", ProgramType(),
                 Form(ProgramParts("User@example.com")), 403},
        FormCase{"a body over 64 KiB", ProgramType(), BIG_FORM, 413},
        FormCase{"a chunked body over 64 KiB", ProgramType(), BIG_FORM, 413, nullptr, true}));

TEST(NotifydServiceTest, AnswersTooManyRequestsOnceARecipientHadItsMailsThisHour) {
    ServiceRun run("per_recipient_per_hour = 2\n");
    const std::string body = Form(ProgramParts());
    EXPECT_EQ(run.Send(ProgramType(), body).status, 200);
    EXPECT_EQ(run.Send(ProgramType(), body).status, 200);
    EXPECT_EQ(run.Send(ProgramType(), body).status, 429);
    EXPECT_EQ(run.Send(ProgramType(), Form(ProgramParts("bob@example.org"))).status, 200);
    EXPECT_EQ(run.Files().size(), 3u);
}

TEST(NotifydServiceTest, AnswersUnavailableAndKeepsNothingWhenTheSpoolCannotTakeTheMail) {
    ServiceRun run;
    const std::string body = Form(ProgramParts());
    // A file size limit makes every spool write fail like a full disk.
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tiny = saved;
    tiny.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &tiny);
    const Reply full = run.Send(ProgramType(), body);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(full.status, 503) << full.text;
    EXPECT_TRUE(run.Files().empty());

    std::filesystem::remove_all(run.SpoolPath());
    EXPECT_EQ(run.Send(ProgramType(), body).status, 503);
}

// A connected socket to the service.
int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Sends the bytes as they are and returns the status of the answer, 0 when none came.
int RawStatus(int port, const std::string& bytes) {
    const int fd = Connect(port);
    timeval wait{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    char answer[16] = {};
    const ssize_t got = recv(fd, answer, sizeof answer - 1, MSG_WAITALL);
    close(fd);
    return got >= 12 && std::string_view(answer).starts_with("HTTP/1.1 ") ? std::atoi(answer + 9)
                                                                          : 0;
}

struct RawCase {
    const char* label;
    std::string bytes;
    int status;
};

void PrintTo(const RawCase& raw, std::ostream* out) {
    *out << raw.label;
}

class NotifydRawRequestTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(NotifydRawRequestTest, AnswersJunkAndOversizedHeadsWithoutGrowing) {
    ServiceRun run;
    EXPECT_EQ(RawStatus(run.Port(), GetParam().bytes), GetParam().status) << GetParam().label;
    EXPECT_TRUE(run.Files().empty());
}

std::string ManyHeaderLines() {
    std::string head = "POST /price_notify.php HTTP/1.1\r\n";
    for (int i = 0; i < 1000; ++i) {
        head += "X-Line-" + std::to_string(i) + ": x\r\n";
    }
    return head + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Requests, NotifydRawRequestTest,
    ::testing::Values(
        RawCase{"an endless header line",
                "POST /price_notify.php HTTP/1.1\r\nX: " + std::string(100000, 'a'), 431},
        RawCase{"a thousand header lines", ManyHeaderLines(), 431},
        RawCase{"another path", "POST /other HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 404},
        RawCase{"another method", "GET /price_notify.php HTTP/1.1\r\n\r\n", 405},
        RawCase{"two body lengths",
                "POST /price_notify.php HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: "
                "chunked\r\n\r\n",
                400},
        RawCase{"a length that is no number",
                "POST /price_notify.php HTTP/1.1\r\nContent-Length: 5x\r\n\r\n", 400},
        RawCase{"a broken chunk",
                "POST /price_notify.php HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
        RawCase{"another protocol version", "POST /price_notify.php HTTP/2.0\r\n\r\n", 505},
        RawCase{"binary junk",
                std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15), 400},
        RawCase{"a body that never comes",
                "POST /price_notify.php HTTP/1.1\r\nContent-Length: 100\r\n\r\nab", 408}));

TEST(NotifydServiceTest, KeepsAnsweringWhileManyClientsHoldConnectionsOpenSilently) {
    ServiceRun run;
    std::vector<int> silent;
    for (int i = 0; i < 300; ++i) {
        silent.push_back(Connect(run.Port()));
    }
    // Within the client's 10 s: a silent connection holds no thread.
    EXPECT_EQ(run.Send(ProgramType(), Form(ProgramParts())).status, 200);
    for (const int fd : silent) {
        close(fd);
    }
}

} // namespace
