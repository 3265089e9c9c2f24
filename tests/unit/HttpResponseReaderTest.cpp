// SPDX-License-Identifier: MIT
#include "net/qt/HttpResponseReader.h"

#include <gtest/gtest.h>

namespace {

struct AnswerCase {
    const char* name;
    std::string answer;
    bool closes;      // the connection closes after the answer
    std::string body; // "FAIL" when the answer is refused
};

class HttpResponseReaderTest : public ::testing::TestWithParam<AnswerCase> {};

// Fed a byte at a time, the way the worst network would hand it over.
TEST_P(HttpResponseReaderTest, ReadsTheBodyByItsFramingOrRefusesTheAnswer) {
    const AnswerCase& c = GetParam();
    CHttpResponseReader reader;
    std::string body;
    bool good = true;
    for (std::size_t at = 0; good && at < c.answer.size(); ++at) {
        good = reader.Feed(std::string_view(c.answer).substr(at, 1), body);
    }
    good = good && (reader.Done() || (c.closes && reader.Closed()));
    EXPECT_EQ(good ? body : "FAIL", c.body) << reader.Error();
}

const std::string HEAD = "HTTP/1.1 200 OK\r\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, HttpResponseReaderTest,
    ::testing::Values(
        AnswerCase{"Length", HEAD + "Content-Length: 3\r\n\r\npngEXTRA", false, "png"},
        AnswerCase{
            "Chunked",
            HEAD + "Transfer-Encoding: chunked\r\n\r\n2;x=y\r\npn\r\n1\r\ng\r\n0\r\nT: 1\r\n\r\n",
            false, "png"},
        AnswerCase{"UntilTheClose", "HTTP/1.0 200 ok\n\npng", true, "png"},
        AnswerCase{"InterimAnswerFirst",
                   "HTTP/1.1 100 Continue\r\n\r\n" + HEAD + "Content-Length: 1\r\n\r\nx", false,
                   "x"},
        AnswerCase{"NoBodyFor304", "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n", false,
                   ""},
        AnswerCase{"CutShort", HEAD + "Content-Length: 9\r\n\r\npng", true, "FAIL"},
        AnswerCase{"BadChunkSize", HEAD + "Transfer-Encoding: chunked\r\n\r\nzz\r\n", false,
                   "FAIL"},
        AnswerCase{"HugeChunkSize", HEAD + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n",
                   false, "FAIL"},
        AnswerCase{"TwoLengths", HEAD + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nxx", false,
                   "FAIL"},
        AnswerCase{"NotHttp", "SSH-2.0-OpenSSH\r\n\r\n", false, "FAIL"},
        AnswerCase{"EndlessHead", HEAD + "X: " + std::string(200 * 1024, 'a'), false, "FAIL"}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
