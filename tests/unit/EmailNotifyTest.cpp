// SPDX-License-Identifier: MIT
#include "core/notify/EmailNotify.h"

#include "core/notify/FormPoster.h"
#include "support/IniFixture.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;
using Fields = std::vector<std::pair<std::string, std::string>>;

// The name and value of each part of a form body (with or without its closing line).
Fields ParseForm(std::string_view body) {
    const std::string delimiter = "--" + std::string(FORM_BOUNDARY);
    const std::string_view namePrefix = "\r\nContent-Disposition: form-data; name=\"";
    Fields fields;
    while (body.starts_with(delimiter + "\r\n")) {
        body.remove_prefix(delimiter.size());
        const std::size_t headEnd = body.find("\"\r\n\r\n");
        // The last part of a body without its closing line ends with the body's CR LF.
        const std::size_t valueEnd =
            std::min(body.find("\r\n" + delimiter, headEnd + 5), body.size() - 2);
        fields.emplace_back(body.substr(namePrefix.size(), headEnd - namePrefix.size()),
                            body.substr(headEnd + 5, valueEnd - headEnd - 5));
        body.remove_prefix(std::min(valueEnd + 2, body.size()));
    }
    return fields;
}

Fields Expected(const char* last, const char* newPrice, const char* change,
                const char* email = "a@b.c") {
    return {{"type", "gold"}, {"email", email}, {"last", last}, {"new", newPrice}, {"chg", change}};
}

class EmailNotifyTest : public ::testing::Test {
protected:
    void Use(const LoopbackServer& server) {
        setenv("ORVANTIS_NOTIFY_SERVER", server.Url().c_str(), 1);
    }
    void TearDown() override {
        // The fixture's settings path must outlive every request still reading it.
        EXPECT_TRUE(StopEmailNotifyThreads(20000));
        unsetenv("ORVANTIS_NOTIFY_SERVER");
    }
    IniFixture m_ini;
};

struct FormCase {
    const char* name;
    const char* ini; // the Option section's lines
    Fields fields;
};

class EmailFormTest : public EmailNotifyTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(EmailFormTest, CarriesTheStoredPricesAndTheirChange) {
    m_ini.WriteIni(std::string("[Option]\n") + GetParam().ini);
    CByteBuffer body;
    ASSERT_TRUE(BuildEmailForm(body));
    EXPECT_EQ(ParseForm(body.View()), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, EmailFormTest,
    ::testing::Values(
        FormCase{"Rise", "Email=a@b.c\nTipLastPrice=1200.00\nLastPrice=1212.50\n",
                 Expected("1200.00", "1212.50", "12.50")},
        FormCase{"Fall", "Email=a@b.c\nTipLastPrice=1212.50\nLastPrice=1200.00\n",
                 Expected("1212.50", "1200.00", "-12.50")},
        FormCase{"NoPreviousPrice", "Email=a@b.c\nLastPrice=1212.50\n",
                 Expected("", "1212.50", "")},
        FormCase{"EmptyPreviousPrice", "Email=a@b.c\nTipLastPrice=\nLastPrice=1212.50\n",
                 Expected("", "1212.50", "")},
        FormCase{"NoNewPrice", "Email=a@b.c\nTipLastPrice=1200.00\n",
                 Expected("1200.00", "Obtaining...", "-1200.00")},
        FormCase{"PricesAreSentAsStored", "Email=a@b.c\nTipLastPrice=1200\nLastPrice=abc\n",
                 Expected("1200", "abc", "-1200.00")},
        FormCase{"AddressOutsideTheCharset", "Email=j\xC3\xBCrgen@b.c\nTipLastPrice=1.00\n",
                 Expected("1.00", "Obtaining...", "-1.00", "j?rgen@b.c")}),
    [](const auto& param) { return param.param.name; });

TEST_F(EmailNotifyTest, WithoutAnAddressNothingIsSent) {
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=\nTipLastPrice=1200.00\nLastPrice=1212.50\n");
    CByteBuffer body;
    EXPECT_FALSE(BuildEmailForm(body));
    EXPECT_EQ(body.Size(), 0);
    EXPECT_EQ(EmailNotifyThread(QuickHttpOptions()), -1);
    StartEmailNotifyThread();
    EXPECT_TRUE(StopEmailNotifyThreads(20000));
    EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST_F(EmailNotifyTest, PostsTheFormToTheNotificationPath) {
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=a@b.c\nTipLastPrice=1200.00\nLastPrice=1212.50\n");
    EXPECT_EQ(EmailNotifyThread(QuickHttpOptions()), 1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /price_notify.php HTTP/1.1");
    EXPECT_EQ(ParseForm(requests[0].body), Expected("1200.00", "1212.50", "12.50"));
}

struct BadServerCase {
    const char* name;
    std::function<LoopbackServer::Handler()> handler;
    int result;
};

class BadNotifyServerTest : public EmailNotifyTest,
                            public ::testing::WithParamInterface<BadServerCase> {};

TEST_P(BadNotifyServerTest, EndsWithinTheTimeOuts) {
    LoopbackServer server(GetParam().handler());
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=a@b.c\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(EmailNotifyThread(QuickHttpOptions()), GetParam().result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, BadNotifyServerTest,
    ::testing::Values(BadServerCase{"Stalls", [] { return LoopbackServer::Stall(); }, 0},
                      BadServerCase{"AnswersMegabytes",
                                    [] { return LoopbackServer::Stream(200LL * 1024 * 1024); }, 1}),
    [](const auto& param) { return param.param.name; });

TEST_F(EmailNotifyTest, StoppingEndsRequestsStuckOnAStalledServer) {
    LoopbackServer server(LoopbackServer::Stall());
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=a@b.c\n");
    StartEmailNotifyThread();
    StartEmailNotifyThread();
    ASSERT_TRUE(server.WaitForRequests(2));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopEmailNotifyThreads(5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(EmailNotifyTest, RequestsStartedAfterAStopRunNormally) {
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=a@b.c\nLastPrice=1212.50\n");
    EXPECT_TRUE(StopEmailNotifyThreads(0));
    StartEmailNotifyThread();
    EXPECT_TRUE(server.WaitForRequests(1));
    EXPECT_TRUE(StopEmailNotifyThreads(20000));
    EXPECT_EQ(ParseForm(server.Requests().at(0).body), Expected("", "1212.50", ""));
}

} // namespace
