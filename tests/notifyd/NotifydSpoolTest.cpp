// SPDX-License-Identifier: MIT
#include "MailSpool.h"
#include "SpoolSender.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <ranges>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Outcome = Delivery::Outcome;

const RetryTimes QUICK{10ms, 40ms, 20ms};

// What a fake relay was handed, by recipient, safe to share between sender threads.
struct RelayLog {
    std::mutex mutex;
    std::map<std::string, int> attempts;
    std::map<std::string, int> sent;
};

// A relay that answers each attempt with the next outcome (the last one from then on).
Deliverer FakeRelay(RelayLog& log, std::vector<Outcome> outcomes) {
    return [&log, outcomes](const Channel&, const SpooledMail& mail, const std::atomic<bool>&) {
        std::this_thread::sleep_for(2ms);
        std::lock_guard lock(log.mutex);
        const auto attempt = static_cast<std::size_t>(log.attempts[mail.recipient]++);
        const Outcome outcome = outcomes[std::min(attempt, outcomes.size() - 1)];
        log.sent[mail.recipient] += outcome == Outcome::Sent ? 1 : 0;
        return Delivery{outcome, "fake"};
    };
}

// Waits until the spool is empty, then a while longer: several rescans send nothing twice.
bool Drained(const MailSpool& spool) {
    if (!WaitUntil([&] { return spool.Waiting().empty(); })) {
        return false;
    }
    std::this_thread::sleep_for(100ms);
    return true;
}

struct RelayCase {
    const char* name;
    std::vector<Outcome> outcomes;
    int copies; // of the service, sharing one spool folder
    int mails;
    int attempts; // at each mail
    int sent;     // of each mail
    int setAside; // the junk file beside the mails always is
};

class NotifydSpoolTest : public ::testing::TestWithParam<RelayCase> {};

TEST_P(NotifydSpoolTest, DeletesAMailOnlyWhenTheRelayTookItAndSetsAsideWhatItRefused) {
    const RelayCase& c = GetParam();
    TempDir dir;
    std::vector<std::unique_ptr<MailSpool>> spools;
    std::string error;
    for (int i = 0; i < c.copies; ++i) {
        spools.push_back(std::make_unique<MailSpool>(dir.File("spool")));
        ASSERT_EQ(spools.back()->Open(error), MailSpool::Opened::Ok) << error;
    }
    for (int i = 0; i < c.mails; ++i) {
        ASSERT_TRUE(spools[static_cast<std::size_t>(i % c.copies)]->Store(
            spools[0]->NewName(),
            {"user" + std::to_string(i) + "@example.com", "Subject: x\r\n\r\nbody\r\n", {}}, error))
            << error;
    }
    std::ofstream(dir.File("spool/0-junk.mail")) << "not a spooled mail";
    RelayLog log;
    std::vector<std::unique_ptr<SpoolSender>> senders;
    for (const auto& spool : spools) {
        senders.push_back(std::make_unique<SpoolSender>(*spool, FakeRelay(log, c.outcomes), QUICK));
        senders.back()->Start();
    }
    EXPECT_TRUE(Drained(*spools[0]));
    for (const auto& sender : senders) {
        EXPECT_TRUE(sender->Stop(1s));
    }
    EXPECT_EQ(log.attempts.size(), static_cast<std::size_t>(c.mails));
    for (const auto& [recipient, attempts] : log.attempts) {
        EXPECT_EQ(attempts, c.attempts) << recipient;
        EXPECT_EQ(log.sent[recipient], c.sent) << recipient;
    }
    const auto failed = std::filesystem::directory_iterator(dir.File("spool/failed"));
    EXPECT_EQ(std::count_if(begin(failed), end(failed),
                            [](const auto& entry) { return entry.path().extension() == ".mail"; }),
              c.setAside);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Relays, NotifydSpoolTest, ::testing::Values(
    RelayCase{"DownTwiceThenTakesIt", {Outcome::ServerFault, Outcome::ServerFault, Outcome::Sent}, 1, 1, 3, 1, 1},
    RelayCase{"PutsItOffTwiceThenTakesIt", {Outcome::Retry, Outcome::Retry, Outcome::Sent}, 1, 1, 3, 1, 1},
    RelayCase{"RefusesIt", {Outcome::Refused}, 1, 1, 1, 0, 2},
    RelayCase{"TwoCopiesShareTheSpool", {Outcome::Sent}, 2, 40, 1, 1, 1}),
    [](const auto& test) { return std::string(test.param.name); });
// clang-format on

// Half the alerts wait before the start, half are stored while the relay is down. Each
// back-off step tries the relay once, not once per waiting alert.
TEST(NotifydSpoolTest, ABacklogWaitsForTheRelayWithOneAttemptPerStepThenGoesOutOnce) {
    constexpr int ALERTS = 10000;
    // In memory where the system has it: 20,000 flushes to a disk take minutes.
    if (std::filesystem::is_directory("/dev/shm")) {
        setenv("TMPDIR", "/dev/shm", 1);
    }
    TempDir dir;
    std::string error;
    MailSpool spool(dir.File("spool"));
    ASSERT_EQ(spool.Open(error), MailSpool::Opened::Ok) << error;
    const auto store = [&](int i) {
        return spool.Store(
            spool.NewName(),
            {"user" + std::to_string(i) + "@example.com", "Subject: x\r\n\r\nb\r\n", {}}, error);
    };
    for (int i = 0; i < ALERTS / 2; ++i) {
        ASSERT_TRUE(store(i)) << error;
    }
    std::atomic<bool> down{true};
    std::atomic<int> failures{0};
    RelayLog log;
    SpoolSender sender(
        spool,
        [&](const Channel&, const SpooledMail& mail, const std::atomic<bool>&) {
            if (down.load()) {
                ++failures;
                return Delivery{Outcome::ServerFault, "down"};
            }
            std::lock_guard lock(log.mutex);
            ++log.sent[mail.recipient];
            return Delivery{Outcome::Sent, "fake"};
        },
        RetryTimes{10ms, 200ms, 20ms});
    sender.Start();
    for (int i = ALERTS / 2; i < ALERTS; ++i) {
        ASSERT_TRUE(store(i)) << error;
    }
    EXPECT_TRUE(WaitUntil([&] { return failures.load() >= 3; }));
    EXPECT_FALSE(sender.State().delivering);
    down.store(false);
    EXPECT_TRUE(WaitUntil([&] { return spool.Waiting().empty(); }, 120s));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(sender.Stop(1s));
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.sent.size(), static_cast<std::size_t>(ALERTS));
    EXPECT_EQ(std::ranges::count(log.sent | std::views::values, 1), ALERTS);
    EXPECT_LT(failures.load(), ALERTS / 10);
}

TEST(NotifydSpoolTest, KeepsTheTemporaryFilesOfStoresWhileAnotherCopyRuns) {
    TempDir dir;
    std::string error;
    MailSpool running(dir.File("spool"));
    ASSERT_EQ(running.Open(error), MailSpool::Opened::Ok) << error;
    std::ofstream(dir.File("spool/.2.mail.Xy12Ab")) << "rcpt a@example.com\n";
    MailSpool starting(dir.File("spool"));
    ASSERT_EQ(starting.Open(error), MailSpool::Opened::Ok) << error;
    EXPECT_TRUE(std::filesystem::exists(dir.File("spool/.2.mail.Xy12Ab")));
}

} // namespace
