// SPDX-License-Identifier: MIT
#include "RateLimiter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::chrono_literals;
using Verdict = RateLimiter::Verdict;

const RateLimiter::Clock::time_point START = RateLimiter::Clock::time_point() + 1000h;

// The windows as one client sees them.
struct OneClient {
    Verdict Admit(const std::string& to, RateLimiter::Clock::time_point at) {
        return limits.Admit("::1", to, at);
    }
    RateLimiter limits;
};

TEST(NotifydRateLimiterTest, ARecipientGetsItsHourlyMailsAgainAsTheWindowSlides) {
    OneClient limiter{{3, 1000, 1000}};
    EXPECT_EQ(limiter.Admit("a@example.com", START), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("a@example.com", START + 10min), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("a@example.com", START + 20min), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("a@example.com", START + 30min), Verdict::RecipientLimited);
    EXPECT_EQ(limiter.Admit("b@example.com", START + 30min), Verdict::Allowed);
    // A refusal does not count: one slot is free again an hour after the first mail.
    EXPECT_EQ(limiter.Admit("a@example.com", START + 60min), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("a@example.com", START + 65min), Verdict::RecipientLimited);
    EXPECT_EQ(limiter.Admit("a@example.com", START + 3h), Verdict::Allowed);
}

TEST(NotifydRateLimiterTest, TheServiceTakesItsPerMinuteCountFromAllRecipients) {
    OneClient limiter{{100, 1000, 3}};
    EXPECT_EQ(limiter.Admit("a@example.com", START), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("b@example.com", START + 1s), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("c@example.com", START + 2s), Verdict::Allowed);
    EXPECT_EQ(limiter.Admit("d@example.com", START + 30s), Verdict::ServiceLimited);
    EXPECT_EQ(limiter.Admit("d@example.com", START + 60s), Verdict::Allowed);
    // The refused request took no recipient slot either.
    OneClient perRecipient{{1, 1000, 1}};
    EXPECT_EQ(perRecipient.Admit("a@example.com", START), Verdict::Allowed);
    EXPECT_EQ(perRecipient.Admit("b@example.com", START + 1s), Verdict::ServiceLimited);
    EXPECT_EQ(perRecipient.Admit("b@example.com", START + 2min), Verdict::Allowed);
}

} // namespace
