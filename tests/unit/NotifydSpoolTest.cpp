// SPDX-License-Identifier: MIT
#include "MailSpool.h"
#include "SpoolSender.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const RetryTimes QUICK{10ms, 40ms, 20ms};

// What a fake relay was handed, safe to share between sender threads.
struct RelayLog {
    std::mutex mutex;
    std::map<std::string, int> attempts; // by recipient
    std::map<std::string, int> sent;

    int Sent(const std::string& recipient) {
        std::lock_guard lock(mutex);
        return sent[recipient];
    }
    int TotalSent() {
        std::lock_guard lock(mutex);
        int total = 0;
        for (const auto& entry : sent) {
            total += entry.second;
        }
        return total;
    }
};

// A relay that answers each attempt with the next outcome (the last one from then on).
Deliverer FakeRelay(RelayLog& log, std::vector<Delivery::Outcome> outcomes,
                    std::chrono::milliseconds pace = 0ms) {
    return [&log, outcomes, pace](const SpooledMail& mail, const std::atomic<bool>&) {
        std::this_thread::sleep_for(pace);
        std::lock_guard lock(log.mutex);
        const int attempt = log.attempts[mail.recipient]++;
        const Delivery::Outcome outcome = outcomes.at(
            std::min<std::size_t>(static_cast<std::size_t>(attempt), outcomes.size() - 1));
        if (outcome == Delivery::Outcome::Sent) {
            ++log.sent[mail.recipient];
        }
        return Delivery{outcome, "fake"};
    };
}

template <typename Condition> bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

void Store(MailSpool& spool, const std::string& recipient) {
    std::string error;
    ASSERT_TRUE(spool.Store(spool.NewName(), {recipient, "Subject: x\r\n\r\nbody\r\n"}, error))
        << error;
}

TEST(NotifydSpoolTest, KeepsAMailThroughFailedAttemptsAndDeletesItOnlyWhenTheRelayTookIt) {
    TempDir dir;
    MailSpool spool(dir.File("spool"));
    std::string error;
    ASSERT_TRUE(spool.Open(error)) << error;
    Store(spool, "user@example.com");
    RelayLog log;
    SpoolSender sender(spool,
                       FakeRelay(log, {Delivery::Outcome::Retry, Delivery::Outcome::Retry,
                                       Delivery::Outcome::Sent}),
                       QUICK);
    sender.Start();
    ASSERT_TRUE(WaitFor([&] { return log.Sent("user@example.com") == 1; }));
    EXPECT_TRUE(WaitFor([&] { return spool.Waiting().empty(); }));
    std::this_thread::sleep_for(100ms); // several rescans: nothing is sent twice
    EXPECT_TRUE(sender.Stop(1s));
    EXPECT_EQ(log.attempts["user@example.com"], 3);
    EXPECT_EQ(log.TotalSent(), 1);
}

TEST(NotifydSpoolTest, SetsAsideWhatTheRelayRefusedAndWhatIsNoMail) {
    TempDir dir;
    MailSpool spool(dir.File("spool"));
    std::string error;
    ASSERT_TRUE(spool.Open(error)) << error;
    Store(spool, "nobody@example.com");
    std::ofstream(dir.File("spool/0-junk.mail")) << "not a spooled mail";
    RelayLog log;
    SpoolSender sender(spool, FakeRelay(log, {Delivery::Outcome::Refused}), QUICK);
    sender.Start();
    ASSERT_TRUE(WaitFor([&] { return spool.Waiting().empty(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(sender.Stop(1s));
    EXPECT_EQ(log.attempts["nobody@example.com"], 1);
    std::size_t setAside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("spool/failed"))) {
        setAside += entry.path().extension() == ".mail" ? 1 : 0;
    }
    EXPECT_EQ(setAside, 2u);
}

TEST(NotifydSpoolTest, TwoCopiesSharingOneSpoolSendEveryMailExactlyOnce) {
    TempDir dir;
    MailSpool first(dir.File("spool"));
    MailSpool second(dir.File("spool"));
    std::string error;
    ASSERT_TRUE(first.Open(error) && second.Open(error)) << error;
    constexpr int MAILS = 40;
    for (int i = 0; i < MAILS; ++i) {
        Store(i % 2 == 0 ? first : second, "user" + std::to_string(i) + "@example.com");
    }
    RelayLog log;
    SpoolSender one(first, FakeRelay(log, {Delivery::Outcome::Sent}, 2ms), QUICK);
    SpoolSender other(second, FakeRelay(log, {Delivery::Outcome::Sent}, 2ms), QUICK);
    one.Start();
    other.Start();
    ASSERT_TRUE(WaitFor([&] { return first.Waiting().empty(); }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(one.Stop(1s));
    EXPECT_TRUE(other.Stop(1s));
    EXPECT_EQ(log.TotalSent(), MAILS);
    for (int i = 0; i < MAILS; ++i) {
        EXPECT_EQ(log.Sent("user" + std::to_string(i) + "@example.com"), 1) << i;
    }
}

} // namespace
