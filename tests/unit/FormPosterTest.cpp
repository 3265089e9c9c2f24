// SPDX-License-Identifier: MIT
#include "core/notify/FormPoster.h"

#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace {

constexpr std::string_view DELIMITER = "-----------------------------7da138124d076e\r\n";

// Points the notification server at a loopback server for one test.
class FormPosterTest : public ::testing::Test {
protected:
    void Use(const LoopbackServer& server) {
        setenv("ORVANTIS_NOTIFY_SERVER", server.Url().c_str(), 1);
    }
    void TearDown() override { unsetenv("ORVANTIS_NOTIFY_SERVER"); }
};

TEST(AddFormPartTest, WritesFourLinesAPart) {
    CByteBuffer body;
    ASSERT_TRUE(AddFormPart(body, "type", "gold"));
    ASSERT_TRUE(AddFormPart(body, "last", "1234.50"));
    EXPECT_EQ(body.View(), std::string(DELIMITER) +
                               "Content-Disposition: form-data; name=\"type\"\r\n\r\ngold\r\n" +
                               std::string(DELIMITER) +
                               "Content-Disposition: form-data; name=\"last\"\r\n\r\n1234.50\r\n");
}

TEST(AddFormPartTest, TakesValuesByteForByte) {
    CByteBuffer body;
    const std::string value = std::string("a\r\n\"b\"\0c", 8) + std::string(FORM_BOUNDARY);
    ASSERT_TRUE(AddFormPart(body, "x", value));
    EXPECT_NE(body.View().find(value + "\r\n"), std::string::npos);
}

TEST_F(FormPosterTest, SendsExactlyTheRequestOfAForm) {
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    Use(server);
    CByteBuffer body;
    AddFormPart(body, "type", "gold");
    AddFormPart(body, "last", "1234.50");
    const std::string parts(body.View());
    std::string response;
    ASSERT_EQ(PostForm(body, "/price_notify.php", response, QuickHttpOptions()), 1);
    EXPECT_EQ(response, "OK");
    EXPECT_EQ(body.View(), parts + std::string(FORM_CLOSING_LINE));

    // Byte for byte, whichever transport sends it.
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].raw,
              "POST /price_notify.php HTTP/1.1\r\nHost: 127.0.0.1:" +
                  std::to_string(server.Port()) + "\r\nUser-Agent: " + HttpUserAgent() +
                  "\r\nAccept: */*\r\nContent-Type: multipart/form-data; "
                  "boundary=---------------------------7da138124d076e\r\nConnection: "
                  "Keep-Alive\r\nCache-Control: no-cache\r\nContent-Length: " +
                  std::to_string(parts.size() + 47) + "\r\n\r\n" + parts +
                  std::string(FORM_CLOSING_LINE));
}

TEST_F(FormPosterTest, AnEmptyFormIsTheClosingLineAlone) {
    LoopbackServer server(LoopbackServer::Reply(200, ""));
    Use(server);
    CByteBuffer body;
    std::string response = "stale";
    ASSERT_EQ(PostForm(body, "/price_notify.php", response, QuickHttpOptions()), 1);
    EXPECT_EQ(response, "");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, FORM_CLOSING_LINE);
    EXPECT_EQ(requests[0].body.size(), 47u);
}

TEST_F(FormPosterTest, ABigBodyGoesWithoutWaitingForContinue) {
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    Use(server);
    CByteBuffer body;
    AddFormPart(body, "big", std::string(3 * 1024 * 1024, 'v'));
    std::string response;
    ASSERT_EQ(PostForm(body, "/price_notify.php", response, QuickHttpOptions()), 1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Header("Expect"), "");
    EXPECT_EQ(requests[0].body.size(), static_cast<std::size_t>(body.Size()));
}

struct AnswerCase {
    const char* name;
    std::string answer;
    std::string expected;
};

class FormAnswerTest : public FormPosterTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(FormAnswerTest, ReadsTheAnswerInPiecesCutAtTheirFirstZero) {
    LoopbackServer server(LoopbackServer::Reply(500, GetParam().answer));
    Use(server);
    CByteBuffer body;
    std::string response;
    EXPECT_EQ(PostForm(body, "/price_notify.php", response, QuickHttpOptions()), 1);
    EXPECT_EQ(response, GetParam().expected);
}

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FormAnswerTest,
    ::testing::Values(
        AnswerCase{"Short", "Thanks", "Thanks"},
        AnswerCase{"SeveralPieces", Repeat('a', 1024) + Repeat('b', 1024) + "c",
                   Repeat('a', 1024) + Repeat('b', 1024) + "c"},
        AnswerCase{"ZeroLosesTheRestOfItsPiece",
                   "ab" + std::string(1, '\0') + Repeat('x', 1021) + "next", "abnext"},
        AnswerCase{"ZeroAtTheEndOfAPiece", Repeat('a', 1023) + std::string(1, '\0') + "b",
                   Repeat('a', 1023) + "b"},
        AnswerCase{"NonAsciiInTheCLocale", "caf\xC3\xA9", "caf\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const auto& param) { return param.param.name; });

TEST_F(FormPosterTest, AnAnswerPastOneMebibyteIsCut) {
    LoopbackServer server(LoopbackServer::Stream(64LL * 1024 * 1024));
    Use(server);
    CByteBuffer body;
    std::string response;
    EXPECT_EQ(PostForm(body, "/price_notify.php", response, QuickHttpOptions()), 1);
    EXPECT_EQ(response, Repeat('x', static_cast<std::size_t>(FORM_ANSWER_MAX)));
}

TEST_F(FormPosterTest, NetworkFailuresGiveZero) {
    CByteBuffer body;
    std::string response;
    {
        LoopbackServer gone(LoopbackServer::Stall());
        Use(gone);
    }
    EXPECT_EQ(PostForm(body, "/price_notify.php", response, QuickHttpOptions()), 0);

    LoopbackServer stalled(LoopbackServer::Stall());
    Use(stalled);
    CByteBuffer second;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PostForm(second, "/price_notify.php", response, QuickHttpOptions()), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(FormPosterTest, APathWithoutItsSlashStaysOnTheServer) {
    LoopbackServer server(LoopbackServer::Reply(200, "OK"));
    Use(server);
    CByteBuffer body;
    std::string response;
    ASSERT_EQ(PostForm(body, "price_notify.php", response, QuickHttpOptions()), 1);
    EXPECT_EQ(server.Requests().at(0).requestLine, "POST /price_notify.php HTTP/1.1");
}

} // namespace
