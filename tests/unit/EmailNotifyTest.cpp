// SPDX-License-Identifier: MIT
#include "core/notify/EmailNotify.h"

#include "core/notify/FormPoster.h"
#include "core/settings/Settings.h"
#include "support/IniFixture.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
    void TearDown() override { unsetenv("ORVANTIS_NOTIFY_SERVER"); }
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
    CEmailNotifyThread worker(QuickHttpOptions());
    EXPECT_FALSE(worker.Notify());
    worker.Stop();
    EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST_F(EmailNotifyTest, StoppingEndsARequestStuckOnAStalledServer) {
    LoopbackServer server(LoopbackServer::Stall());
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=a@b.c\n");
    CEmailNotifyThread worker;
    worker.Notify();
    worker.Notify();
    ASSERT_TRUE(server.WaitForRequests(1));
    const auto start = std::chrono::steady_clock::now();
    worker.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(worker.Notify());
    EXPECT_EQ(server.ConnectionCount(), 1); // the waiting one is dropped
}

TEST_F(EmailNotifyTest, AFullQueueDropsItsOldestRequestAndSaysSo) {
    std::atomic<int> seen{0};
    LoopbackServer server([&](const LoopbackRequest&, LoopbackConnection& c) {
        if (seen++ == 0) {
            c.StallUntilStopped(); // holds the next ones until the worker's stall time-out
        } else {
            c.Send(LoopbackServer::Response(200, "OK"));
        }
    });
    Use(server);
    m_ini.WriteIni("[Option]\nEmail=a@b.c\n");
    CEmailNotifyThread worker(QuickHttpOptions());
    ::testing::internal::CaptureStderr();
    const int notifications = CEmailNotifyThread::QUEUE_MAX + 3;
    for (int i = 1; i <= notifications; ++i) {
        WriteSetting(KEY_LAST_PRICE, std::to_string(1650 + i) + ".00");
        EXPECT_TRUE(worker.Notify());
        if (i == 1) {
            ASSERT_TRUE(server.WaitForRequests(1));
        }
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(server.WaitForRequests(1 + CEmailNotifyThread::QUEUE_MAX));
    std::vector<std::string> sent;
    for (const LoopbackRequest& request : server.Requests()) {
        EXPECT_EQ(request.requestLine, "POST /price_notify.php HTTP/1.1");
        sent.push_back(ParseForm(request.body).at(3).second);
    }
    // The first was being sent; the second and third made room for the last two.
    EXPECT_EQ(sent,
              (std::vector<std::string>{"1651.00", "1654.00", "1655.00", "1656.00", "1657.00"}));
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
}

} // namespace
