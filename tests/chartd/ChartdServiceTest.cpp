// SPDX-License-Identifier: MIT
// The publisher's HTTP side on loopback: validators and 304s, and the stale state.
#include "ChartService.h"
#include "ChartdConfig.h"
#include "core/acquisition/ChartReader.h"
#include "feed/HttpQuoteFeed.h"
#include "publish/ChartPublisher.h"
#include "publish/QuoteLoop.h"
#include "support/LoopbackClient.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

struct Reply {
    int status = 0;
    std::string head;
    std::string body;

    std::string Header(const std::string& name) const {
        const std::size_t at = head.find("\r\n" + name + ": ");
        if (at == std::string::npos) {
            return {};
        }
        const std::size_t start = at + name.size() + 4;
        return head.substr(start, head.find("\r\n", start) - start);
    }
};

// The publisher with a loopback feed that answers a price or fails, its clock in the
// test's hand, serving on a free loopback port.
class Publisher {
public:
    Publisher()
        : m_feed([this](const LoopbackRequest&, LoopbackConnection& connection) {
              connection.Send(m_failing ? LoopbackServer::Response(500, "down")
                                        : LoopbackServer::Response(200, m_quote.load() ? "[1662.5]"
                                                                                       : "[1663]"));
          }),
          m_config(Config(m_feed.Url(), m_folder.Path())), m_board(m_config.staleAfterSeconds),
          m_quotes(m_config.feed, nullptr), m_loop(m_config, m_quotes, m_board, Clock()),
          m_service(m_board, m_config.feed.intervalSeconds, Clock()) {
        m_port = m_service.Bind("127.0.0.1", 0);
        m_thread = std::thread([this] { m_service.Run(); });
    }
    ~Publisher() {
        m_service.Stop();
        m_thread.join();
    }
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    Reply Get(const std::string& path, const std::string& headers = {}) const {
        const std::string raw = ExchangeLoopback(
            m_port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                        headers + "\r\n");
        Reply reply;
        const std::size_t end = raw.find("\r\n\r\n");
        if (raw.starts_with("HTTP/1.1 ") && end != std::string::npos) {
            reply.status = std::stoi(raw.substr(9, 3));
            reply.head = raw.substr(0, end + 2);
            reply.body = raw.substr(end + 4);
        }
        return reply;
    }
    Reply Chart(const std::string& headers = {}) const {
        return Get(ChartService::CHART_PATH, headers);
    }
    bool Published() const {
        return std::filesystem::exists(m_folder.File(ChartPublisher::FILE_NAME));
    }

    QuoteLoop& Loop() { return m_loop; }
    std::atomic<bool> m_failing{false};
    std::atomic<bool> m_quote{true}; // 1662.50, else 1663.00
    std::atomic<std::int64_t> m_now{std::chrono::duration_cast<std::chrono::seconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count()};

private:
    static ChartdConfig Config(const std::string& url, const std::string& folder) {
        ChartdConfig config;
        config.feed.url = url;
        config.feed.pointer = "/0";
        config.feed.intervalSeconds = 1;
        config.staleAfterSeconds = 60;
        config.stateDir = folder;
        config.publishDir = folder;
        return config;
    }
    std::function<std::int64_t()> Clock() {
        return [this] { return m_now.load(); };
    }

    TempDir m_folder;
    LoopbackServer m_feed;
    ChartdConfig m_config;
    ChartBoard m_board;
    HttpQuoteFeed m_quotes;
    QuoteLoop m_loop;
    ChartService m_service;
    int m_port = 0;
    std::thread m_thread;
};

TEST(ChartdService, AnswersNotModifiedOnlyToTheValidatorsOfTheChartServed) {
    Publisher publisher;
    publisher.Loop().Sample();
    publisher.Loop().Sample();
    const Reply chart = publisher.Chart();
    ASSERT_EQ(chart.status, 200);
    EXPECT_EQ(chart.Header("Content-Type"), "image/png");
    EXPECT_EQ(chart.Header("Cache-Control"), "max-age=1");
    EXPECT_EQ(ReadChartPrice(reinterpret_cast<const std::uint8_t*>(chart.body.data()),
                             static_cast<int>(chart.body.size())),
              "1662.50");
    const std::string etag = chart.Header("ETag");
    const std::string modified = chart.Header("Last-Modified");
    ASSERT_FALSE(etag.empty());
    ASSERT_FALSE(modified.empty());

    const struct {
        std::string headers;
        int status;
    } cases[] = {
        {"If-None-Match: " + etag + "\r\n", 304},
        {"If-None-Match: \"0\", W/" + etag + "\r\n", 304},
        {"If-None-Match: \"0123456789abcdef\"\r\n", 200},
        {"If-Modified-Since: " + modified + "\r\n", 304},
        {"If-Modified-Since: Thu, 01 Jan 2015 00:00:00 GMT\r\n", 200},
        {"If-Modified-Since: " + modified + "\r\nIf-None-Match: \"0\"\r\n", 200},
    };
    for (const auto& c : cases) {
        const Reply reply = publisher.Chart(c.headers);
        EXPECT_EQ(reply.status, c.status) << c.headers;
        EXPECT_EQ(reply.Header("ETag"), etag) << c.headers;
        EXPECT_EQ(reply.body.empty(), c.status == 304) << c.headers;
    }

    // A new price makes the client's copy old.
    publisher.m_quote = false;
    publisher.m_now += 60;
    publisher.Loop().Sample();
    const Reply newer = publisher.Chart("If-None-Match: " + etag + "\r\n");
    EXPECT_EQ(newer.status, 200);
    EXPECT_NE(newer.Header("ETag"), etag);
}

TEST(ChartdService, AnswersServiceUnavailableWhileStaleAndComesBack) {
    Publisher publisher;
    EXPECT_EQ(publisher.Get(ChartService::HEALTH_PATH).status, 503) << "live before any quote";
    publisher.Loop().Sample();
    publisher.Loop().Sample();
    ASSERT_EQ(publisher.Chart().status, 200);
    EXPECT_EQ(publisher.Get(ChartService::HEALTH_PATH).body,
              R"({"status":"live","age_seconds":0,"price":"1662.50","stale_after_seconds":60})"
              "\n");

    publisher.m_failing = true;
    publisher.m_now += 30;
    publisher.Loop().Sample();
    publisher.Loop().CheckStale();
    EXPECT_EQ(publisher.Chart().status, 200) << "stale before stale_after";
    EXPECT_TRUE(publisher.Published());
    publisher.m_now += 30;
    publisher.Loop().Sample();
    publisher.Loop().CheckStale();
    const Reply stale = publisher.Chart();
    EXPECT_EQ(stale.status, 503);
    EXPECT_EQ(stale.Header("Retry-After"), "1");
    EXPECT_EQ(publisher.Get(ChartService::HEALTH_PATH).status, 503);
    EXPECT_FALSE(publisher.Published());

    publisher.m_failing = false;
    publisher.Loop().Sample();
    EXPECT_EQ(publisher.Chart().status, 200);
    EXPECT_EQ(publisher.Get(ChartService::HEALTH_PATH).status, 200);
    EXPECT_TRUE(publisher.Published());
}

} // namespace
