// SPDX-License-Identifier: MIT
// Any bytes as what clients send on one connection, read request after request the way the
// server reads them: the reader must neither crash nor hang, and never takes in a body
// longer than its limit or than the bytes it was sent.
#include "httpd/RequestReader.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
// Small enough that the fuzzer reaches it; as large as any head it meets.
constexpr std::size_t MAX_BODY = 1024;
constexpr std::size_t MAX_SENT = 64 * 1024; // what one socket buffer holds unread
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    if (size > MAX_SENT || socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        return 0;
    }
    if (send(ends[1], data, size, MSG_NOSIGNAL) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    shutdown(ends[1], SHUT_WR);

    const std::atomic<bool> stop{false};
    HttpConnection connection(ends[0], stop);
    HttpLimits limits;
    limits.maxBody = MAX_BODY;
    // Every byte is there already, so only a wait for more could reach the deadline.
    const auto deadline = HttpClock::now() + std::chrono::seconds(5);
    for (;;) {
        HttpRequest request;
        BodyFraming framing;
        BodyPlan plan;
        HttpRefusal refusal = ReadHead(connection, limits, deadline, request, framing);
        if (refusal == HttpRefusal::None) {
            refusal = CheckBody(framing, limits.maxBody, plan);
        }
        if (refusal == HttpRefusal::None) {
            refusal = ReadBody(connection, plan, limits.maxBody, deadline, request.body);
        }
        if (refusal == HttpRefusal::TimedOut) {
            std::abort();
        }
        if (request.body.size() > limits.maxBody || request.body.size() > size) {
            std::abort();
        }
        if (refusal != HttpRefusal::None || !framing.KeepAlive()) {
            break;
        }
    }
    close(ends[0]);
    close(ends[1]);
    return 0;
}
